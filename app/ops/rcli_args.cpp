#include <cstring>

#include "app/ops/rcli_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

int rcli_parse_args(rcli_options& options, std::span<const char* const> args) {
    options = {};
    if (args.size() != 1) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Illegal number of arguments\n\n");
        return 1;
    }
    const std::size_t length = std::strlen(args[0]);
    // Too long or empty: the usage, which names the maximum, follows.
    if (length == 0 || length >= kRcliCommandSize) return 1;
    set_text(options.command, args[0]);
    return 0;
}

void rcli_usage() {
    CONSOLE_PRINT(kVerbosityNormal,
    "Usage:\n"
    "    rcli <command string>\n"
    "\n"
    "Arguments:\n"
    "    <command string>\n"
    "        Any of the commands allowed by the enclosure firmware.\n"
    "        Specify in quotes if the command has spaces.\n"
    "        Maximum command length is %u characters.\n"
    "\n"
    "Example:\n"
    "    rcli \"show drives\"\n"
    "\n",
                  static_cast<unsigned>(kRcliCommandSize));
}

}  // namespace enctl
