// The diag operation: nickname, event and crash logs, resets, clock and time
// stamp synchronisation.
#include "app/operation.h"
#include "app/ops/diag_options.h"

namespace enctl {

namespace {

diag_options g_diag;  // the run's request, filled by the parse

// Not built yet: the run that carries out g_diag on the one enclosure of the
// table replaces this body.
int diag_run(target_list& /*targets*/) { return operation_not_available("diag"); }

}  // namespace

extern constinit const operation kDiagOperation{
    .code = 1,
    .keyword = "diag",
    .summary = "display, set, and clear diagnostic page data",
    .parse = [](std::span<const char* const> args) { return diag_parse_args(g_diag, args); },
    .usage = diag_usage,
    .run = diag_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
