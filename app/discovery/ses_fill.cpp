// Reading pages 01h, 07h and 0Ah from an enclosure into the slot table and
// the IOM address record, and pairing slots with the disks of the table.
#include "app/discovery/ses_fill.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

#include "app/discovery/discovery.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"

namespace enctl {
namespace {

constexpr std::size_t kElementPagesBufferSize = 16384;
constexpr std::size_t kAdditionalStatusBufferSize = 8192;

iom_ignore ignored_iom(vdx_dev& device, const enclosure_target* target) {
    if (!target) return iom_ignore::none;
    if (target->product_code == kProductGarnetRidge) return iom_ignore::iom_b;
    if (!target->single_iom && !target->multi_tenant) return iom_ignore::none;
    switch (get_iom_type(device)) {
        case kIomA:
            return iom_ignore::iom_b;
        case kIomB:
            return iom_ignore::iom_a;
        default:
            return iom_ignore::none;
    }
}

bool is_port_of(const slot_record& slot, std::string_view port) {
    if (port.empty()) return false;
    for (const auto& address : slot.port_sas_address)
        if (text_of(address) == port) return true;
    return false;
}

// Several records that are all one drive: paths to a drive share its logical
// unit name (a record without one counts as a drive of its own).
bool one_drive(const std::vector<const enclosure_target*>& records) {
    if (records.empty()) return false;
    const std::string_view name = text_of(records.front()->sas_address);
    return records.size() == 1 || (!name.empty() && std::all_of(records.begin(), records.end(), [&](const auto* r) {
                                       return text_of(r->sas_address) == name;
                                   }));
}

// The disk a slot names. Candidates are disks only (end-device records of
// devices that are not enclosure processors) on the enclosure's bus whose
// serial contains the slot's; an exact serial beats a containment. Several
// candidates are settled by the slot's page 0Ah port addresses against each
// disk's VPD 83h target port; what is still more than one drive (paths to one
// drive share its logical unit name) is left unpaired rather than guessed.
std::vector<const enclosure_target*> candidates(int bus, std::string_view serial, const disk_pairing& disks) {
    std::vector<const enclosure_target*> found;
    bool exact = false;
    const auto consider = [&](const disk_pairing::disk& d) {
        const enclosure_target* record = d.record;
        CONSOLE_PRINT(kVerbosityDebug, "***Compare [%u] %s bus=%d sn=%s sas=%s\n", d.index, record->os_name,
                      record->bus, record->serial, record->sas_address);
        if ((record->bus != bus && !d.behind_controller) || d.serial.find(serial) == std::string_view::npos) return;
        const bool is_exact = d.serial == serial;
        if (exact && !is_exact) return;
        if (is_exact && !exact) {
            found.clear();
            exact = true;
        }
        CONSOLE_PRINT(kVerbosityDebug, "***Match found [%u] %s bus=%d sn=%s sas=%s cap=%s\n", d.index,
                      record->os_name, record->bus, record->serial, record->sas_address, record->capacity);
        found.push_back(record);
    };
    // A debug run lists every comparison; otherwise only the disks whose
    // serial may contain the slot's are compared (the same ones match).
    if (g_console_verbosity >= kVerbosityDebug) {
        for (const disk_pairing::disk& d : disks.disks()) consider(d);
    } else {
        for (const std::uint32_t at : disks.may_contain(serial)) consider(disks.disks()[at]);
    }
    return found;
}

const enclosure_target* pair_slot_with_disk(int bus, const slot_record& slot, const disk_pairing& disks) {
    const std::string_view serial = text_of(slot.serial);
    if (serial.empty()) return nullptr;
    const std::vector<const enclosure_target*> found = candidates(bus, serial, disks);
    if (found.size() > 1) {
        std::vector<const enclosure_target*> by_port = found;
        std::erase_if(by_port, [&](const enclosure_target* r) { return !is_port_of(slot, text_of(r->target_port)); });
        if (one_drive(by_port)) return by_port.front();
        if (one_drive(found)) return found.front();
        CONSOLE_PRINT(kVerbosityDebug, "***Several disks match %s: left unpaired\n", slot.serial);
        return nullptr;
    }
    return found.empty() ? nullptr : found.front();
}

}  // namespace

int fill_from_page7(vdx_dev& device, iom_address_record& ioms, slot_record* slots, std::size_t size) {
    std::vector<std::uint8_t> buffer(kElementPagesBufferSize);
    vdx_error error{};
    ses_page page = ses_read_page(&error, &device, kSesPageConfiguration, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page 1\n");
        return 1;
    }
    element_type_table table;
    build_element_type_table(page.bytes, table);
    page = ses_read_page(&error, &device, kSesPageElementDescriptor, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page 7\n");
        return 1;
    }
    const enclosure_target* target = enclosure_of(device);
    const bool multi_tenant = target && target->multi_tenant;
    // The IOM type is asked only after page 07h is in the buffer; it reads
    // into its own buffer.
    const iom_ignore ignore = ignored_iom(device, target);
    return parse_element_descriptors(page.bytes, table, multi_tenant, ignore, ioms,
                                     std::span<slot_record>(slots, size));
}

int fill_from_page_a(vdx_dev& device, slot_record* slots, std::size_t size) {
    std::vector<std::uint8_t> buffer(kAdditionalStatusBufferSize);
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageAdditionalStatus, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page A\n");
        return 1;
    }
    parse_additional_element_status(page.bytes, std::span<slot_record>(slots, size));
    return 0;
}

disk_pairing::disk_pairing(const target_list& targets) {
    for (std::uint32_t i = 0; i < targets.count; ++i) {
        const enclosure_target* record = attached_record(targets[i], kEndDeviceTag);
        if (!record || targets[i].connection == kVdxConnectionEnclosure) continue;
        const auto at = static_cast<std::uint32_t>(disks_.size());
        const std::string_view serial = text_of(record->serial);
        disks_.push_back({i, record, serial, vdx_dev_is_adaptec(targets[i]) || vdx_dev_is_megaraid(targets[i])});
        for (std::size_t from = 0; from + kPiece <= serial.size(); ++from)
            pieces_.push_back({piece_text(serial.substr(from, kPiece)), at});
    }
    std::sort(pieces_.begin(), pieces_.end());
    pieces_.erase(std::unique(pieces_.begin(), pieces_.end()), pieces_.end());
}

std::uint32_t disk_pairing::piece_text(std::string_view four) {
    std::uint32_t text = 0;
    for (const char c : four) text = text << 8 | static_cast<unsigned char>(c);
    return text;
}

std::vector<std::uint32_t> disk_pairing::may_contain(std::string_view serial) const {
    std::vector<std::uint32_t> positions;
    if (serial.size() < kPiece) {
        positions.resize(disks_.size());
        for (std::uint32_t at = 0; at < positions.size(); ++at) positions[at] = at;
        return positions;
    }
    // A serial that contains `serial` contains each of its pieces: the
    // rarest piece's disks are the ones to compare.
    std::pair<std::vector<piece>::const_iterator, std::vector<piece>::const_iterator> fewest;
    bool first = true;
    for (std::size_t from = 0; from + kPiece <= serial.size(); ++from) {
        const std::uint32_t text = piece_text(serial.substr(from, kPiece));
        const auto range = std::equal_range(pieces_.begin(), pieces_.end(), piece{text, 0},
                                            [](const piece& a, const piece& b) { return a.text < b.text; });
        if (range.first == range.second) return positions;
        if (first || range.second - range.first < fewest.second - fewest.first) fewest = range;
        first = false;
    }
    for (auto it = fewest.first; it != fewest.second; ++it) positions.push_back(it->position);
    return positions;
}

int find_os_handle_name(int bus, slot_record& slot, const disk_pairing& disks) {
    CONSOLE_PRINT(kVerbosityDebug, "find_os_handle_name: ses_scsi_bus=%d sn=%s sas=%s\n", bus, slot.serial,
                  slot.drive_sas_address);
    const enclosure_target* match = pair_slot_with_disk(bus, slot, disks);
    if (!match) {
        if (slot.naa_identifier[0] == '\0') set_text(slot.naa_identifier, "                ");
        return 1;
    }
    set_text(slot.naa_identifier, text_of(match->sas_address));
    set_text(slot.os_handle_name, text_of(match->os_name));
    set_text(slot.capacity, text_of(match->capacity));
    return 0;
}

}  // namespace enctl
