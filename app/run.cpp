#include "app/run.h"

#include "app/args.h"
#include "basekit/console.h"
#include "basekit/trace.h"

namespace enctl {

int enctl_run(enctl_run_state& state) {
    TRACE_ENTER_EXIT();
    const operation_entry* operation = find_operation(state.operation_code);
    if (!operation || !operation->parse) {
        // No dispatch entry for this code.
        enctl_usage();
        return 2;
    }
    // The operations' runs are not part of this build yet: say so and fail.
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: the %s operation is not available yet\n", operation->keyword);
    return 1;
}

}  // namespace enctl
