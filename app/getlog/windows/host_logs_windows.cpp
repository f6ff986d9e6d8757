// getlog's host, drive and diagnostic-tool captures (the Windows system's own
// reporting commands and PowerShell cmdlets) and its packing (no zip library
// has a Windows build in Debian) are not in the Windows build yet. Each step
// says so and captures nothing; the log folder keeps what the other steps
// saved.
#include "app/getlog/getlog_steps.h"
#include "basekit/console.h"

namespace enctl {

namespace {

void not_in_this_build(const char* what) {
    CONSOLE_PRINT(kVerbosityNormal, "%s are not available in this build\n\n", what);
}

}  // namespace

void get_system_light_logs() { not_in_this_build("System-light logs"); }
void get_system_heavy_logs() { not_in_this_build("System-heavy logs"); }
void get_drive_logs() { not_in_this_build("Drive logs"); }
int get_private_vendor_logs(vdx_dev&) {
    not_in_this_build("Drive diagnostic tool logs");
    return 0;
}

int pack_logs() {
    CONSOLE_PRINT(kVerbosityNormal, "Packing not done: not available in this build\n\n");
    return 0;
}

}  // namespace enctl
