#include <cstring>

#include "app/discovery/show_options.h"
#include "basekit/console.h"

namespace enctl {

int show_parse_args(show_options& options, std::span<const char* const> args) {
    options = {};
    if (args.empty()) return 0;
    if (args.size() == 1 && std::strcmp(args[0], "handles") == 0) {
        options.handles = 1;
        return 0;
    }
    return 1;
}

void show_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    show           scan for all enclosures and display the following:\n"
    "                       product description\n"
    "                       serial number\n"
    "                       firmware revision\n"
    "                       product name\n"
    "    show handles   display connected drives with slot #, serial number, capacity,\n"
    "                   NAA ZMDID, expander, and OS device handle name\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
