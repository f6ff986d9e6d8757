// Decoders of the pages that discovery reads from enclosures and disks:
// the firmware revision in SES page 03h, the IOM the host reaches (String In
// page 04h), the NAA SAS address in VPD page 83h and the capacity from READ
// CAPACITY(16). Each reads only the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace enctl {

// IOM through which the host reaches the enclosure.
inline constexpr int kIomUnknown = 0;
inline constexpr int kIomA = 1;
inline constexpr int kIomB = 2;

// The text after "FwRev:" in page 03h up to the next line feed (at most 31
// characters); "N/A" when "FwRev:" is absent. The page text starts at byte 4
// and ends at the page length or the received bytes, whichever is first.
std::string firmware_from_page3(std::span<const std::uint8_t> page);

// 1 when bytes 36h and 37h are both AAh, 2 when both BBh, else 0.
int iom_type_from_page4(std::span<const std::uint8_t> page);

// The first NAA designator of logical-unit association (bytes 01h, 03h) as 16
// upper-case hex digits; empty when there is none or the page is not 83h.
std::string sas_address_from_vpd83(std::span<const std::uint8_t> page);

// (last logical block address * logical block length + 500) / 10^9, as the
// decimal text of the whole gigabytes.
std::string capacity_in_gigabytes(std::uint64_t last_lba, std::uint32_t block_length);

}  // namespace enctl
