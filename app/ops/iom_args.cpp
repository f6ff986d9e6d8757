#include <cstring>
#include <string_view>

#include "app/ops/iom_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

namespace {

// Split `text` at `separator` into at most `count` non-empty parts (empty
// parts between consecutive separators are skipped). Returns the number of
// parts found, which may exceed `count` (the extra parts are not stored).
template <typename Store>
std::size_t split(std::string_view text, char separator, std::size_t count, Store store) {
    std::size_t found = 0;
    while (!text.empty()) {
        const std::size_t at = text.find(separator);
        const std::string_view part = text.substr(0, at);
        if (!part.empty()) {
            if (found < count) store(found, part);
            ++found;
        }
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return found;
}

}  // namespace

int validate_address(const char* text, std::uint32_t (&octets)[4]) {
    CONSOLE_PRINT(kVerbosityDebug, "validate_address: %s\n", text);
    bool valid = true;
    const std::size_t parts = split(text, '.', 4, [&](std::size_t i, std::string_view part) {
        std::uint32_t value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9') {
                valid = false;
                return;
            }
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            if (value > 255) {
                valid = false;
                return;
            }
        }
        octets[i] = value;
    });
    // A fifth part is refused too: it would otherwise be dropped silently and
    // the enclosure set to an address the user did not type.
    if (!valid || parts != 4) return 2;
    return 0;
}

int validate_oobm_values(iom_options& options) {
    CONSOLE_PRINT(kVerbosityDebug, "validate_oobm_values: %s\n", options.value);
    const std::size_t tokens = split(text_of(options.value), ',', 4, [&](std::size_t i, std::string_view part) {
        set_text(options.tokens[i], part);
    });
    // Fewer than four fields: refused without a message. A fifth is refused
    // too, with one: a setting that writes a management network address
    // must not drop what the user typed.
    if (tokens < 4) return 2;
    if (tokens > 4) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: illegal value after the gateway address\n");
        return 2;
    }
    if (std::strcmp(options.tokens[0], "A") == 0) {
        options.iom = 1;
    } else if (std::strcmp(options.tokens[0], "B") == 0) {
        options.iom = 2;
    } else {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: illegal IOM value\n");
        return 2;
    }
    if (validate_address(options.tokens[1], options.ip) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: illegal IP address value\n");
        return 2;
    }
    if (validate_address(options.tokens[2], options.netmask) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: illegal subnet mask address value\n");
        return 2;
    }
    if (validate_address(options.tokens[3], options.gateway) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: illegal gateway address value\n");
        return 2;
    }
    bool all_zero = true;
    for (int i = 0; i < 4; ++i)
        if (options.ip[i] || options.netmask[i] || options.gateway[i]) all_zero = false;
    options.dhcp = all_zero ? 1 : 0;
    return 0;
}

int iom_parse_args(iom_options& options, std::span<const char* const> args) {
    options = {};
    if (args.empty()) {
        options.show = 1;
        return 0;
    }
    if (args.size() >= 2) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Illegal number of arguments\n\n");
        return 1;
    }
    const std::string_view arg = args[0];
    if (arg == "oobm") {
        options.read = 1;
        return 0;
    }
    constexpr std::string_view kSet = "oobm=";
    if (arg.starts_with(kSet)) {
        options.write = 1;
        const std::string_view value = arg.substr(kSet.size());
        if (value.size() >= kIomValueSize) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: The value for \"oobm=\" must be less than %u characters\n\n",
                          static_cast<unsigned>(kIomValueSize));
            return 1;
        }
        set_text(options.value, value);
        if (validate_oobm_values(options) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "\n");
            return 1;
        }
        return 0;
    }
    return 1;
}

void iom_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    iom [oobm|oobm=<iom>,<ip>,<netmask>,<gateway>]\n"
    "\n"
    "Arguments:\n"
    "    oobm        display current OOBM values\n"
    "    oobm=<args> set new OOBM values\n"
    "         <iom>     = [A|B]\n"
    "         <ip>      = [x.x.x.x]\n"
    "         <netmask> = [x.x.x.x]\n"
    "         <gateway> = [x.x.x.x]\n"
    "                     x must be 0-255\n"
    "\n"
    "    Default is to display current IOM single or dual setting\n"
    "\n"
    "Example to change IOM A to static addresses:\n"
    "    iom oobm=A,192.168.0.10,255.255.255.0,192.168.0.1\n"
    "\n"
    "Example to change IOM B to DHCP:\n"
    "    iom oobm=B,0.0.0.0,0.0.0.0,0.0.0.0\n"
    "\n"
    "Example to display current OOBM:\n"
    "    iom oobm\n"
    "\n"
    "Example to display if enclosure is set to single or dual IOM:\n"
    "    iom\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
