// The slot table and the IOM address record of an enclosure, read from its
// pages 01h, 07h and 0Ah, and the pairing of slots with the disks of the
// device table (show handles).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/discovery/target_list.h"
#include "cmdx/cmdxses/ses_elements.h"

namespace enctl {

// Reads pages 01h and 07h of the enclosure and fills the IOM address record
// and the slot table. 0, or 1 (message printed) when a page cannot be read.
int fill_from_page7(vdx_dev& device, iom_address_record& ioms, slot_record* slots, std::size_t size);
// Reads page 0Ah and fills the SAS addresses of the slot table. 0 or 1.
int fill_from_page_a(vdx_dev& device, slot_record* slots, std::size_t size);

// The disks of a device table that slots can pair with (end-device records of
// devices that are not enclosure processors), gathered once for a listing, in
// table order, with an index of the 4-character pieces of their serials so
// that the disks whose serial contains a slot's are found without a walk of
// the whole table. It points into the table, which must outlive it unchanged.
class disk_pairing {
public:
    explicit disk_pairing(const target_list& targets);

    struct disk {
        std::uint32_t index;  // in the device table
        const enclosure_target* record;
        std::string_view serial;
        bool behind_controller;  // a RAID library's drive: no host bus to compare
    };
    const std::vector<disk>& disks() const { return disks_; }
    // Positions in disks(), ascending, of a superset of the disks whose serial
    // contains `serial`; none when no serial can contain it, or all the disks
    // when `serial` is too short to look up.
    std::vector<std::uint32_t> may_contain(std::string_view serial) const;

private:
    static constexpr std::size_t kPiece = 4;
    struct piece {
        std::uint32_t text;      // the four characters
        std::uint32_t position;  // in disks_
        auto operator<=>(const piece&) const = default;
    };
    static std::uint32_t piece_text(std::string_view four);
    std::vector<disk> disks_;
    std::vector<piece> pieces_;  // sorted: by text, then position
};

// Pairs a slot with a disk of the table on the same bus whose serial contains
// the slot's; 0 when a disk matched, else 1.
int find_os_handle_name(int bus, slot_record& slot, const disk_pairing& disks);

}  // namespace enctl
