#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "app/ops/zone_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

namespace {

void invalid_value() { CONSOLE_PRINT(kVerbosityNormal, "\nERROR: Invalid argument value.\n\n"); }

}  // namespace

int zone_parse_args(zone_options& options, std::span<const char* const> args) {
    options = {};
    if (args.size() != 1) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Illegal number of arguments\n\n");
        return 1;
    }
    const std::string_view arg = args[0];
    constexpr std::string_view kConfig = "config=";
    constexpr std::string_view kFile = "file=";
    if (arg.starts_with(kConfig)) {
        const char* text = args[0] + kConfig.size();
        if (*text == '\0') {
            invalid_value();
            return 1;
        }
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(text, &end, 10);
        if (end == text || *end != '\0') {
            invalid_value();
            return 1;
        }
        options.config = 1;
        // A number beyond 32 bits is kept as the nearest 32-bit value, so that
        // it is still refused as out of range and never wraps into 0..3.
        if (errno == ERANGE || value > INT32_MAX) {
            options.config_value = value < 0 ? INT32_MIN : INT32_MAX;
        } else if (value < INT32_MIN) {
            options.config_value = INT32_MIN;
        } else {
            options.config_value = static_cast<std::int32_t>(value);
        }
        return 0;
    }
    if (arg == "reset") {
        options.reset = 1;
        return 0;
    }
    if (arg == "status") {
        options.status = 1;
        return 0;
    }
    if (arg.starts_with(kFile)) {
        const std::string_view path = arg.substr(kFile.size());
        if (path.empty()) {
            invalid_value();
            return 1;
        }
        if (path.size() >= kZoneFileSize) {
            CONSOLE_PRINT(kVerbosityNormal, "\nERROR: The value for \"file=\" must be less than %u characters\n\n",
                          static_cast<unsigned>(kZoneFileSize));
            return 1;
        }
        options.file = 1;
        set_text(options.file_path, path);
        return 0;
    }
    return 1;
}

void zone_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    zone config=<value>\n"
    "    zone file=<file>\n"
    "    zone reset\n"
    "    zone status\n"
    "\n"
    "Details:\n"
    "    config=<value>  configure zones to the given pre-defined value\n"
    "    config=0        disable zoning\n"
    "    config=<1-3>    pre-defined configuration per product type\n"
    "                    M7320-P:\n"
    "                      1: 17 drives visible to each host port\n"
    "                      2: 34 drives visible to each pair of consecutive host ports (i.e. A1, A2)\n"
    "                      3: 51 drives visible to each 3x consecutive host ports (i.e. A1, A2, A3)\n"
    "                    M7310-P:\n"
    "                      1: 10 drives visible to each host port\n"
    "                      2: 20 drives visible to each pair of consecutive host ports (i.e. A1, A2)\n"
    "                      3: 30 drives visible to each 3x consecutive host ports (i.e. A1, A2, A3)\n"
    "    file=<file>     send binary config file to the IOM\n"
    "    reset           reset the current IOM\n"
    "    status          display current zone configuration setting\n"
    "\n"
    "The \"zone\" command requires the user to specify one target device\n"
    "Example: enctl SCSI1:4,64,0 zone reset\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
