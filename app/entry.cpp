// Process entry: start-up, elevation check, banner, argument parsing, program
// context, the one-target rule, and the hand-off to the run.
#include "app/entry.h"

#include <cstdio>
#include <span>

#include "app/args.h"
#include "app/enctl_data.h"
#include "app/run.h"
#include "app/version.h"
#include "basekit/console.h"
#include "basekit/platform.h"

namespace enctl {

namespace {

int run_entry(int argc, char** argv) {
    console_capture_end();
    g_console_verbosity = kVerbosityNormal;

    if (!platform_is_elevated()) {
        CONSOLE_PRINT(kVerbosityNormal, "\nThis application must be run as Admin\n\n");
        return 4;
    }

    CONSOLE_PRINT(kVerbosityNormal, "enctl v%s\n", kEnctlVersion);
    CONSOLE_PRINT(kVerbosityNormal, "Enclosure management utility for SAS JBOD enclosures; use with care.\n");
    CONSOLE_PRINT(kVerbosityNormal, "\n");

    // One state per process: the target names live until exit (each option
    // record lives with its operation).
    static enctl_run_state state;
    const std::span<const char* const> words(argv, argc > 0 ? static_cast<std::size_t>(argc) : 0);
    switch (enctl_parse_args(state, words)) {
        case 0:
            break;
        case 1:
            print_operation_usage(state.chosen);
            return 2;
        default:
            return 2;
    }
    const operation& chosen = *state.chosen;

    if (chosen.needs == operation_needs::nothing) {
        target_list none;
        return chosen.run(none);
    }

    init_enctl_data(chosen.log_base_dir ? chosen.log_base_dir() : nullptr);

    if (asks(chosen.needs_one_target) && state.target_names.size() != 1) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: you must specify one target enclosure for this command.\n");
        CONSOLE_PRINT(kVerbosityNormal, "Please use the \"show\" command for a list of supported enclosures.\n\n");
        return 2;
    }

    return enctl_run(state);
}

}  // namespace

int enctl_main(int argc, char** argv) {
    const int result = run_entry(argc, argv);
    // Output that never arrived (a full disk, a closed pipe) is a failure.
    if (!console_output_complete()) return result != 0 ? result : 1;
    return result;
}

}  // namespace enctl
