#include "app/run.h"

#include "app/args.h"
#include "app/enctl_data.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "rest/http.h"

namespace enctl {

int enctl_run(enctl_run_state& state) {
    TRACE_ENTER_EXIT();
    // The http operation needs no device table: it runs before any discovery.
    if (state.operation_code == kOperationHttp) {
        http_set_run_log_dir(text_of(g_enctl_data.log_dir));
        return http_run(state.http);
    }
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
