#include "app/enctl_data.h"

#include <cstdio>
#include <string>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace enctl {

enctl_data g_enctl_data{};

void init_enctl_data_at(const char* base_directory, const std::tm& now) {
    g_enctl_data = enctl_data{};
    set_text(g_enctl_data.host_name, platform_host_name());

    if (base_directory && *base_directory) {
        set_text(g_enctl_data.base_dir, base_directory);
    } else {
        set_text(g_enctl_data.base_dir, platform_temp_dir());
    }
    const std::size_t base_length = text_of(g_enctl_data.base_dir).size();
    if (base_length > 0 && g_enctl_data.base_dir[base_length - 1] == kPathSeparator)
        g_enctl_data.base_dir[base_length - 1] = '\0';

    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%u%02u%02u_%02u%02u%02u", static_cast<unsigned>(now.tm_year + 1900),
                  static_cast<unsigned>(now.tm_mon + 1), static_cast<unsigned>(now.tm_mday),
                  static_cast<unsigned>(now.tm_hour), static_cast<unsigned>(now.tm_min),
                  static_cast<unsigned>(now.tm_sec));
    // "enctl_%s_%s" and "%s%c%s", each cut to its field.
    const std::string package = std::string("enctl_") + g_enctl_data.host_name + "_" + stamp;
    set_text(g_enctl_data.package_name, package);
    const std::string log_dir =
        std::string(g_enctl_data.base_dir) + kPathSeparator + g_enctl_data.package_name;
    set_text(g_enctl_data.log_dir, log_dir);
    set_text(g_enctl_data.execution_file, platform_executable_path());

    CONSOLE_PRINT(kVerbosityDebug, "host_name=%s\n", g_enctl_data.host_name);
    CONSOLE_PRINT(kVerbosityDebug, "base_dir=%s\n", g_enctl_data.base_dir);
    CONSOLE_PRINT(kVerbosityDebug, "package_name=%s\n", g_enctl_data.package_name);
    CONSOLE_PRINT(kVerbosityDebug, "log_dir=%s\n", g_enctl_data.log_dir);
    CONSOLE_PRINT(kVerbosityDebug, "execution_file=%s\n", g_enctl_data.execution_file);
}

void init_enctl_data(const char* base_directory) { init_enctl_data_at(base_directory, platform_local_time()); }

}  // namespace enctl
