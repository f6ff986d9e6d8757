// A simulated enclosure: its SES processor as the host sees it through one
// IOM. Identity (INQUIRY, VPD 00h/80h/83h/C1h), mode page 20h, and the
// diagnostic pages of its product's page table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "basekit/clock.h"
#include "sim/device.h"
#include "sim/enclosure_firmware.h"
#include "sim/enclosure_logs.h"
#include "sim/enclosure_state.h"
#include "sim/lab_description.h"
#include "sim/products.h"

namespace enctl::sim {

// SES element type codes used by the lab.
enum element_code : std::uint8_t {
    ses_power_supply = 0x02,
    ses_cooling = 0x03,
    ses_temperature = 0x04,
    ses_door = 0x05,
    ses_alarm = 0x06,
    ses_esce = 0x07,
    ses_enclosure = 0x0E,
    ses_voltage = 0x12,
    ses_current = 0x13,
    ses_array_slot = 0x17,
    ses_sas_expander = 0x18,
    ses_sas_connector = 0x19,
};

struct ses_element {
    std::array<std::uint8_t, 4> status{};     // page 02h
    std::array<std::uint8_t, 4> threshold{};  // page 05h
    std::string text;                         // page 07h
    bool status_fixed = false;                // set by the lab description
    bool text_fixed = false;
};

struct ses_element_type {
    std::uint8_t code = 0;
    std::string type_text;  // page 01h type descriptor text
    std::vector<ses_element> elements;
};

// What sits in a drive slot, as page 07h and 0Ah report it.
struct slot_occupant {
    std::string serial;            // serial named by the slot descriptor
    std::uint64_t port_a = 0;      // SAS address of the drive's first port
    std::uint64_t port_b = 0;      // second port (0 for a single-ported drive)
    bool sata = false;
};

class enclosure final : public device {
public:
    explicit enclosure(const enclosure_spec& spec);

    scsi_result scsi(const scsi_command& cmd) override;

    const enclosure_spec& spec() const { return spec_; }
    const product_profile& profile() const { return *profile_; }
    const std::vector<ses_element_type>& types() const { return types_; }
    std::uint32_t generation() const { return generation_; }

    // Seats a drive in slot `slot` (no effect for a slot out of range).
    void seat(std::uint32_t slot, const slot_occupant& drive);
    const std::optional<slot_occupant>& occupant(std::uint32_t slot) const;

    // IOM 0 = A, 1 = B.
    bool iom_present(int iom) const;
    int attached_iom() const;  // 0 = A, 1 = B, -1 = unknown
    std::uint64_t iom_address(int iom) const;
    std::uint64_t expander_address(int iom, std::uint32_t expander) const;
    // Expander of an IOM a drive slot is cabled to.
    std::uint32_t slot_expander(std::uint32_t slot) const;

    // The diagnostic page `page` as the enclosure returns it, if it has one.
    std::optional<bytes> diagnostic_page(std::uint8_t page) const;
    std::string help_text() const;

    // What the enclosure remembers (settings, counters, logs, commands).
    enclosure_state& state() { return state_; }
    const enclosure_state& state() const { return state_; }

    // Expanders per IOM, and the phys of expander `expander` (0 the primary).
    std::uint32_t expander_count() const { return profile_->expanders_per_iom; }
    std::uint32_t phy_count(std::uint32_t expander) const;

    // The lab's clock (set by the lab; none: time stands at 0).
    void set_clock(virtual_clock_source* clock) { clock_ = clock; }
    std::uint64_t now_ms() const { return clock_ ? clock_->now_ms() : 0; }
    // The enclosure answers NOT READY for `ms` of lab time (after a reset of
    // the IOM the host is attached through).
    void go_offline(std::uint64_t ms) { state_.not_ready_until_ms = now_ms() + ms; }
    // The enclosure's real-time clock, microseconds since the epoch.
    std::uint64_t rtc_us() const;

    // Firmware (sim/enclosure_firmware.cpp): what each IOM runs and the page
    // 0Eh store.
    firmware_state& firmware() const { return firmware_; }
    // The revision the IOM the host reaches runs.
    const std::string& running_firmware() const;
    // IOM `iom` (0 A, 1 B) runs `revision` from now on.
    void run_firmware(int iom, const std::string& revision);
    // Where the reads of its logs stand (sim/enclosure_logs.h); reading a
    // log page moves it on.
    enclosure_log_state& logs() const { return logs_; }

private:
    scsi_result inquiry(const scsi_command& cmd) const;
    scsi_result mode_sense10(const scsi_command& cmd) const;
    // Mode pages 20h (auto synchronization) and 23h subpage 01h (OOBM),
    // NOT READY while offline: sim/enclosure_settings.cpp.
    scsi_result oobm_mode_sense(const scsi_command& cmd) const;
    scsi_result mode_select10(const scsi_command& cmd);
    bool answer_not_ready(const scsi_command& cmd, scsi_result& result);
    scsi_result receive_diagnostic(const scsi_command& cmd) const;
    scsi_result send_diagnostic(const scsi_command& cmd);
    void build_elements();
    void init_state();  // sim/enclosure_state.cpp
    void apply_overrides();
    void refresh_slot(std::uint32_t slot);
    ses_element_type* find_type(std::uint8_t code);

    enclosure_spec spec_;
    const product_profile* profile_;
    std::vector<ses_element_type> types_;
    std::vector<std::optional<slot_occupant>> slots_;
    std::uint32_t generation_ = 0;
    std::uint8_t last_sent_page_ = 0;  // page returned when PCV is clear
    enclosure_state state_;
    virtual_clock_source* clock_ = nullptr;
    std::string revision_;               // INQUIRY product revision
    mutable firmware_state firmware_;    // advances with lab time as it is read
    mutable enclosure_log_state logs_;
};

// Page builders of the product tables (sim/enclosure_pages.cpp).
bytes build_supported_pages(const enclosure& e);   // 00h
bytes build_configuration(const enclosure& e);     // 01h
bytes build_enclosure_status(const enclosure& e);  // 02h
bytes build_help_text(const enclosure& e);         // 03h
bytes build_string_in(const enclosure& e);         // 04h
bytes build_threshold_in(const enclosure& e);      // 05h
bytes build_element_descriptor(const enclosure& e);  // 07h
bytes build_additional_status(const enclosure& e);   // 0Ah
bytes build_nickname_status(const enclosure& e);     // 0Fh (sim/enclosure_settings.cpp)

// Pages taken with SEND DIAGNOSTIC (sim/enclosure_settings.cpp); each returns
// the sense as key << 16 | asc << 8 | ascq, 0 when taken.
std::uint32_t take_nickname_control(enclosure& e, std::span<const std::uint8_t> page);  // 0Fh
std::uint32_t take_time_stamp(enclosure& e, std::span<const std::uint8_t> page);        // EEh
std::uint32_t take_string_out(enclosure& e, std::span<const std::uint8_t> page);        // 04h

}  // namespace enctl::sim
