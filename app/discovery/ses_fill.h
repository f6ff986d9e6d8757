// The slot table and the IOM address record of an enclosure, read from its
// pages 01h, 07h and 0Ah, and the pairing of slots with the disks of the
// device table (show handles).
#pragma once

#include <cstddef>

#include "app/discovery/target_list.h"
#include "cmdx/cmdxses/ses_elements.h"

namespace enctl {

// Reads pages 01h and 07h of the enclosure and fills the IOM address record
// and the slot table. 0, or 1 (message printed) when a page cannot be read.
int fill_from_page7(vdx_dev& device, iom_address_record& ioms, slot_record* slots, std::size_t size);
// Reads page 0Ah and fills the SAS addresses of the slot table. 0 or 1.
int fill_from_page_a(vdx_dev& device, slot_record* slots, std::size_t size);

// Pairs a slot with a disk of the table on the same bus whose serial contains
// the slot's; 0 when a disk matched, else 1.
int find_os_handle_name(int bus, slot_record& slot, const target_list& targets);

}  // namespace enctl
