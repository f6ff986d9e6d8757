#include "app/version.h"

#include "app/operation.h"
#include "app/version_hashes.h"  // generated at build time
#include "basekit/console.h"

namespace enctl {

namespace {

struct module_version {
    const char* module;
    const char* version;
    const char* hash;
};

constexpr module_version kModules[] = {
    {"enctl", kEnctlVersion, kHashEnctl},
    {"vdx", "1.14.16", kHashVdx},
    {"cmdxata", "2.3.0", kHashCmdxata},
    {"cmdxnvme", "8.2.0", kHashCmdxnvme},
    {"cmdxscan", "1.1.0", kHashCmdxscan},
    {"cmdxscsi", "2.3.0", kHashCmdxscsi},
    {"cmdxses", "1.8.4", kHashCmdxses},
    {"basekit", "1.7.1", kHashBasekit},
};

}  // namespace

int display_version_listing() {
    CONSOLE_PRINT(kVerbosityNormal, " %-14s  %-10s  %s\n", "MODULE", "VERSION", "HASH");
    CONSOLE_PRINT(kVerbosityNormal, " %-14s  %-10s  %s\n", "------", "-------", "----");
    for (const auto& m : kModules) CONSOLE_PRINT(kVerbosityNormal, " %-14s  %-10s  %s\n", m.module, m.version, m.hash);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

// Takes no arguments, has no usage of its own and needs neither the program
// context nor devices.
extern constinit const operation kVersionOperation{
    .code = 9,
    .keyword = "version",
    .needs = operation_needs::nothing,
    .run = [](target_list&) { return display_version_listing(); },
};

}  // namespace enctl
