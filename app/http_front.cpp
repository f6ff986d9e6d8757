// The http operation's place among the operations: the REST client of a
// fabric-attached enclosure, selected by its "http=<address>" word.
#include "app/enctl_data.h"
#include "app/operation.h"
#include "basekit/fixed_text.h"
#include "rest/http.h"
#include "rest/http_args.h"

namespace enctl {

namespace {

http_options g_http;  // the run's request, filled by the parse

int http_front_run(target_list& /*targets*/) {
    http_set_run_log_dir(text_of(g_enctl_data.log_dir));
    return http_run(g_http);
}

}  // namespace

extern constinit const operation kHttpOperation{
    .code = 5,
    .keyword = "http",
    .addressed = true,
    .needs = operation_needs::context,
    .parse = [](std::span<const char* const> args) { return http_parse_args(g_http, args); },
    .usage = http_usage,
    .run = http_front_run,
};

}  // namespace enctl
