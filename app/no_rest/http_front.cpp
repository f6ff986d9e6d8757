// The http operation in a build without the REST client (the Windows build:
// the HTTP and JSON libraries it needs have no Windows builds among the
// packages this project is built from). The word is still recognised, so that
// the program says why it cannot run it instead of calling it unknown.
#include "app/operation.h"
#include "basekit/console.h"

namespace enctl {

namespace {

int http_absent_parse(std::span<const char* const> /*args*/) { return 0; }

void http_absent_usage() {
    CONSOLE_PRINT(kVerbosityNormal, "The http operation is not part of this build of enctl.\n");
}

int http_absent_run(target_list& /*targets*/) {
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: the http operation is not part of this build of enctl\n");
    return 1;
}

}  // namespace

extern constinit const operation kHttpOperation{
    .code = 5,
    .keyword = "http",
    .addressed = true,
    .needs = operation_needs::nothing,
    .parse = http_absent_parse,
    .usage = http_absent_usage,
    .run = http_absent_run,
};

}  // namespace enctl
