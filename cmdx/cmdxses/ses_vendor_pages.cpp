// Decoders of the vendor contents of pages 03h, 04h and VPD C1h.
#include "cmdx/cmdxses/ses_vendor_pages.h"

#include <algorithm>
#include <string_view>

#include "basekit/bytes.h"
#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {

std::string firmware_from_page3(std::span<const std::uint8_t> page) {
    const std::span<const std::uint8_t> extent = ses_page_extent(page);
    if (extent.size() < 4) return "N/A";
    const std::string_view text(reinterpret_cast<const char*>(extent.data()) + 4, extent.size() - 4);
    constexpr std::string_view kMarker = "FwRev:";
    const std::size_t at = text.find(kMarker);
    if (at == std::string_view::npos) return "N/A";
    std::string_view value = text.substr(at + kMarker.size());
    const std::size_t end = value.find_first_of(std::string_view("\n\0", 2));
    // A value running into the end of a transfer that stopped before the page
    // length is incomplete: not taken.
    const bool transfer_cut = extent.size() < enctl::be16(page.data() + 2) + 4u;
    if (end == std::string_view::npos && transfer_cut) return "N/A";
    return std::string(value.substr(0, std::min(end, std::size_t{31})));
}

int iom_type_from_page4(std::span<const std::uint8_t> page) {
    if (page.size() <= 0x37) return kIomUnknown;
    if (page[0x36] == 0xAA && page[0x37] == 0xAA) return kIomA;
    if (page[0x36] == 0xBB && page[0x37] == 0xBB) return kIomB;
    return kIomUnknown;
}

std::string product_name_from_vpd_c1h(std::span<const std::uint8_t> page) {
    constexpr std::size_t kNameOffset = 5;
    constexpr std::size_t kNameLength = 11;
    if (page.size() < 4) return {};
    // The name field ends at byte 16 or at the page's end, whichever is
    // first; a transfer that stopped before that gives no name.
    const std::size_t field_end = std::min<std::size_t>(kNameOffset + kNameLength, enctl::be16(page.data() + 2) + 4u);
    if (page.size() < field_end || field_end <= kNameOffset) return {};
    const std::span<const std::uint8_t> field = page.subspan(kNameOffset, field_end - kNameOffset);
    const std::string name(field.begin(), field.end());
    return name.substr(0, name.find('\0'));
}

}  // namespace enctl
