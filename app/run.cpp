// The run after the parse: the http hand-off, the device table, discovery,
// the operation's dispatch and the release of every device.
#include "app/run.h"

#include <array>

#include "app/args.h"
#include "app/discovery/discovery.h"
#include "app/discovery/show.h"
#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "cmdx/cmdxscan/cmdxscan.h"
#include "rest/http.h"

namespace enctl {
namespace {

using operation_run = int (*)(enctl_run_state& state, target_list& targets);

int run_show(enctl_run_state& state, target_list& targets) { return show_run(state.show, targets); }

struct dispatch_entry {
    std::uint32_t code;
    operation_run run;  // nullptr: not part of this build yet
};

// Operations that work on the device table.
constexpr std::array<dispatch_entry, 7> kDispatch{{
    {kOperationDiag, nullptr},
    {kOperationFw, nullptr},
    {kOperationGetlog, nullptr},
    {kOperationIom, nullptr},
    {kOperationRcli, nullptr},
    {kOperationShow, run_show},
    {kOperationZone, nullptr},
}};

const dispatch_entry* find_dispatch(std::uint32_t code) {
    for (const dispatch_entry& entry : kDispatch) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

// The http operation runs without any device discovery, on an empty table.
int run_http(enctl_run_state& state) {
    http_set_run_log_dir(text_of(g_enctl_data.log_dir));
    return http_run(state.http);
}

bool wants_drive_logs(const enctl_run_state& state) {
    return state.operation_code == kOperationGetlog && (state.getlog.drives || state.getlog.drives_noprompt);
}

bool wants_system_logs(const enctl_run_state& state) {
    return state.operation_code == kOperationGetlog && (state.getlog.system_light || state.getlog.system_heavy);
}

bool wants_end_devices(const enctl_run_state& state) {
    return wants_drive_logs(state) || (state.operation_code == kOperationShow && state.show.handles);
}

// Builds the device table; false (message printed) when the run must end
// with exit code 1.
bool build_device_table(enctl_run_state& state, target_list& targets) {
    if (!state.target_names.empty()) {
        cmdxscan_scan_names(&targets, false, std::span<const std::string>(state.target_names));
        mark_ses_devices(targets, true);
        if (targets.count == 0) {
            CONSOLE_PRINT(kVerbosityNormal, "The given target device(s) cannot be found\n");
            CONSOLE_PRINT(kVerbosityNormal, "Please use the 'show' command to find the supported SEP devices\n\n");
            return false;
        }
    } else {
        enumerate_all_enclosures(targets);
        if (mark_ses_devices(targets, false) == 0 && !wants_drive_logs(state) && !wants_system_logs(state)) {
            CONSOLE_PRINT(kVerbosityNormal, "No supported enclosures found\n\n");
            return false;
        }
    }
    if (wants_end_devices(state)) {
        enumerate_end_devices(targets);
        mark_end_device(targets);
    }
    return true;
}

}  // namespace

int enctl_run(enctl_run_state& state) {
    TRACE_ENTER_EXIT();
    if (state.operation_code == kOperationHttp) return run_http(state);

    const dispatch_entry* entry = find_dispatch(state.operation_code);
    if (!entry) {
        // No dispatch entry for this code.
        enctl_usage();
        return 2;
    }

    target_list targets;
    int result = 1;
    if (build_device_table(state, targets)) {
        if (entry->run) {
            result = entry->run(state, targets);
        } else {
            const operation_entry* operation = find_operation(state.operation_code);
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: the %s operation is not available yet\n",
                          operation ? operation->keyword : "requested");
        }
    }
    target_list_release(targets);
    return result;
}

}  // namespace enctl
