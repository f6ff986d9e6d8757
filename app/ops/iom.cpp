// The iom operation: which IOMs are present, and the OOBM network settings.
#include "app/operation.h"
#include "app/ops/iom_options.h"

namespace enctl {

namespace {

iom_options g_iom;  // the run's request, filled by the parse

// Not built yet: the run that shows the IOM configuration, or reads or sets
// the OOBM settings of g_iom, replaces this body.
int iom_run(target_list& /*targets*/) { return operation_not_available("iom"); }

}  // namespace

extern constinit const operation kIomOperation{
    .code = 6,
    .keyword = "iom",
    .summary = "display and set IOM configuration",
    .parse = [](std::span<const char* const> args) { return iom_parse_args(g_iom, args); },
    .usage = iom_usage,
    .run = iom_run,
    // Setting OOBM values changes one IOM of one enclosure.
    .needs_one_target = [] { return g_iom.write != 0; },
};

}  // namespace enctl
