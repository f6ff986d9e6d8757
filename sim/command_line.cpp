#include "sim/command_line.h"

#include <algorithm>
#include <iterator>

#include "sim/command_line_commands.h"

namespace enctl::sim {

namespace {

enum class scope {
    enclosure,  // answered by the primary expander only
    expander,   // any expander ("sec1 ", "sec2 ", "rmt ")
};

struct cli_command {
    std::string_view words;
    scope where;
    bool takes_args;  // more text may follow the words after a blank
    cli_handler run;
};

// Every command the enclosure knows.
constexpr cli_command kCommands[] = {
    {"i2c scan", scope::enclosure, false, cli_i2c_scan},
    {"i2c rd", scope::enclosure, true, cli_i2c_read},
    {"show gpio", scope::enclosure, false, cli_gpio},
    {"gpio", scope::expander, false, cli_gpio},
    {"show io", scope::enclosure, false, cli_show_io},
    {"show enc", scope::enclosure, false, cli_show_enc},
    {"show dual", scope::enclosure, false, cli_show_dual},
    {"show hosts", scope::enclosure, false, cli_show_hosts},
    {"show phys", scope::expander, false, cli_show_phys},
    {"show ac", scope::enclosure, false, cli_show_ac},
    {"show actuator", scope::enclosure, false, cli_show_actuators},
    {"show actuators", scope::enclosure, false, cli_show_actuators},
    {"show le", scope::enclosure, false, cli_show_leds},
    {"show led", scope::enclosure, false, cli_show_leds},
    {"show leds", scope::enclosure, false, cli_show_leds},
    {"show sensor", scope::enclosure, false, cli_show_sensors},
    {"show sensors", scope::enclosure, false, cli_show_sensors},
    {"show sn", scope::enclosure, false, cli_show_sn},
    {"show drive", scope::enclosure, false, cli_show_drive},
    {"show drives", scope::enclosure, false, cli_show_drives},
    {"show drives high", scope::enclosure, false, cli_show_drives_high},
    {"show drives low", scope::enclosure, false, cli_show_drives_low},
    {"show thermon", scope::enclosure, false, cli_show_thermon},
    {"show ses", scope::enclosure, false, cli_show_ses},
    {"phyinfo", scope::expander, false, cli_phyinfo},
    {"phyinfo buffer", scope::expander, false, cli_phyinfo_buffer},
    {"debug dump", scope::expander, false, cli_debug_dump},
    {"zonecfg", scope::enclosure, false, cli_zonecfg},
    {"zonecfg disable", scope::enclosure, false, cli_zonecfg_disable},
    {"err_cnts", scope::expander, true, cli_err_cnts},
    {"show threads", scope::expander, false, cli_show_threads},
    {"qinfo", scope::expander, false, cli_qinfo},
    {"show fw", scope::enclosure, false, cli_show_fw},
    {"show devices", scope::enclosure, false, cli_show_devices},
    {"show cable", scope::enclosure, false, cli_show_cable},
    {"show vpd", scope::enclosure, false, cli_show_vpd},
    {"vpd set", scope::enclosure, true, cli_vpd_set},
    {"status sas_phy", scope::expander, false, cli_status_sas_phy},
    {"tx_para_get", scope::expander, true, cli_tx_para_get},
    {"show autosync", scope::enclosure, false, cli_show_autosync},
    {"flash erase", scope::expander, true, cli_flash_erase},
};

bool take_prefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// The row of a command (its words alone, or followed by a blank and
// arguments), and the arguments.
const cli_command* find_command(std::string_view text, std::string_view& args) {
    for (const auto& c : kCommands) {
        if (text == c.words) {
            args = {};
            return &c;
        }
    }
    for (const auto& c : kCommands) {
        if (c.takes_args && text.starts_with(c.words) && text.size() > c.words.size() && text[c.words.size()] == ' ') {
            args = text.substr(c.words.size() + 1);
            return &c;
        }
    }
    return nullptr;
}

std::string unknown(std::string_view command) {
    return "Unknown command: " + std::string(command) + "\nType 'help' for the list of commands\n";
}

std::string help_text() {
    std::string out = "Commands:\n";
    for (const auto& c : kCommands) out += "  " + std::string(c.words) + (c.takes_args ? " ..." : "") + "\n";
    return out;
}

// The partner IOM answers "iom ..." commands on the dual-IOM products 5 and 6
// (not on the multi-tenant firmware).
bool partner_reachable(const enclosure& e, int partner) {
    const int product = e.spec().product;
    return (product == 5 || product == 6) && !e.spec().multi_tenant && e.iom_present(partner);
}

std::string interpret(enclosure& e, std::string_view command) {
    if (!e.profile().vendor_pages) return unknown(command);
    if (command == "help") return help_text();
    std::string_view text = command;
    int iom = std::max(e.attached_iom(), 0);
    if (take_prefix(text, "iom ")) {
        iom = 1 - iom;
        if (!partner_reachable(e, iom)) return "ERROR: the partner IOM cannot be reached\n";
    }
    std::uint32_t expander = 0;
    if (e.expander_count() == 2 && take_prefix(text, "rmt ")) expander = 1;
    if (e.expander_count() == 3 && take_prefix(text, "sec1 ")) expander = 1;
    if (e.expander_count() == 3 && take_prefix(text, "sec2 ")) expander = 2;
    std::string_view args;
    const cli_command* row = find_command(text, args);
    if (!row || (expander != 0 && row->where != scope::expander)) return unknown(command);
    cli_call call{e, iom, expander, args};
    return row->run(call);
}

}  // namespace

const ses_element_type* element_type(const enclosure& e, std::uint8_t code) {
    for (const auto& t : e.types())
        if (t.code == code) return &t;
    return nullptr;
}

const std::string& run_cli_command(enclosure& e, std::string_view command) {
    enclosure_state& s = e.state();
    s.cli_commands.emplace_back(command);
    s.cli_reply = interpret(e, command);
    const auto fixed = e.spec().cli_replies.find(std::string(command));
    if (fixed != e.spec().cli_replies.end()) s.cli_reply = fixed->second;
    return s.cli_reply;
}

std::uint32_t take_cli_command(enclosure& e, std::span<const std::uint8_t> page) {
    // Bytes 2-3 hold the text length + 4; the text starts at byte 8.
    std::string_view text;
    if (page.size() > 8) {
        const std::size_t declared = be16(&page[2]) >= 4 ? be16(&page[2]) - 4u : 0u;
        text = std::string_view(reinterpret_cast<const char*>(page.data() + 8), std::min(declared, page.size() - 8));
    }
    run_cli_command(e, text);
    return 0;
}

bytes build_cli_reply(const enclosure& e) {
    const std::string_view text = std::string_view(e.state().cli_reply).substr(0, 0xFFFF);
    bytes d(4 + text.size(), 0);
    d[0] = 0xEC;
    put_be16(&d[2], static_cast<std::uint32_t>(text.size()));
    std::copy(text.begin(), text.end(), d.begin() + 4);
    return d;
}

}  // namespace enctl::sim
