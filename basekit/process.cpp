#include "basekit/process.h"

namespace enctl {

namespace {
process_runner* g_installed_runner = nullptr;
}  // namespace

process_runner& get_process_runner() {
    return g_installed_runner ? *g_installed_runner : platform_process_runner();
}

void set_process_runner(process_runner* runner) { g_installed_runner = runner; }

}  // namespace enctl
