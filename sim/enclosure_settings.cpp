// Settings the host changes on a simulated enclosure: the OOBM network blocks
// (mode page 23h subpage 01h), auto synchronization (mode page 20h byte 14),
// the nickname (page 0Fh), the clock (page EEh) and the resets of String Out
// page 04h, with the NOT READY time that follows a reset of the IOM the host
// is attached through.
#include <algorithm>

#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

constexpr std::uint32_t kInvalidFieldInParameters = 0x052600;  // ILLEGAL REQUEST, 26h/00h
constexpr std::uint8_t kOobmPage = 0x23;
constexpr std::uint8_t kOobmSubpage = 0x01;
constexpr std::uint8_t kAutosyncPage = 0x20;
constexpr std::uint8_t kAutosyncOn = 0x08;
// How long the enclosure is away after a reset, and what each command that
// finds it away costs, in lab time: four commands are refused, then it is back.
constexpr std::uint64_t kOfflineMs = 2000;
constexpr std::uint64_t kNotReadyAnswerMs = 500;

scsi_result with_sense(std::uint32_t sense) { return check_condition(sense >> 16, (sense >> 8) & 0xFF, sense & 0xFF); }

bool has_oobm_page(const enclosure& e) { return e.spec().product >= 5; }

void put_block(std::uint8_t* at, const oobm_block& b) {
    at[0] = b.mode;
    std::copy(b.ip.begin(), b.ip.end(), at + 4);
    std::copy(b.netmask.begin(), b.netmask.end(), at + 8);
    std::copy(b.gateway.begin(), b.gateway.end(), at + 12);
}

// MODE SELECT of page 23h: one IOM's block, selected by byte 12.
std::uint32_t select_oobm(enclosure& e, std::span<const std::uint8_t> list) {
    if (!has_oobm_page(e) || list.size() < 32 || list[8] != (0x40 | kOobmPage) || list[9] != kOobmSubpage)
        return kInvalidFieldInParameters;
    const std::uint8_t iom = list[12];
    if ((iom != 1 && iom != 2) || list[16] > 1 || !e.iom_present(iom - 1)) return kInvalidFieldInParameters;
    oobm_block& b = e.state().oobm[iom - 1u];
    b.mode = list[16];
    std::copy_n(&list[20], 4, b.ip.begin());
    std::copy_n(&list[24], 4, b.netmask.begin());
    std::copy_n(&list[28], 4, b.gateway.begin());
    return 0;
}

// MODE SELECT of page 20h: byte 14 of the page (byte 22 of the list) is the
// only changeable field; the host sends the page back as it read it.
std::uint32_t select_autosync(enclosure& e, std::span<const std::uint8_t> list) {
    if (list.size() < 23 || (list[22] & ~kAutosyncOn) != 0) return kInvalidFieldInParameters;
    e.state().autosync = list[22] == kAutosyncOn;
    return 0;
}

}  // namespace

bool enclosure::answer_not_ready(const scsi_command& cmd, scsi_result& result) {
    const std::uint8_t opcode = cmd.cdb[0];
    if (now_ms() >= state_.not_ready_until_ms || opcode == 0x12 || opcode == 0x03) return false;
    if (clock_) clock_->advance_ms(kNotReadyAnswerMs);
    result = check_condition(0x02, 0x04, 0x01);  // NOT READY, becoming ready
    return true;
}

scsi_result enclosure::oobm_mode_sense(const scsi_command& cmd) const {
    if (!has_oobm_page(*this) || cmd.cdb[3] != kOobmSubpage) return invalid_field_in_cdb();
    bytes d(48, 0);
    put_be16(&d[0], static_cast<std::uint32_t>(d.size() - 2));
    d[8] = 0x40 | kOobmPage;
    d[9] = kOobmSubpage;
    put_be16(&d[10], static_cast<std::uint32_t>(d.size() - 12));
    if ((cmd.cdb[2] >> 6) != 1) {  // changeable values: none reported
        put_block(&d[16], state_.oobm[0]);
        put_block(&d[32], state_.oobm[1]);
    }
    return good_data(std::move(d), allocation_length(cmd), cmd);
}

scsi_result enclosure::mode_select10(const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (c.size() < 10 || !(c[1] & 0x10)) return invalid_field_in_cdb();  // PF required
    const std::uint32_t length = be16(&c[7]);
    if (length > cmd.data_out.size()) return invalid_field_in_cdb();
    const auto list = cmd.data_out.first(length);
    if (list.size() < 10) return with_sense(kInvalidFieldInParameters);
    const std::uint8_t page = list[8] & 0x3F;
    const std::uint32_t sense = page == kOobmPage       ? select_oobm(*this, list)
                                : page == kAutosyncPage ? select_autosync(*this, list)
                                                        : kInvalidFieldInParameters;
    return sense ? with_sense(sense) : scsi_result{};
}

bytes build_nickname_status(const enclosure& e) {
    bytes d(48, 0);
    d[0] = 0x0F;
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    put_be32(&d[4], e.generation());
    // One descriptor: subenclosure 0, status 00h (no errors), language "en".
    d[14] = 'e';
    d[15] = 'n';
    std::copy(e.state().nickname.begin(), e.state().nickname.end(), d.begin() + 16);
    return d;
}

std::uint32_t take_nickname_control(enclosure& e, std::span<const std::uint8_t> page) {
    if (page.size() < 40 || page[1] != 0 || be32(&page[4]) != e.generation()) return kInvalidFieldInParameters;
    std::copy_n(&page[8], 32, e.state().nickname.begin());
    return 0;
}

std::uint32_t take_time_stamp(enclosure& e, std::span<const std::uint8_t> page) {
    if (page.size() < 16 || be16(&page[2]) < 0x0A) return kInvalidFieldInParameters;
    e.state().rtc_us = std::uint64_t{be32(&page[12])} * 1000000;
    e.state().rtc_set_at_ms = e.now_ms();
    return 0;
}

// String Out page 04h. Zoning (byte 4 60h/61h): sim/enclosure_firmware.cpp.
// Resets: byte 4 02h; with a page length of 4 and byte 6 01h byte 7 selects
// the IOM (00h A, 01h B, C0h the host's, F0h its partner; other selectors are
// counted as sent), else the whole enclosure (also the short 6-byte form). An
// IOM that restarts runs the stored firmware image, if there is one, and
// takes the lab-set restart time for it.
std::uint32_t take_string_out(enclosure& e, std::span<const std::uint8_t> page) {
    if (page.size() >= 6 && is_zoning_control(page)) return take_zoning_control(e, page);
    if (page.size() < 6 || page[4] != 0x02) return kInvalidFieldInParameters;
    enclosure_state& s = e.state();
    if (be16(&page[2]) >= 4 && page.size() >= 8 && page[6] == 0x01) {
        const std::uint8_t selector = page[7];
        const int iom = reset_selector_iom(e, selector);
        if (iom >= 0 && !e.iom_present(iom)) return kInvalidFieldInParameters;
        ++s.iom_resets[selector];
        if (iom < 0) return 0;
        const bool updated = restart_on_stored_image(e, iom);
        if (iom == std::max(e.attached_iom(), 0))
            e.go_offline(updated ? e.firmware().store.settings().restart_ms : kOfflineMs);
        return 0;
    }
    ++s.enclosure_resets;
    e.go_offline(kOfflineMs);
    return 0;
}

}  // namespace enctl::sim
