#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "app/getlog/getlog_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace enctl {

namespace {

// What "all" and "all-noprompt" set besides their drive-log flag.
void set_all(getlog_options& options) {
    options.system_heavy = 1;
    options.system_light = 1;
    options.common = 1;
    options.pack = 1;
    options.health = 1;
    options.device_handles = 1;
    options.vendor = 1;
    options.own_displays = 1;
}

// Identifiers that only set flags.
struct getlog_keyword {
    std::string_view keyword;
    void (*apply)(getlog_options&);
};

constexpr getlog_keyword kKeywords[] = {
    {"common", [](getlog_options& o) { o.common = 1; }},
    {"vendor", [](getlog_options& o) { o.vendor = 1; o.own_displays = 1; }},
    {"vendor-iom", [](getlog_options& o) { o.vendor_iom = 1; }},
    {"system-light", [](getlog_options& o) { o.system_light = 1; }},
    {"system-heavy", [](getlog_options& o) { o.system_heavy = 1; }},
    {"system", [](getlog_options& o) { o.system_light = 1; o.system_heavy = 1; }},
    {"pack", [](getlog_options& o) { o.pack = 1; }},
    {"all", [](getlog_options& o) { o.drives = 1; set_all(o); }},
    {"all-noprompt", [](getlog_options& o) { o.drives_noprompt = 1; set_all(o); }},
    {"drives", [](getlog_options& o) { o.drives = 1; }},
    {"drives-noprompt", [](getlog_options& o) { o.drives_noprompt = 1; }},
};

}  // namespace

int getlog_parse_args(getlog_options& options, std::span<const char* const> args) {
    options = {};
    options.timeout = kGetlogDefaultTimeout;
    if (args.empty()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Must specify at least one operation\n\n");
        return 1;
    }
    constexpr std::string_view kPack = "pack=";
    constexpr std::string_view kTimeout = "timeout=";
    for (const char* word : args) {
        const std::string_view arg = word;
        bool known = false;
        for (const auto& entry : kKeywords) {
            if (arg == entry.keyword) {
                entry.apply(options);
                known = true;
                break;
            }
        }
        if (known) continue;
        if (arg.starts_with(kPack)) {
            options.pack = 1;
            const std::string_view path = arg.substr(kPack.size());
            // A cut path would name another folder: refuse it whole.
            if (path.size() >= kGetlogPackDirectorySize) {
                CONSOLE_PRINT(kVerbosityNormal, "\nERROR: The value for \"pack=\" must be less than %u characters\n\n",
                              static_cast<unsigned>(kGetlogPackDirectorySize));
                return 2;
            }
            set_text(options.pack_directory, path);
            if (!platform_path_exists(options.pack_directory)) {
                CONSOLE_PRINT(kVerbosityNormal, "\nERROR: The specified path does not exist\n\n");
                return 2;
            }
            continue;
        }
        if (arg.starts_with(kTimeout)) {
            const char* text = word + kTimeout.size();
            if (*text == '\0') {
                CONSOLE_PRINT(kVerbosityNormal, "\nERROR: Argument value for \"timeout\" cannot be empty.\n\n");
                return 1;
            }
            char* end = nullptr;
            errno = 0;
            const long value = std::strtol(text, &end, 10);
            // Trailing characters, no number at all, or a number beyond 32 bits.
            if (end == text || *end != '\0' || errno == ERANGE || value > INT32_MAX || value < INT32_MIN) {
                CONSOLE_PRINT(kVerbosityNormal, "\nERROR: Invalid argument value for \"timeout\".\n\n");
                return 1;
            }
            options.timeout = static_cast<std::int32_t>(value);
            continue;
        }
        return 1;
    }
    const bool capture = options.drives || options.drives_noprompt || options.vendor || options.common ||
                         options.system_heavy || options.system_light || options.vendor_iom;
    return capture ? 0 : 1;
}

void getlog_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    getlog [<identifier> [<identifier>] ...]\n"
    "\n"
    "Options for <identifier>:\n"
    "    common           get publicly known logs\n"
    "    vendor           get vendor specific logs\n"
    "    system-heavy     get system host logs that cause heavy loads on the drives\n"
    "    system-light     get system host logs that cause light load on drives\n"
    "    system           combination of system-heavy and system-light\n"
    "    drives           get logs from the attached physical drives (nvme, sas, sata)\n"
    "    drives-noprompt  same as above but without prompting for user confirmation\n"
    "    pack=<path>      combine all requested logs into a single packaged file\n"
    "                     \"=<path>\" is optional (saved to the default log dir if not specified)\n"
    "    timeout=<sec>    seconds to wait when spawning a process to get logs\n"
    "    all              includes all of the above identifiers\n"
    "    all-noprompt     same as above but without prompting for user confirmation\n"
    "\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
