// Decoders of what this enclosure family puts into standard pages: the
// firmware revision in the help text page (03h), the IOM the host reaches in
// String In (04h) and the product name in VPD page C1h. Each reads only the
// bytes it is given.
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
// and ends at the page length or the transferred bytes, whichever is first.
std::string firmware_from_page3(std::span<const std::uint8_t> page);

// 1 when bytes 36h and 37h are both AAh, 2 when both BBh, else 0 (also when
// they were not transferred).
int iom_type_from_page4(std::span<const std::uint8_t> page);

// The product name of VPD page C1h: the 11 bytes from byte 5 (fewer when the
// page length ends earlier), cut at the first NUL; empty when the transfer
// stopped before the end of that field.
std::string product_name_from_vpd_c1h(std::span<const std::uint8_t> page);

}  // namespace enctl
