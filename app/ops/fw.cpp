// The fw operation: firmware download, activation, IOM reset and status.
#include "app/operation.h"
#include "app/ops/fw_options.h"

namespace enctl {

namespace {

fw_options g_fw;  // the run's request, filled by the parse

// Not built yet: the run that carries out g_fw on the one enclosure of the
// table replaces this body.
int fw_run(target_list& /*targets*/) { return operation_not_available("fw"); }

}  // namespace

extern constinit const operation kFwOperation{
    .code = 2,
    .keyword = "fw",
    .summary = "firmware related operations",
    .parse = [](std::span<const char* const> args) { return fw_parse_args(g_fw, args); },
    .usage = fw_usage,
    .run = fw_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
