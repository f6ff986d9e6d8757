// The run after the parse: the device table, discovery, the operation's run
// and the release of every device.
#include "app/run.h"

#include "app/discovery/discovery.h"
#include "app/discovery/target_list.h"
#include "basekit/console.h"
#include "basekit/trace.h"
#include "cmdx/cmdxscan/cmdxscan.h"

namespace enctl {
namespace {

// Builds the device table; false (message printed) when the run must end
// with exit code 1.
bool build_device_table(const enctl_run_state& state, target_list& targets) {
    const operation& chosen = *state.chosen;
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
        if (mark_ses_devices(targets, false) == 0 && !asks(chosen.runs_without_enclosures)) {
            CONSOLE_PRINT(kVerbosityNormal, "No supported enclosures found\n\n");
            return false;
        }
    }
    if (asks(chosen.needs_end_devices)) {
        enumerate_end_devices(targets);
        mark_end_device(targets);
    }
    return true;
}

}  // namespace

int enctl_run(const enctl_run_state& state) {
    TRACE_ENTER_EXIT();
    target_list targets;
    // Without device discovery the operation runs on an empty table.
    if (state.chosen->needs != operation_needs::devices) return state.chosen->run(targets);

    int result = 1;
    if (build_device_table(state, targets)) result = state.chosen->run(targets);
    target_list_release(targets);
    return result;
}

}  // namespace enctl
