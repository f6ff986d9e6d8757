// The getlog operation: log collection into a new log folder.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_options.h"
#include "app/getlog/getlog_steps.h"
#include "app/operation.h"
#include "app/ops/confirm.h"
#include "app/report/health_report.h"
#include "basekit/console.h"
#include "basekit/file_io.h"
#include "basekit/fixed_text.h"

namespace fs = std::filesystem;

namespace enctl {

namespace {

getlog_options g_getlog;  // the run's request, filled by the parse

// Names tried when the folder's name is taken: "<name>_2" to "<name>_99".
constexpr int kLastFolderSuffix = 99;

bool wants_drive_logs() { return g_getlog.drives || g_getlog.drives_noprompt; }
bool wants_system_logs() { return g_getlog.system_light || g_getlog.system_heavy; }

// Makes the run's log folder, new and readable by its owner only. A name that
// is taken (an earlier run in the same second, or anything else put there) is
// never written into: the folder gets the next free "_<n>" suffix, and the
// program context follows it.
bool create_log_folder() {
    const std::string base_name(text_of(g_enctl_data.package_name));
    const std::string base_dir(text_of(g_enctl_data.log_dir));
    const std::string parent = base_dir.substr(0, base_dir.size() - base_name.size());
    int error = EEXIST;
    for (int n = 1; n <= kLastFolderSuffix && error == EEXIST; ++n) {
        const std::string name = n == 1 ? base_name : base_name + "_" + std::to_string(n);
        const std::string path = parent + name;
        error = make_fresh_dir(path.c_str());
        if (error == 0) {
            set_text(g_enctl_data.package_name, name);
            set_text(g_enctl_data.log_dir, path);
            set_text(g_enctl_data.log_sub_dir, path);
            return true;
        }
    }
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: The log folder %s cannot be created: %s\n\n", base_dir.c_str(),
                  std::strerror(error));
    return false;
}

void capture_enclosures(target_list& targets, unsigned& counter) {
    for (vdx_dev& device : targets.view()) {
        const enclosure_target* target = enclosure_of(device);
        if (!target) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Creating files for: %s\n", device.name);
        if (g_getlog.common) {
            get_public_ses_logs(device);
            ++counter;
        }
        if (g_getlog.vendor) {
            if (target->extended_support) {
                get_private_ses_logs(device);
                get_private_e6_logs(device);
                get_private_cli_data(device);
                ++counter;
            } else {
                counter += static_cast<unsigned>(get_private_vendor_logs(device));
            }
        }
        if (g_getlog.vendor_iom) counter += static_cast<unsigned>(get_private_cli_iom(device));
        if (g_getlog.health) analyze_health(device);
        if (g_getlog.device_handles) get_device_handles(device, targets);
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
}

// "drives" asks first (the end of the input counts as no); "drives-noprompt"
// does not. A declined prompt wins over "drives-noprompt".
bool drive_logs_wanted() {
    if (g_getlog.drives) {
        CONSOLE_PRINT(kVerbosityNormal, "Creating files for individual drives ...\n");
        CONSOLE_PRINT(kVerbosityNormal,
                      "The data capture on drives can be intensive when they are under a heavy I/O load.\n");
        CONSOLE_PRINT(kVerbosityNormal,
                      "Please consider capturing the drive logs while the drives are under a lighter I/O load.\n");
        CONSOLE_PRINT(kVerbosityNormal,
                      "If you want to proceed with the capture of the drive logs, press 'Y' or 'y': ");
        const bool confirmed = read_confirmation();
        CONSOLE_PRINT(kVerbosityNormal, "\n");
        return confirmed;
    }
    return g_getlog.drives_noprompt != 0;
}

int getlog_run(target_list& targets) {
    if (!create_log_folder()) return 0;
    if (g_getlog.timeout >= 0) g_command_timeout = static_cast<std::uint32_t>(g_getlog.timeout);
    unsigned counter = 0;  // finished captures
    if (g_getlog.system_light) {
        CONSOLE_PRINT(kVerbosityNormal, "Creating system-light files...\n");
        get_system_light_logs();
        counter = 1;
    }
    if (g_getlog.system_heavy) {
        CONSOLE_PRINT(kVerbosityNormal, "Creating system-heavy files...\n");
        get_system_heavy_logs();
        ++counter;
    }
    if (g_getlog.common || g_getlog.vendor || g_getlog.vendor_iom || g_getlog.health)
        capture_enclosures(targets, counter);
    if (drive_logs_wanted()) {
        get_drive_logs();
        ++counter;
    }
    if (g_getlog.own_displays) get_enctl_logs();
    if (g_getlog.pack && counter > 0) pack_logs();
    if (counter == 0) {
        // Nothing was captured: the folder goes with whatever it holds.
        std::error_code ec;
        fs::remove_all(std::string(text_of(g_enctl_data.log_dir)), ec);
    }
    return 0;
}

}  // namespace

extern constinit const operation kGetlogOperation{
    .code = 3,
    .keyword = "getlog",
    .summary = "capture various types of log data",
    .parse = [](std::span<const char* const> args) { return getlog_parse_args(g_getlog, args); },
    .usage = getlog_usage,
    .run = getlog_run,
    .needs_end_devices = wants_drive_logs,
    // Host and drive logs are worth collecting on a host without enclosures.
    .runs_without_enclosures = [] { return wants_drive_logs() || wants_system_logs(); },
    // The log folder goes under the "pack=" folder when one was given.
    .log_base_dir = []() -> const char* { return g_getlog.pack_directory; },
};

}  // namespace enctl
