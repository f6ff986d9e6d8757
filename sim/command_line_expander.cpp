// Commands of one expander of the lab's command line: its phys, their error
// counters, its logs in flash and its firmware's inner state.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "sim/command_line_commands.h"

namespace enctl::sim {

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

std::string expander_title(const cli_call& c) {
    return format("%s expander %u", iom_label(c.iom).c_str(), c.expander);
}

// A decimal number that is the whole of `text`.
bool whole_number(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(ch - '0');
    }
    return true;
}

// "<a>" or "<a>-<b>" within the expander's phys.
bool phy_range(const cli_call& c, std::string_view text, std::uint32_t& first, std::uint32_t& last) {
    const std::size_t dash = text.find('-');
    if (!whole_number(text.substr(0, dash), first)) return false;
    last = first;
    if (dash != std::string_view::npos && !whole_number(text.substr(dash + 1), last)) return false;
    return first <= last && last < c.state().phys.size();
}

// Phys with a link: on the primary expander the host lanes and the links to
// the other expanders, on the others one phy per seated drive cabled to it.
std::uint32_t linked_phys(const cli_call& c) {
    const enclosure& e = c.e;
    std::uint32_t linked = 0;
    if (c.expander == 0 && e.expander_count() > 1) {
        linked = 8 * (e.expander_count() - 1);
        if (const ses_element_type* conns = element_type(e, ses_sas_connector))
            for (const auto& el : conns->elements)
                linked += (el.text.find(iom_tag(c.iom)) != std::string::npos && (el.status[0] & 0x0F) == 0x01) ? 4 : 0;
    } else {
        const ses_element_type* slots = element_type(e, ses_array_slot);
        for (std::uint32_t s = 0; slots && s < slots->elements.size(); ++s)
            linked += e.occupant(s).has_value() && e.slot_expander(s) == c.expander;
    }
    return std::min<std::uint32_t>(linked, static_cast<std::uint32_t>(c.state().phys.size()));
}

}  // namespace

// "err_cnts <a>[-<b>] read|clear".
std::string cli_err_cnts(cli_call& c) {
    const std::size_t blank = c.args.rfind(' ');
    const std::string_view action = blank == std::string_view::npos ? std::string_view{} : c.args.substr(blank + 1);
    std::uint32_t first = 0, last = 0;
    if (action != "read" && action != "clear") return "Usage: err_cnts <phy>[-<phy>] read|clear\n";
    if (!phy_range(c, c.args.substr(0, blank), first, last))
        return format("ERROR: invalid phy range %.*s (phys 0-%zu)\n", static_cast<int>(blank), c.args.data(),
                      c.state().phys.size() - 1);
    auto& phys = c.state().phys;
    if (action == "clear") {
        for (std::uint32_t p = first; p <= last; ++p) phys[p] = {};
        return format("Error counters of phys %u-%u cleared\n", first, last);
    }
    std::string out = expander_title(c) + "\nPhy  Invalid DWord  Disparity Error  Loss DWord Sync  Phy Reset Problem\n";
    for (std::uint32_t p = first; p <= last; ++p)
        out += format("%3u  %13u  %15u  %15u  %17u\n", p, phys[p].invalid_dwords, phys[p].disparity_errors,
                      phys[p].loss_of_dword_sync, phys[p].phy_reset_problems);
    return out;
}

std::string cli_show_phys(cli_call& c) {
    std::string out = expander_title(c) + "\nPhy  Link   Rate\n";
    const std::uint32_t linked = linked_phys(c);
    for (std::uint32_t p = 0; p < c.state().phys.size(); ++p)
        out += format("%3u  %-5s  %s\n", p, p < linked ? "up" : "down", p < linked ? "12.0G" : "---");
    return out;
}

std::string cli_phyinfo(cli_call& c) {
    std::string out = expander_title(c) + format(", SAS address %s\n", hex16(c.e.expander_address(c.iom, c.expander)).c_str());
    const std::uint32_t linked = linked_phys(c);
    for (std::uint32_t p = 0; p < c.state().phys.size(); ++p)
        out += format("phy %2u: %s, negotiated %s, routing %s\n", p, p < linked ? "enabled" : "enabled, no device",
                      p < linked ? "12.0G" : "none", p < 8 * (c.e.expander_count() - 1) && c.expander == 0 ? "table" : "direct");
    return out;
}

std::string cli_phyinfo_buffer(cli_call& c) { return expander_title(c) + ": phy event buffer empty\n"; }

std::string cli_status_sas_phy(cli_call& c) {
    return expander_title(c) + format(": %zu phys, %u linked, 0 disabled\n", c.state().phys.size(), linked_phys(c));
}

// "tx_para_get <phy>": the transmitter settings of one phy.
std::string cli_tx_para_get(cli_call& c) {
    std::uint32_t phy = 0;
    std::string_view text = c.args;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!whole_number(text, phy) || phy >= c.state().phys.size())
        return format("Usage: tx_para_get <phy 0-%zu>\n", c.state().phys.size() - 1);
    return format("phy %u: amplitude 0x%02X, pre-emphasis 0x%02X, post-emphasis 0x%02X\n", phy, 0x60 + phy % 8,
                  0x10 + phy % 4, 0x08 + phy % 3);
}

std::string cli_debug_dump(cli_call& c) {
    std::string out = expander_title(c) + " register dump\n";
    for (std::uint32_t row = 0; row < 4; ++row) {
        out += format("%08X:", 0xC0000000u + row * 16);
        for (std::uint32_t i = 0; i < 4; ++i)
            out += format(" %08X", (row * 4 + i + 1) * 0x01010101u ^ (c.expander << 8) ^ static_cast<unsigned>(c.iom));
        out += "\n";
    }
    return out;
}

std::string cli_show_threads(cli_call& c) {
    static const char* const threads[] = {"ses_main", "sas_disc", "cli", "env_mon", "i2c_poll", "log_writer"};
    std::string out = expander_title(c) + "\nId  Name          State    Stack\n";
    for (std::uint32_t i = 0; i < std::size(threads); ++i)
        out += format("%2u  %-12s  %-7s  %u/4096\n", i, threads[i], i == 2 ? "running" : "waiting", 600 + 128 * i);
    return out;
}

std::string cli_qinfo(cli_call& c) {
    return expander_title(c) + "\nQueue     Depth  Max  Dropped\nses_cmd       0   16        0\n" +
           "event         " + std::to_string(c.state().event_log.size()) + "   64        0\n";
}

std::string cli_gpio(cli_call& c) {
    std::string out = expander_title(c) + " GPIO\n";
    static const char* const pins[] = {"PSU_A_PRESENT", "PSU_B_PRESENT", "PARTNER_PRESENT", "FAULT_LED", "RESET_REQ"};
    for (std::uint32_t i = 0; i < std::size(pins); ++i) {
        const bool high = i == 2 ? c.e.iom_present(1 - c.iom) : i < 2;
        out += format("  GPIO%u %-16s %u\n", i, pins[i], high ? 1u : 0u);
    }
    return out;
}

// "flash erase 4" empties the event log, "flash erase 8" the crash log.
std::string cli_flash_erase(cli_call& c) {
    if (c.args == "4") {
        c.state().event_log.clear();
        return expander_title(c) + ": event log erased\n";
    }
    if (c.args == "8") {
        c.state().crash_log.clear();
        return expander_title(c) + ": crash log erased\n";
    }
    return "ERROR: unknown flash region " + std::string(c.args) + "\n";
}

}  // namespace enctl::sim
