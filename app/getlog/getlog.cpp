// The getlog operation: log collection into a new log folder.
#include "app/getlog/getlog_options.h"
#include "app/operation.h"

namespace enctl {

namespace {

getlog_options g_getlog;  // the run's request, filled by the parse

bool wants_drive_logs() { return g_getlog.drives || g_getlog.drives_noprompt; }
bool wants_system_logs() { return g_getlog.system_light || g_getlog.system_heavy; }

// Not built yet: the run of the capture steps that g_getlog asks for
// replaces this body.
int getlog_run(target_list& /*targets*/) { return operation_not_available("getlog"); }

}  // namespace

extern constinit const operation kGetlogOperation{
    .code = 3,
    .keyword = "getlog",
    .summary = "capture various types of log data",
    .parse = [](std::span<const char* const> args) { return getlog_parse_args(g_getlog, args); },
    .usage = getlog_usage,
    .run = getlog_run,
    .needs_end_devices = wants_drive_logs,
    // Host and drive logs are worth collecting on a host without enclosures.
    .runs_without_enclosures = [] { return wants_drive_logs() || wants_system_logs(); },
    // The log folder goes under the "pack=" folder when one was given.
    .log_base_dir = []() -> const char* { return g_getlog.pack_directory; },
};

}  // namespace enctl
