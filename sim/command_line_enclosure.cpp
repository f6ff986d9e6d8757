// Enclosure-wide commands of the lab's command line, answered from the
// element model, the drives seated in the slots and the enclosure's state.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "sim/command_line_commands.h"

namespace enctl::sim {

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char line[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

// Element status codes (page 02h byte 0, bits 3-0) as the command line names them.
const char* status_name(std::uint8_t status0) {
    static const char* const names[] = {"Unsupported", "OK",      "Critical",      "Noncritical",      "Unrecoverable",
                                        "Not installed", "Unknown", "Not available", "No access allowed"};
    const std::uint8_t code = status0 & 0x0F;
    return code < std::size(names) ? names[code] : "Reserved";
}

// The comma-separated field `index` of an element text, or `fallback`.
std::string text_field(const std::string& text, std::size_t index, const std::string& fallback) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = text.find(',', start);
        if (start == std::string::npos) return fallback;
        ++start;
    }
    const std::string field = text.substr(start, text.find(',', start) - start);
    const std::size_t last = field.find_last_not_of(' ');
    return last == std::string::npos ? fallback : field.substr(0, last + 1);
}

const ses_element* esce(const enclosure& e, int iom) {
    const ses_element_type* t = element_type(e, ses_esce);
    return t && static_cast<std::size_t>(iom) < t->elements.size() ? &t->elements[static_cast<std::size_t>(iom)]
                                                                      : nullptr;
}

std::string oobm_version(const enclosure& e, int iom) {
    const ses_element* el = esce(e, iom);
    return el ? text_field(el->text, 4, e.spec().oobm_version) : e.spec().oobm_version;
}

std::string expander_firmware(const enclosure& e, int iom, std::uint32_t expander) {
    const ses_element_type* t = element_type(e, ses_sas_expander);
    const std::size_t index = static_cast<std::size_t>(iom) * e.expander_count() + expander;
    if (!t || index >= t->elements.size()) return e.spec().firmware;
    return text_field(t->elements[index].text, 1, e.spec().firmware);
}

std::string mac_address(const enclosure& e, int iom) {
    const std::uint64_t low = (e.iom_address(iom) >> 8) & 0xFFFFFF;
    return format("00:E1:AB:%02X:%02X:%02X", static_cast<unsigned>(low >> 16) & 0xFF,
                  static_cast<unsigned>(low >> 8) & 0xFF, static_cast<unsigned>(low) & 0xFF);
}

std::string slot_line(const enclosure& e, std::uint32_t s, const ses_element& slot) {
    const auto& drive = e.occupant(s);
    const char* state = "On -Ok ";
    if ((slot.status[0] & 0x0F) == 0x06)
        state = "On -Unk";
    else if (slot.status[3] & 0x10)
        state = "Off-Pwr";
    else if (!drive)
        state = "Off-Emp";
    if (!drive) return format("SLOT %03u: %s\n", s, state);
    return format("SLOT %03u: %s %-4s %s\n", s, state, drive->sata ? "SATA" : "SAS", drive->serial.c_str());
}

// "SLOT 012: On -Unk SAS  ZL1A2124" for the slots [first, last).
std::string drive_lines(const enclosure& e, std::uint32_t first, std::uint32_t last) {
    std::string out = "Drive slots\n";
    const ses_element_type* slots = element_type(e, ses_array_slot);
    if (!slots) return out;
    last = std::min<std::uint32_t>(last, static_cast<std::uint32_t>(slots->elements.size()));
    for (std::uint32_t s = first; s < last; ++s) out += slot_line(e, s, slots->elements[s]);
    return out;
}

std::uint32_t slot_count(const enclosure& e) {
    const ses_element_type* slots = element_type(e, ses_array_slot);
    return slots ? static_cast<std::uint32_t>(slots->elements.size()) : 0;
}

// Sensor value of a voltage (10 mV) or current (10 mA) element.
std::string centi(const ses_element& el) {
    const unsigned v = enctl::be16(&el.status[2]);
    return format("%u.%02u", v / 100, v % 100);
}

}  // namespace

std::string cli_show_enc(cli_call& c) {
    const enclosure& e = c.e;
    const auto& s = e.spec();
    std::string out = "Enclosure Information\n";
    out += format("  Vendor     : %s\n  Product    : %s\n  Serial     : %s\n", s.vendor.c_str(),
                  s.product_id.c_str(), s.serial.c_str());
    out += format("  SAS Addr   : %s\n  Slots      : %u\n", hex16(s.sas_address).c_str(), slot_count(e));
    for (int iom = 0; iom < 2; ++iom) {
        if (e.profile().single_always && iom == 1) break;
        out += iom_label(iom) + (iom == c.iom ? " (local)\n" : "\n");
        if (!e.iom_present(iom)) {
            out += "  Status     : Not installed\n";
            continue;
        }
        const ses_element* el = esce(e, iom);
        out += format("  Status     : %s\n", el ? status_name(el->status[0]) : "OK");
        out += format("  Serial     : %s-%s\n", s.serial.c_str(), iom_tag(iom).c_str());
        out += format("  SAS Addr   : %s\n", hex16(e.iom_address(iom)).c_str());
        out += "  FW(EXP)    : " + expander_firmware(e, iom, 0) + "\n";
        out += "  FW(OOBM)  : " + oobm_version(e, iom) + "\n";
        out += "  MAC       : " + mac_address(e, iom) + "\n";
    }
    return out;
}

std::string cli_show_fw(cli_call& c) {
    const enclosure& e = c.e;
    std::string out = "Firmware versions (" + iom_label(c.iom) + ")\n";
    for (std::uint32_t k = 0; k < e.expander_count(); ++k)
        out += format("  Expander %u  : %s\n", k, expander_firmware(e, c.iom, k).c_str());
    out += "  OOBM        : " + oobm_version(e, c.iom) + "\n";
    out += "  Boot loader : 1.0.7\n";
    out += format("RTC           : x%llX\n", static_cast<unsigned long long>(e.rtc_us()));
    return out;
}

std::string cli_show_drives(cli_call& c) { return drive_lines(c.e, 0, slot_count(c.e)); }
std::string cli_show_drives_low(cli_call& c) { return drive_lines(c.e, 0, slot_count(c.e) / 2); }
std::string cli_show_drives_high(cli_call& c) { return drive_lines(c.e, slot_count(c.e) / 2, slot_count(c.e)); }

std::string cli_show_drive(cli_call& c) {
    std::uint32_t seated = 0;
    for (std::uint32_t s = 0; s < slot_count(c.e); ++s) seated += c.e.occupant(s).has_value();
    return format("Drives seated: %u of %u slots\n", seated, slot_count(c.e));
}

std::string cli_show_devices(cli_call& c) {
    std::string out = "Slot  Type  SAS address       Expander\n";
    for (std::uint32_t s = 0; s < slot_count(c.e); ++s) {
        const auto& drive = c.e.occupant(s);
        if (!drive) continue;
        const std::uint64_t port = c.iom == 0 || drive->sata ? drive->port_a : drive->port_b;
        out += format("%4u  %-4s  %s  %u\n", s, drive->sata ? "SATA" : "SAS", hex16(port).c_str(),
                      c.e.slot_expander(s));
    }
    return out;
}

// One line per SAS connector element, named by its descriptor.
std::string cli_show_cable(cli_call& c) {
    std::string out;
    const ses_element_type* conns = element_type(c.e, ses_sas_connector);
    if (!conns) return out;
    for (const auto& el : conns->elements) {
        const std::uint8_t code = el.status[0] & 0x0F;
        out += el.text + ": ";
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

std::string cli_show_hosts(cli_call& c) {
    std::string out = "Host ports of " + iom_label(c.iom) + "\n";
    const ses_element_type* conns = element_type(c.e, ses_sas_connector);
    if (!conns) return out;
    std::uint32_t port = 0;
    for (const auto& el : conns->elements) {
        if (el.text.find(iom_tag(c.iom)) == std::string::npos) continue;
        const bool up = (el.status[0] & 0x0F) == 0x01;
        out += format("  Port %u: %s\n", port++, up ? "host attached, 4x12G" : "no host");
    }
    return out;
}

std::string cli_show_sensors(cli_call& c) {
    std::string out;
    if (const auto* t = element_type(c.e, ses_temperature))
        for (const auto& el : t->elements)
            out += format("%-16s %3d C  %s\n", el.text.c_str(), int{el.status[2]} - 20, status_name(el.status[0]));
    if (const auto* t = element_type(c.e, ses_voltage))
        for (const auto& el : t->elements)
            out += format("%-16s %7s V  %s\n", el.text.c_str(), centi(el).c_str(), status_name(el.status[0]));
    if (const auto* t = element_type(c.e, ses_current))
        for (const auto& el : t->elements)
            out += format("%-16s %7s A  %s\n", el.text.c_str(), centi(el).c_str(), status_name(el.status[0]));
    return out;
}

std::string cli_show_ac(cli_call& c) {
    std::string out;
    if (const auto* t = element_type(c.e, ses_voltage))
        for (const auto& el : t->elements)
            if (el.text.find("AC") != std::string::npos)
                out += format("%s input: %s V (%s)\n", el.text.c_str(), centi(el).c_str(), status_name(el.status[0]));
    return out;
}

std::string cli_show_actuators(cli_call& c) {
    std::string out;
    if (const auto* t = element_type(c.e, ses_cooling))
        for (const auto& el : t->elements) {
            const unsigned rpm = (((el.status[1] & 0x07u) << 8) | el.status[2]) * 10u;
            out += format("%-8s %5u rpm  %s\n", el.text.c_str(), rpm, status_name(el.status[0]));
        }
    return out;
}

std::string cli_show_leds(cli_call& c) {
    std::string out;
    if (const auto* t = element_type(c.e, ses_array_slot))
        for (std::size_t s = 0; s < t->elements.size(); ++s) {
            const auto& st = t->elements[s].status;
            out += format("SLOT %03zu: fault %-3s ident %s\n", s, (st[3] & 0x20) ? "on" : "off",
                          (st[2] & 0x02) ? "on" : "off");
        }
    return out;
}

std::string cli_show_sn(cli_call& c) {
    const auto& s = c.e.spec();
    std::string out = "Enclosure : " + s.serial + "\n";
    for (int iom = 0; iom < 2; ++iom)
        if (c.e.iom_present(iom)) out += iom_label(iom) + "     : " + s.serial + "-" + iom_tag(iom) + "\n";
    return out;
}

std::string cli_show_thermon(cli_call& c) {
    std::string out = "Sensor           Temp  Warn  Crit\n";
    if (const auto* t = element_type(c.e, ses_temperature))
        for (const auto& el : t->elements)
            out += format("%-16s %4d  %4d  %4d\n", el.text.c_str(), int{el.status[2]} - 20, int{el.threshold[1]} - 20,
                          int{el.threshold[0]} - 20);
    return out;
}

std::string cli_show_ses(cli_call& c) {
    std::string out = "SES element types\n";
    for (const auto& t : c.e.types()) {
        unsigned not_ok = 0;
        for (const auto& el : t.elements) not_ok += (el.status[0] & 0x0F) != 0x01 && (el.status[0] & 0x0F) != 0x05;
        out += format("  %02Xh %-42s %3zu elements, %u not OK\n", t.code, t.type_text.c_str(), t.elements.size(),
                      not_ok);
    }
    return out + format("Generation code: %u\n", c.e.generation());
}

std::string cli_show_vpd(cli_call& c) {
    const auto& s = c.e.spec();
    return "Vendor   : " + s.vendor + "\nProduct  : " + s.product_id + "\nSerial   : " + s.serial +
           "\nRevision : " + s.revision + "\nSAS Addr : " + hex16(s.sas_address) + "\n";
}

std::string cli_vpd_set(cli_call& c) {
    if (c.args.empty()) return "Usage: vpd set <field> <value>\n";
    return "ERROR: VPD fields cannot be changed in customer mode\n";
}

std::string cli_show_dual(cli_call& c) {
    const bool dual = c.e.iom_present(0) && c.e.iom_present(1);
    return format("Dual IOM      : %s\nLocal IOM     : %s\nPartner IOM   : %s\n", dual ? "yes" : "no",
                  iom_label(c.iom).c_str(), c.e.iom_present(1 - c.iom) ? "present" : "not present");
}

std::string cli_show_io(cli_call& c) {
    std::string out;
    for (int iom = 0; iom < 2; ++iom)
        out += iom_label(iom) + ": " + (c.e.iom_present(iom) ? "present" : "not present") +
               (iom == c.iom ? " (local)" : "") + "\n";
    return out;
}

std::string cli_show_autosync(cli_call& c) {
    return std::string("Auto synchronization: ") + (c.e.state().autosync ? "enabled" : "disabled") + "\n";
}

std::string cli_zonecfg(cli_call& c) {
    const enclosure_state& s = c.e.state();
    if (!s.zoning_file.empty()) return "Zoning: enabled\nT10 zoning configuration: " + s.zoning_file + "\n";
    if (s.zoning == 0) return "Zoning: disabled\n";
    return "Zoning: enabled\nPre-defined configuration: " + std::to_string(s.zoning) + "\n";
}

std::string cli_zonecfg_disable(cli_call& c) {
    c.e.state().zoning = 0;
    c.e.state().zoning_file.clear();
    return "Zoning disabled\n";
}

std::string cli_i2c_scan(cli_call&) {
    return "I2C bus scan\n  bus 0: 0x20 0x50 0x51 0x71\n  bus 1: 0x48 0x49 0x4C\n  bus 2: 0x58 0x59\n";
}

// "i2c rd -p=<port> -a=<address> -o=<offset> <count>": bytes of a port's device.
std::string cli_i2c_read(cli_call& c) {
    unsigned port = 0, address = 0, offset = 0, count = 0;
    const std::string args(c.args);
    if (std::sscanf(args.c_str(), "-p=%u -a=%x -o=%x %x", &port, &address, &offset, &count) != 4 || port < 1 ||
        port > 4 || count == 0 || count > 0x100)
        return "Usage: i2c rd -p=<1-4> -a=<address> -o=<offset> <count>\n";
    std::string out = format("port %u address 0x%02X offset 0x%02X:\n", port, address, offset);
    for (unsigned i = 0; i < count; ++i) {
        out += format("%s%02X", i % 16 == 0 ? "" : " ", (offset + i * port + address) & 0xFF);
        if (i % 16 == 15 || i + 1 == count) out += "\n";
    }
    return out;
}

}  // namespace enctl::sim
