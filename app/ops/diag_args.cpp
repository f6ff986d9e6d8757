#include <string_view>

#include "app/ops/diag_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

namespace {

// Identifiers that take no value, in the order they are compared.
struct diag_keyword {
    std::string_view keyword;
    std::uint32_t diag_options::*flag;
};

constexpr diag_keyword kPlainKeywords[] = {
    {"clear-eventlog", &diag_options::clear_event_log},
    {"clear-crashevent", &diag_options::clear_crash_log},
    {"reset-enc", &diag_options::reset_enclosure},
    {"reset-iom-a", &diag_options::reset_iom_a},
    {"reset-iom-b", &diag_options::reset_iom_b},
    {"timestamp", &diag_options::show_timestamp},
    {"autosync-enable", &diag_options::enable_autosync},
    {"autosync-disable", &diag_options::disable_autosync},
};

void invalid_value() { CONSOLE_PRINT(kVerbosityNormal, "\nERROR: Invalid argument value.\n\n"); }

}  // namespace

int diag_parse_args(diag_options& options, std::span<const char* const> args) {
    options = {};
    if (args.size() != 1) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Illegal number of arguments\n\n");
        return 1;
    }
    const std::string_view arg = args[0];
    constexpr std::string_view kNickname = "nickname=";
    constexpr std::string_view kTimestamp = "timestamp=";
    if (arg == "nickname") {
        options.show_nickname = 1;
        return 0;
    }
    if (arg.starts_with(kNickname)) {
        // "nickname=" alone clears the nickname. A longer text than the field
        // holds is cut; the run refuses any name above 32 characters anyway.
        options.set_nickname = 1;
        set_text(options.nickname, arg.substr(kNickname.size()));
        return 0;
    }
    for (const auto& entry : kPlainKeywords) {
        if (arg == entry.keyword) {
            options.*entry.flag = 1;
            return 0;
        }
    }
    if (arg.starts_with(kTimestamp)) {
        const std::string_view value = arg.substr(kTimestamp.size());
        // Empty, or too long to keep whole (a cut could change the number).
        if (value.empty() || value.size() >= kDiagTextSize) {
            invalid_value();
            return 1;
        }
        options.set_timestamp = 1;
        set_text(options.timestamp, value);
        return 0;
    }
    return 1;
}

void diag_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    diag <identifier>\n"
    "\n"
    "Options for <identifier>:\n"
    "    clear-crashevent   clear crash event logs\n"
    "    clear-eventlog     clear event logs\n"
    "    nickname           display current nickname diagnostic page\n"
    "    nickname=<string>  set new nickname (use quotes if name has spaces)\n"
    "    nickname=          clear any previously set nickname\n"
    "    reset-enc          reset the enclosure\n"
    "    reset-iom-a        reset IOM A of the enclosure\n"
    "    reset-iom-b        reset IOM B of the enclosure\n"
    "    timestamp          display the enclosure's internal date and time\n"
    "    timestamp=<value>  set the enclosure's temporary internal date and time\n"
    "                       <value> must be a 32-bit epoch time value\n"
    "    autosync-enable    enable auto synchronization feature\n"
    "    autosync-disable   disable auto synchronization feature\n"
    "\n"
    "Examples:\n"
    "    diag nickname=DC2\n"
    "    diag nickname=\"DC2 Cage2\"\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
