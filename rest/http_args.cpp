#include "rest/http_args.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

namespace {

// The identifiers of the grammar with their meaning, as the usage lists them.
struct http_identifier_help {
    const char* identifier;
    const char* meaning;
};

constexpr http_identifier_help kIdentifierHelp[] = {
    {"fw=<binary>", "update firmware by uploading the given file"},
    {"getlog", "retrieve vendor logs from the enclosure"},
    {"getlog dir=<path>", "retrieve vendor logs from the enclosure"},
    {"health", "display health state for all enclosure components"},
    {"health=bad", "display only when health state is not ok"},
    {"iom", "display current IO module settings"},
    {"iom=dhcp", "configure IO module to use dynamic IP"},
    {"iom=<ip4v>", "configure IO module to the given static IP"},
    {"show", "list available <device> names for the command below"},
    {"show=<device>", "display data for the given device"},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool host_name_is_valid(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    std::string_view last;
    while (true) {
        const std::size_t dot = host.find('.');
        const std::string_view label = host.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (const char c : label)
            if (!is_alpha(c) && !is_digit(c) && c != '-') return false;
        last = label;
        if (dot == std::string_view::npos) break;
        host.remove_prefix(dot + 1);
    }
    // A last label that starts with a digit could be read as a number by a URL
    // parser (a shortened or hexadecimal IPv4 form).
    return is_alpha(last.front());
}

bool port_is_valid(std::string_view port) {
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (const char c : port) {
        if (!is_digit(c)) return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

// Stores a value into a fixed field, refusing one that does not fit whole.
template <std::size_t N>
bool store_value(char (&field)[N], std::string_view value, const char* name) {
    if (value.size() >= N) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The value for \"%s\" must be less than %u characters\n\n", name,
                      static_cast<unsigned>(N));
        return false;
    }
    set_text(field, value);
    return true;
}

bool refuse(const char* message) {
    CONSOLE_PRINT(kVerbosityNormal, "%s", message);
    return false;
}

// Parse state beyond the record: which words were seen.
struct http_words {
    const char* identifier = nullptr;  // the word of the one identifier
    const char* dir = nullptr;         // the "dir=" word
    bool user = false;
    bool pass = false;
};

bool take_identifier(http_words& seen, const char* word) {
    if (seen.identifier) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Only one identifier may be given: \"%s\" conflicts with \"%s\"\n\n",
                      word, seen.identifier);
        return false;
    }
    seen.identifier = word;
    return true;
}

bool parse_word(http_options& options, http_words& seen, const char* word) {
    const std::string_view arg = word;
    auto value_of = [&](std::string_view prefix) { return arg.substr(prefix.size()); };

    if (arg.starts_with("user=")) {
        if (seen.user) return refuse("ERROR: \"user=\" may be given only once\n\n");
        seen.user = true;
        const std::string_view user = value_of("user=");
        for (const char c : user) {
            // A colon would end the user id in the credentials; control
            // characters have no place in it.
            if (c == ':' || static_cast<unsigned char>(c) < 32 || c == 127)
                return refuse("ERROR: The value for \"user=\" may not hold ':' or control characters\n\n");
        }
        return store_value(options.user, user, "user=");
    }
    if (arg.starts_with("pass=")) {
        if (seen.pass) return refuse("ERROR: \"pass=\" may be given only once\n\n");
        seen.pass = true;
        return store_value(options.password, value_of("pass="), "pass=");
    }
    if (arg.starts_with("dir=")) {
        if (seen.dir) return refuse("ERROR: \"dir=\" may be given only once\n\n");
        seen.dir = word;
        const std::string_view dir = value_of("dir=");
        if (dir.empty()) return refuse("ERROR: The value for \"dir=\" cannot be empty\n\n");
        return store_value(options.getlog_dir, dir, "dir=");
    }
    if (arg.starts_with("fw=")) {
        if (!take_identifier(seen, word)) return false;
        const std::string_view file = value_of("fw=");
        if (file.empty()) return refuse("ERROR: The value for \"fw=\" cannot be empty\n\n");
        options.fw = 1;
        return store_value(options.fw_file, file, "fw=");
    }
    if (arg == "getlog") {
        if (!take_identifier(seen, word)) return false;
        options.getlog = 1;
        return true;
    }
    if (arg == "health" || arg == "health=bad") {
        if (!take_identifier(seen, word)) return false;
        options.health = 1;
        options.health_bad = arg == "health=bad" ? 1 : 0;
        return true;
    }
    if (arg == "iom") {
        if (!take_identifier(seen, word)) return false;
        options.iom_show = 1;
        return true;
    }
    if (arg.starts_with("iom=")) {
        if (!take_identifier(seen, word)) return false;
        const std::string_view value = value_of("iom=");
        if (value != "dhcp" && !http_ipv4_is_valid(value))
            return refuse("ERROR: \"iom=\" needs \"dhcp\" or an IPv4 address x.x.x.x with x 0-255\n\n");
        options.iom_set = 1;
        return store_value(options.iom_value, value, "iom=");
    }
    if (arg == "show") {
        if (!take_identifier(seen, word)) return false;
        options.show = 1;
        return true;
    }
    if (arg.starts_with("show=")) {
        if (!take_identifier(seen, word)) return false;
        const std::string_view device = value_of("show=");
        if (device.empty()) return refuse("ERROR: The value for \"show=\" cannot be empty\n\n");
        options.show = 1;
        return store_value(options.show_device, device, "show=");
    }
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: unknown argument %s\n\n", word);
    return false;
}

}  // namespace

bool http_ipv4_is_valid(std::string_view text) {
    int parts = 0;
    while (true) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part.front() == '0')) return false;
        unsigned value = 0;
        for (const char c : part) {
            if (!is_digit(c)) return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255 || ++parts > 4) return false;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

bool http_address_is_valid(std::string_view address) {
    std::string_view host = address;
    const std::size_t colon = address.find(':');
    if (colon != std::string_view::npos) {
        if (!port_is_valid(address.substr(colon + 1))) return false;
        host = address.substr(0, colon);
    }
    if (host.empty()) return false;
    bool numeric = true;
    for (const char c : host)
        if (!is_digit(c) && c != '.') numeric = false;
    return numeric ? http_ipv4_is_valid(host) : host_name_is_valid(host);
}

int http_parse_args(http_options& options, std::span<const char* const> args) {
    options = {};
    constexpr std::string_view kHttp = "http=";
    if (args.empty() || !std::string_view(args[0]).starts_with(kHttp)) return 1;
    const std::string_view address = std::string_view(args[0]).substr(kHttp.size());
    if (address.size() >= sizeof options.address || !http_address_is_valid(address)) {
        CONSOLE_PRINT(kVerbosityNormal,
                      "ERROR: \"http=\" needs an IPv4 address or a host name, optionally followed by :<port>\n\n");
        return 1;
    }
    set_text(options.address, address);
    http_words seen;
    for (const char* word : args.subspan(1)) {
        if (!parse_word(options, seen, word)) return 1;
    }
    if (seen.dir && !options.getlog) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: \"dir=\" is only valid with \"getlog\"\n\n");
        return 1;
    }
    return 0;
}

void http_usage() {
    std::string text =
    "Description:\n"
    "    General operations for Arcadeon Shelf enclosures\n"
    "\n"
    "Usage:\n"
    "    http=<ipv4> [[user=<id> pass=<password>] <identifier>]\n"
    "\n"
    "Options for <identifier>:\n";
    for (const auto& row : kIdentifierHelp) {
        char line[128];
        std::snprintf(line, sizeof line, "    %-20s%s\n", row.identifier, row.meaning);
        text += line;
    }
    text += "\nExamples:\n    http=10.11.12.13\n    http=10.11.12.13 user=admin pass=tovek getlog\n\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", text.c_str());
}

}  // namespace enctl
