#include "sim/command_line.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

// Element status codes (page 02h byte 0, bits 3-0) as the command line names them.
const char* status_name(std::uint8_t code) {
    static const char* const names[] = {"Unsupported", "OK",      "Critical",      "Noncritical",      "Unrecoverable",
                                        "Not installed", "Unknown", "Not available", "No access allowed"};
    return code < std::size(names) ? names[code] : "Reserved";
}

const ses_element_type* find_type(const enclosure& e, std::uint8_t code) {
    for (const auto& t : e.types())
        if (t.code == code) return &t;
    return nullptr;
}

// One line per drive slot: "SLOT 012: On -Unk SAS  ZL1A2124", "SLOT 014: Off-Emp".
std::string show_drives(const enclosure& e) {
    std::string out = "Drive slots\n";
    const ses_element_type* slots = find_type(e, ses_array_slot);
    if (!slots) return out;
    char line[128];
    for (std::uint32_t s = 0; s < slots->elements.size(); ++s) {
        const auto& status = slots->elements[s].status;
        const auto& drive = e.occupant(s);
        const char* state = "On -Ok ";
        if ((status[0] & 0x0F) == 0x06)
            state = "On -Unk";
        else if (status[3] & 0x10)
            state = "Off-Pwr";
        else if (!drive)
            state = "Off-Emp";
        if (drive)
            std::snprintf(line, sizeof line, "SLOT %03u: %s %-4s %s\n", s, state, drive->sata ? "SATA" : "SAS",
                          drive->serial.c_str());
        else
            std::snprintf(line, sizeof line, "SLOT %03u: %s\n", s, state);
        out += line;
    }
    return out;
}

// One line per SAS connector element, named by its descriptor.
std::string show_cable(const enclosure& e) {
    std::string out;
    const ses_element_type* conns = find_type(e, ses_sas_connector);
    if (!conns) return out;
    for (const auto& c : conns->elements) {
        const std::uint8_t code = c.status[0] & 0x0F;
        out += c.text + ": ";
        if (code == 0x01)
            out += "Connected, 4 lanes at 12 Gb/s";
        else if (code == 0x05)
            out += "Not installed";
        else
            out += std::string("Fault, ") + status_name(code);
        out += "\n";
    }
    return out;
}

std::string zonecfg(const enclosure& e) {
    const std::uint32_t zoning = e.spec().zoning;
    if (zoning == 0) return "Zoning: disabled\n";
    return "Zoning: enabled\nPre-defined configuration: " + std::to_string(zoning) + "\n";
}

struct cli_command {
    std::string_view text;
    std::string (*answer)(const enclosure&);
};

constexpr cli_command commands[] = {
    {"show drives", show_drives},
    {"show cable", show_cable},
    {"zonecfg", zonecfg},
};

}  // namespace

std::uint32_t take_cli_command(enclosure& e, std::span<const std::uint8_t> page) {
    // Bytes 2-3 hold the text length + 4; the text starts at byte 8.
    std::string_view text;
    if (page.size() > 8) {
        const std::size_t declared = be16(&page[2]) >= 4 ? be16(&page[2]) - 4u : 0u;
        text = std::string_view(reinterpret_cast<const char*>(page.data() + 8), std::min(declared, page.size() - 8));
    }
    for (const auto& c : commands) {
        if (c.text == text) {
            e.set_cli_reply(c.answer(e));
            return 0;
        }
    }
    e.set_cli_reply("Unknown command: " + std::string(text) + "\n");
    return 0;
}

bytes build_cli_reply(const enclosure& e) {
    // The page length is 16 bits: a longer reply is cut.
    const std::string_view text = std::string_view(e.cli_reply()).substr(0, 0xFFFF);
    bytes d(4 + text.size(), 0);
    d[0] = 0xEC;
    put_be16(&d[2], static_cast<std::uint32_t>(text.size()));
    std::copy(text.begin(), text.end(), d.begin() + 4);
    return d;
}

}  // namespace enctl::sim
