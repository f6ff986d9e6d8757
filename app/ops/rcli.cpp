// The rcli operation: one command string for the enclosure's own command line.
#include "app/operation.h"
#include "app/ops/rcli_options.h"

namespace enctl {

namespace {

rcli_options g_rcli;  // the run's request, filled by the parse

// Not built yet: the run that sends g_rcli.command to each enclosure of the
// table and prints the reply replaces this body.
int rcli_run(target_list& /*targets*/) { return operation_not_available("rcli"); }

}  // namespace

extern constinit const operation kRcliOperation{
    .code = 7,
    .keyword = "rcli",
    .summary = "display detailed data about the enclousure and components",
    .parse = [](std::span<const char* const> args) { return rcli_parse_args(g_rcli, args); },
    .usage = rcli_usage,
    .run = rcli_run,
};

}  // namespace enctl
