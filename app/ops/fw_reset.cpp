// IOM resets of the fw operation, each after its confirmation.
#include "app/ops/fw_reset.h"

#include "app/ops/confirm.h"
#include "basekit/console.h"
#include "basekit/trace.h"
#include "cmdx/cmdxses/ses_send.h"

namespace enctl {
namespace {

// The warning before a reset of one IOM of two ("1st" or "2nd") and its prompt.
bool confirm_dual_reset(const char* which) {
    CONSOLE_PRINT(kVerbosityNormal, "Please ensure both paths to each drive are available before proceeding\n");
    CONSOLE_PRINT(kVerbosityNormal, "with the reset of the %s IOM to ensure that at least one path to each drive\n",
                  which);
    CONSOLE_PRINT(kVerbosityNormal, "will be available during the IOM reset to activate firmware.\n");
    CONSOLE_PRINT(kVerbosityNormal, "The IOM will go offline for a period of time while the update is finalized.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Press 'Y' or 'y' when ready to continue: ");
    if (read_confirmation()) return true;
    CONSOLE_PRINT(kVerbosityNormal, "\nOperation canceled by the user\n");
    return false;
}

bool reset_iom(vdx_dev& target, std::uint8_t selector) {
    vdx_error error{};
    if (ses_send_iom_reset(&error, &target, selector) == 0) return true;
    trace_print_error(error);
    return false;
}

}  // namespace

int iom_reset_dual(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "iom_reset_dual\n");
    if (!confirm_dual_reset("1st")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, reset_iom(target, kIomResetFirst) ? "1st IOM has been reset\n\n"
                                                                       : "ERROR: command to reset 1st IOM failed\n\n");
    if (!confirm_dual_reset("2nd")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, reset_iom(target, kIomResetSecond) ? "2nd IOM has been reset\n\n"
                                                                        : "ERROR: command to reset 2nd IOM failed\n\n");
    return 0;
}

int iom_reset_single(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "iom_reset_single\n");
    CONSOLE_PRINT(kVerbosityNormal, "Please take system out of production.\n");
    CONSOLE_PRINT(kVerbosityNormal, "The IOM will go offline for a period of time while the update is finalized.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Press 'Y' or 'y' when ready to continue: ");
    if (!read_confirmation()) {
        CONSOLE_PRINT(kVerbosityNormal, "\nOperation canceled by the user\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, reset_iom(target, kIomResetSecond) ? "IOM has been reset\n\n"
                                                                        : "ERROR: command to reset IOM failed\n\n");
    return 0;
}

}  // namespace enctl
