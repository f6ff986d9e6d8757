// Decoders of the identification pages read during discovery.
#include "app/discovery/discovery_pages.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace enctl {

std::string firmware_from_page3(std::span<const std::uint8_t> page) {
    if (page.size() < 4) return "N/A";
    const std::size_t declared = ((static_cast<std::size_t>(page[2]) << 8) | page[3]) + 4;
    const std::size_t end = std::min(page.size(), declared);
    const std::string_view text(reinterpret_cast<const char*>(page.data()) + 4, end - 4);
    constexpr std::string_view kMarker = "FwRev:";
    const std::size_t at = text.find(kMarker);
    if (at == std::string_view::npos) return "N/A";
    std::string_view value = text.substr(at + kMarker.size());
    value = value.substr(0, std::min(value.find_first_of(std::string_view("\n\0", 2)), std::size_t{31}));
    return std::string(value);
}

int iom_type_from_page4(std::span<const std::uint8_t> page) {
    if (page.size() <= 0x37) return kIomUnknown;
    if (page[0x36] == 0xAA && page[0x37] == 0xAA) return kIomA;
    if (page[0x36] == 0xBB && page[0x37] == 0xBB) return kIomB;
    return kIomUnknown;
}

std::string sas_address_from_vpd83(std::span<const std::uint8_t> page) {
    if (page.size() < 4 || page[1] != 0x83 || page[3] <= 4) return {};
    const std::size_t end = std::min(page.size(), static_cast<std::size_t>(page[3]) + 4);
    std::size_t offset = 4;
    while (offset + 4 <= end) {
        const std::size_t length = page[offset + 3];
        if (page[offset] == 0x01 && page[offset + 1] == 0x03) {
            if (length < 8 || offset + 4 + 8 > end) return {};
            char text[17];
            for (std::size_t i = 0; i < 8; ++i) {
                std::snprintf(text + 2 * i, 3, "%02X", page[offset + 4 + i]);
            }
            return std::string(text, 16);
        }
        offset += 4 + length;
    }
    return {};
}

std::string capacity_in_gigabytes(std::uint64_t last_lba, std::uint32_t block_length) {
    const std::uint64_t gigabytes = (last_lba * block_length + 500) / 1000000000ULL;
    char text[24];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(gigabytes));
    return text;
}

}  // namespace enctl
