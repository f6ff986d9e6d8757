#include "sim/enclosure.h"

#include <algorithm>
#include <cstdio>

namespace enctl::sim {

namespace {

constexpr std::uint8_t status_ok = 0x01;
constexpr std::uint8_t status_not_installed = 0x05;

ses_element make_element(std::uint8_t status0, std::string text) {
    ses_element e;
    e.status = {status0, 0, 0, 0};
    e.text = std::move(text);
    return e;
}

std::string iom_name(int iom) { return iom == 0 ? "IOMA" : "IOMB"; }

}  // namespace

enclosure::enclosure(const enclosure_spec& spec)
    : spec_(spec), profile_(find_product(spec.product)), revision_(spec.revision), firmware_(spec) {
    if (!profile_) profile_ = find_product(5);  // unreachable with a completed description
    slots_.resize(spec_.slots);
    build_elements();
    for (std::uint32_t s = 0; s < spec_.slots; ++s) refresh_slot(s);
    apply_overrides();
    init_state();
}

bool enclosure::iom_present(int iom) const {
    if (spec_.dual_iom && !profile_->single_always) return true;
    return iom == std::max(attached_iom(), 0);
}

int enclosure::attached_iom() const {
    if (spec_.attached_iom == 'A') return 0;
    if (spec_.attached_iom == 'B') return 1;
    return -1;
}

std::uint64_t enclosure::iom_address(int iom) const {
    return spec_.sas_address + 0x100u * static_cast<std::uint64_t>(iom + 1);
}

std::uint64_t enclosure::expander_address(int iom, std::uint32_t expander) const {
    return iom_address(iom) + 0x40u * expander + 0x3Fu;
}

std::uint32_t enclosure::slot_expander(std::uint32_t slot) const {
    const std::uint32_t n = profile_->expanders_per_iom;
    if (n <= 1 || spec_.slots == 0) return 0;
    return 1 + (slot * (n - 1)) / spec_.slots;
}

ses_element_type* enclosure::find_type(std::uint8_t code) {
    for (auto& t : types_)
        if (t.code == code) return &t;
    return nullptr;
}

void enclosure::build_elements() {
    const auto& p = *profile_;
    char buf[128];

    // Type order matters to the health report: the voltage sensors are the
    // ninth type, whose count bounds the low-line check's walk.
    ses_element_type slots{ses_array_slot, "Drive Slots", {}};
    slots.elements.resize(spec_.slots);
    types_.push_back(std::move(slots));

    ses_element_type psu{ses_power_supply, "Power Supplies", {}};
    for (char c : {'A', 'B'}) {
        std::snprintf(buf, sizeof buf, "PSU %c", c);
        auto e = make_element(status_ok, buf);
        e.status[3] = 0x20;  // requested on
        psu.elements.push_back(e);
    }
    types_.push_back(std::move(psu));

    ses_element_type fans{ses_cooling, "Cooling Fans", {}};
    for (std::uint32_t i = 0; i < p.fans; ++i) {
        std::snprintf(buf, sizeof buf, "FAN %u", i + 1);
        auto e = make_element(status_ok, buf);
        const std::uint32_t speed = 800 + 10 * i;  // in 10 rpm units
        e.status[1] = static_cast<std::uint8_t>((speed >> 8) & 0x07);
        e.status[2] = static_cast<std::uint8_t>(speed);
        e.status[3] = 0x20 | 0x03;  // requested on, third lowest speed
        fans.elements.push_back(e);
    }
    types_.push_back(std::move(fans));

    ses_element_type temps{ses_temperature, "Temperature Sensors", {}};
    for (std::uint32_t i = 0; i < p.temperature_sensors; ++i) {
        if (i < 2)
            std::snprintf(buf, sizeof buf, "TEMP %s", iom_name(static_cast<int>(i)).c_str());
        else
            std::snprintf(buf, sizeof buf, "TEMP BP %u", i - 1);
        auto e = make_element(i < 2 && !iom_present(static_cast<int>(i)) ? status_not_installed : status_ok, buf);
        e.status[2] = static_cast<std::uint8_t>((i < 2 ? 38 : 27 + i) + 20);
        e.threshold = {65 + 20, 55 + 20, 10 + 20, 5 + 20};
        temps.elements.push_back(e);
    }
    types_.push_back(std::move(temps));

    if (p.door)
        types_.push_back({ses_door, "Enclosure Cover", {make_element(status_ok, "DOOR")}});
    else
        types_.push_back({ses_alarm, "Audible Alarm", {make_element(status_ok, "ALARM")}});

    ses_element_type esce{ses_esce, "Enclosure Services Controller Electronics", {}};
    for (int iom = 0; iom < 2; ++iom) {
        std::snprintf(buf, sizeof buf, "ESCE %s,%s-%s,H3,%s,%s", iom_name(iom).c_str(), spec_.serial.c_str(),
                      iom_name(iom).c_str(), hex16(iom_address(iom)).c_str(), spec_.oobm_version.c_str());
        auto e = make_element(iom_present(iom) ? status_ok : status_not_installed, buf);
        if (iom == std::max(attached_iom(), 0)) e.status[2] = 0x01;  // report
        esce.elements.push_back(e);
    }
    types_.push_back(std::move(esce));

    types_.push_back({ses_enclosure, "Enclosure", {make_element(status_ok, "ENCLOSURE")}});

    ses_element_type amps{ses_current, "Current Sensors", {}};
    for (const auto& row : p.current_sensors) {
        auto e = make_element(status_ok, row.name);
        put_be16(&e.status[2], row.value);
        e.threshold = {20, 10, 0, 0};
        amps.elements.push_back(e);
    }
    types_.push_back(std::move(amps));

    ses_element_type volts{ses_voltage, "Voltage Sensors", {}};
    for (const auto& row : p.voltage_sensors) {
        auto e = make_element(status_ok, row.name);
        put_be16(&e.status[2], row.value);
        e.threshold = {20, 10, 10, 20};
        volts.elements.push_back(e);
    }
    types_.push_back(std::move(volts));

    ses_element_type exps{ses_sas_expander, "SAS Expanders", {}};
    for (int iom = 0; iom < 2; ++iom) {
        if (p.single_always && iom == 1) break;
        for (std::uint32_t k = 0; k < p.expanders_per_iom; ++k) {
            std::snprintf(buf, sizeof buf, "EXP %s %u,%s,%s", iom_name(iom).c_str(), k, spec_.firmware.c_str(),
                          hex16(expander_address(iom, k)).c_str());
            exps.elements.push_back(make_element(iom_present(iom) ? status_ok : status_not_installed, buf));
        }
    }
    types_.push_back(std::move(exps));

    ses_element_type conns{ses_sas_connector, "SAS Connectors", {}};
    for (int iom = 0; iom < 2; ++iom) {
        if (p.single_always && iom == 1) break;
        for (std::uint32_t k = 0; k < p.connectors_per_iom; ++k) {
            std::snprintf(buf, sizeof buf, "CONN %s %u", iom_name(iom).c_str(), k);
            auto e = make_element(iom_present(iom) ? status_ok : status_not_installed, buf);
            e.status[1] = 0x05;  // Mini SAS HD 4x receptacle
            e.status[2] = 0xFF;  // connector physical link: all
            conns.elements.push_back(e);
        }
    }
    types_.push_back(std::move(conns));
}

void enclosure::apply_overrides() {
    for (const auto& o : spec_.elements) {
        auto* t = find_type(o.type);
        if (!t || o.index >= t->elements.size()) continue;  // checked when the description was read
        auto& e = t->elements[o.index];
        if (o.status && o.status->size() == 4) {
            std::copy(o.status->begin(), o.status->end(), e.status.begin());
            e.status_fixed = true;
        }
        if (o.descriptor) {
            e.text = *o.descriptor;
            e.text_fixed = true;
        }
    }
}

void enclosure::refresh_slot(std::uint32_t slot) {
    auto* t = find_type(ses_array_slot);
    if (!t || slot >= t->elements.size()) return;
    auto& e = t->elements[slot];
    const auto& drive = slots_[slot];
    char buf[96];
    const std::string serial = drive ? drive->serial : std::string{};
    if (spec_.multi_tenant)
        std::snprintf(buf, sizeof buf, "SLOT %c%03u,%s", slot < spec_.slots / 2 ? 'A' : 'B', slot, serial.c_str());
    else
        std::snprintf(buf, sizeof buf, "SLOT %03u,%s", slot, serial.c_str());
    if (!e.text_fixed) e.text = buf;
    if (!e.status_fixed) e.status = {drive ? status_ok : status_not_installed, 0, 0, 0};
}

void enclosure::seat(std::uint32_t slot, const slot_occupant& drive) {
    if (slot >= slots_.size()) return;
    slots_[slot] = drive;
    refresh_slot(slot);
}

const std::optional<slot_occupant>& enclosure::occupant(std::uint32_t slot) const {
    static const std::optional<slot_occupant> none;
    return slot < slots_.size() ? slots_[slot] : none;
}

std::optional<bytes> enclosure::diagnostic_page(std::uint8_t page) const {
    for (const auto& rp : profile_->receive_pages)
        if (rp.page == page) return rp.build(*this);
    return std::nullopt;
}

std::string enclosure::help_text() const {
    std::string t;
    t += "KORV ";
    t += profile_->description;
    t += " enclosure services\n";
    t += "Product:" + spec_.product_id + "\n";
    if (!profile_->vendor_pages) return t + "Serial:" + spec_.serial + "\n";
    t += "Serial:" + spec_.serial + "\n";
    t += "FwRev:" + running_firmware() + "\n";
    t += "OOBM:" + spec_.oobm_version + "\n";
    t += std::string("IOM:") + (spec_.dual_iom && !profile_->single_always ? "dual" : "single") + "\n";
    t += "|SES Status|\n";
    for (const auto& a : spec_.alerts) t += a.element + ":" + a.status + "\n";
    return t;
}

scsi_result enclosure::scsi(const scsi_command& cmd) {
    if (cmd.cdb.empty()) return invalid_opcode();
    if (scsi_result offline; answer_not_ready(cmd, offline)) return offline;
    switch (cmd.cdb[0]) {
    case 0x00: return {};  // TEST UNIT READY
    case 0x03: return good_data(fixed_sense(0, 0, 0), allocation_length(cmd), cmd);  // REQUEST SENSE
    case 0x12: return inquiry(cmd);
    case 0x1C: return receive_diagnostic(cmd);
    case 0x1D: return send_diagnostic(cmd);
    case 0x55: return mode_select10(cmd);
    case 0x5A: return mode_sense10(cmd);
    case 0xE6: return expander_log_command(*this, cmd);
    case 0xA0: {  // REPORT LUNS: LUN 0 only
        bytes d(16, 0);
        d[3] = 8;
        return good_data(std::move(d), allocation_length(cmd), cmd);
    }
    default: return invalid_opcode();
    }
}

scsi_result enclosure::inquiry(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    if (c.size() < 6) return invalid_field_in_cdb();
    const std::uint32_t alloc = allocation_length(cmd);
    if ((c[1] & 0x01) == 0) {
        if (c[2] != 0) return invalid_field_in_cdb();
        bytes d(96, 0);
        d[0] = 0x0D;
        d[2] = 0x06;  // SPC-4
        d[3] = 0x12;  // HiSup, response data format 2
        d[4] = static_cast<std::uint8_t>(d.size() - 5);
        d[6] = 0x40 | (spec_.dual_iom && !profile_->single_always ? 0x10 : 0x00);  // EncServ, MultiP
        d[7] = 0x02;  // CmdQue
        put_padded(&d[8], 8, spec_.vendor);
        put_padded(&d[16], 16, spec_.product_id);
        put_padded(&d[32], 4, revision_);
        return good_data(std::move(d), alloc, cmd);
    }
    const bool has_c1 = spec_.product_name.has_value() && !spec_.product_name->empty();
    bytes d(4, 0);
    d[0] = 0x0D;
    d[1] = c[2];
    switch (c[2]) {
    case 0x00:
        d.insert(d.end(), {0x00, 0x80, 0x83});
        if (has_c1) d.push_back(0xC1);
        break;
    case 0x80:
        d.insert(d.end(), spec_.serial.begin(), spec_.serial.end());
        break;
    case 0x83: {
        // The SES device the host reaches is the one in the IOM it is cabled
        // to: its logical unit name is that IOM's address (the enclosure's
        // base address when the IOM is unknown).
        bytes naa = {0x01, 0x03, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0};
        put_be64(&naa[4], attached_iom() >= 0 ? iom_address(attached_iom()) : spec_.sas_address);
        bytes port = {0x61, 0x93, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0};
        put_be64(&port[4], iom_address(std::max(attached_iom(), 0)));
        const bytes rel = {0x61, 0x94, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01};
        if (spec_.vpd83_t10_first) {
            bytes t10 = {0x02, 0x01, 0x00, 0x18};
            t10.resize(4 + 24, ' ');
            put_padded(&t10[4], 8, spec_.vendor);
            put_padded(&t10[12], 16, spec_.serial);
            d.insert(d.end(), t10.begin(), t10.end());
        }
        d.insert(d.end(), naa.begin(), naa.end());
        d.insert(d.end(), port.begin(), port.end());
        d.insert(d.end(), rel.begin(), rel.end());
        break;
    }
    case 0xC1: {
        if (!has_c1) return invalid_field_in_cdb();
        bytes body(28, 0);
        body[0] = 0x01;  // page version
        put_padded(&body[1], 11, *spec_.product_name, '\0');
        put_padded(&body[12], 16, spec_.serial, '\0');
        d.insert(d.end(), body.begin(), body.end());
        break;
    }
    default:
        return invalid_field_in_cdb();
    }
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    return good_data(std::move(d), alloc, cmd);
}

scsi_result enclosure::mode_sense10(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    if (c.size() < 10) return invalid_field_in_cdb();
    const std::uint8_t page = c[2] & 0x3F;
    const std::uint8_t control = c[2] >> 6;
    if (page == 0x23) return oobm_mode_sense(cmd);
    if ((page != 0x20 && page != 0x3F) || c[3] != 0) return invalid_field_in_cdb();
    bytes d(8 + 24, 0);
    std::uint8_t* pg = &d[8];
    pg[0] = 0x20;
    pg[1] = 22;
    if (control == 1) {
        pg[14] = 0x08;  // changeable: auto synchronization only
    } else {
        pg[2] = 0x01;   // page version
        if (control != 2 && state_.autosync) pg[14] = 0x08;  // auto synchronization on (default: off)
        if (!spec_.dual_iom || profile_->single_always) pg[15] |= 0x04;  // single IOM
    }
    put_be16(&d[0], static_cast<std::uint32_t>(d.size() - 2));
    return good_data(std::move(d), allocation_length(cmd), cmd);
}

scsi_result enclosure::receive_diagnostic(const scsi_command& cmd) const {
    const auto& c = cmd.cdb;
    if (c.size() < 6) return invalid_field_in_cdb();
    const std::uint8_t page = (c[1] & 0x01) ? c[2] : last_sent_page_;
    auto data = diagnostic_page(page);
    if (!data) return invalid_field_in_cdb();
    return good_data(std::move(*data), allocation_length(cmd), cmd);
}

scsi_result enclosure::send_diagnostic(const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (c.size() < 6) return invalid_field_in_cdb();
    const std::uint32_t length = enctl::be16(&c[3]);
    if (length == 0) return {};  // no page: the (default) self-test passes
    if (!(c[1] & 0x10) || cmd.data_out.size() < 4 || length > cmd.data_out.size())
        return invalid_field_in_cdb();
    const auto page = cmd.data_out.first(length);
    for (const auto& sp : profile_->send_pages) {
        if (sp.page != page[0]) continue;
        const std::uint32_t sense = sp.take(*this, page);
        if (sense) return check_condition(sense >> 16, (sense >> 8) & 0xFF, sense & 0xFF);
        last_sent_page_ = page[0];
        return {};
    }
    return invalid_field_in_parameters();
}

}  // namespace enctl::sim
