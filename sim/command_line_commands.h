// The commands of the lab's enclosure command line (private to
// command_line*.cpp): one handler per command, given the IOM and the
// expander that the command's prefixes address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/enclosure.h"

namespace enctl::sim {

struct cli_call {
    enclosure& e;
    int iom;                  // 0 IOM A, 1 IOM B: the IOM that answers ("iom " addresses the partner)
    std::uint32_t expander;   // 0 the primary; "sec1 "/"sec2 " (product 1: "rmt ") the others
    std::string_view args;    // the text after the command's words

    expander_state& state() const {
        return e.state().expanders[static_cast<std::size_t>(iom) * e.expander_count() + expander];
    }
};

using cli_handler = std::string (*)(cli_call&);

// "IOMA"/"IOMB" and "IOM A"/"IOM B".
inline std::string iom_tag(int iom) { return iom == 0 ? "IOMA" : "IOMB"; }
inline std::string iom_label(int iom) { return iom == 0 ? "IOM A" : "IOM B"; }

// Element types of the model, none when the product has no such type.
const ses_element_type* element_type(const enclosure& e, std::uint8_t code);

// Enclosure-wide commands (command_line_enclosure.cpp).
std::string cli_show_enc(cli_call& c);
std::string cli_show_fw(cli_call& c);
std::string cli_show_drives(cli_call& c);
std::string cli_show_drives_low(cli_call& c);
std::string cli_show_drives_high(cli_call& c);
std::string cli_show_drive(cli_call& c);
std::string cli_show_devices(cli_call& c);
std::string cli_show_cable(cli_call& c);
std::string cli_show_hosts(cli_call& c);
std::string cli_show_sensors(cli_call& c);
std::string cli_show_ac(cli_call& c);
std::string cli_show_actuators(cli_call& c);
std::string cli_show_leds(cli_call& c);
std::string cli_show_sn(cli_call& c);
std::string cli_show_thermon(cli_call& c);
std::string cli_show_ses(cli_call& c);
std::string cli_show_vpd(cli_call& c);
std::string cli_vpd_set(cli_call& c);
std::string cli_show_dual(cli_call& c);
std::string cli_show_io(cli_call& c);
std::string cli_show_autosync(cli_call& c);
std::string cli_zonecfg(cli_call& c);
std::string cli_zonecfg_disable(cli_call& c);
std::string cli_i2c_scan(cli_call& c);
std::string cli_i2c_read(cli_call& c);

// Commands of one expander (command_line_expander.cpp).
std::string cli_err_cnts(cli_call& c);
std::string cli_show_phys(cli_call& c);
std::string cli_phyinfo(cli_call& c);
std::string cli_phyinfo_buffer(cli_call& c);
std::string cli_status_sas_phy(cli_call& c);
std::string cli_tx_para_get(cli_call& c);
std::string cli_debug_dump(cli_call& c);
std::string cli_show_threads(cli_call& c);
std::string cli_qinfo(cli_call& c);
std::string cli_gpio(cli_call& c);
std::string cli_flash_erase(cli_call& c);

}  // namespace enctl::sim
