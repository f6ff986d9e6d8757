// The zone operation: pre-defined zoning, zoning files, IOM reset and status.
#include "app/operation.h"
#include "app/ops/zone_options.h"

namespace enctl {

namespace {

zone_options g_zone;  // the run's request, filled by the parse

// Not built yet: the run that carries out g_zone on the one enclosure of the
// table replaces this body.
int zone_run(target_list& /*targets*/) { return operation_not_available("zone"); }

}  // namespace

extern constinit const operation kZoneOperation{
    .code = 10,
    .keyword = "zone",
    .summary = "display and configure zones",
    .parse = [](std::span<const char* const> args) { return zone_parse_args(g_zone, args); },
    .usage = zone_usage,
    .run = zone_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
