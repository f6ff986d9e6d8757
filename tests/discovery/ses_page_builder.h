// Builders of SES diagnostic pages as an enclosure would return them, for the
// unit tests of the page decoders.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace enctl::testing {

using bytes = std::vector<std::uint8_t>;

inline void put_be16(bytes& page, std::size_t at, std::size_t value) {
    page[at] = static_cast<std::uint8_t>(value >> 8);
    page[at + 1] = static_cast<std::uint8_t>(value);
}

inline void finish_page(bytes& page) { put_be16(page, 2, page.size() - 4); }

// Configuration page 01h: one subenclosure with an enclosure descriptor of
// `descriptor_length` bytes and the given (type, possible elements) headers.
inline bytes config_page(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& types,
                         std::uint8_t descriptor_length = 36) {
    bytes page(8, 0);
    page[0] = 0x01;
    bytes descriptor(4 + descriptor_length, 0);
    descriptor[2] = static_cast<std::uint8_t>(types.size());
    descriptor[3] = descriptor_length;
    page.insert(page.end(), descriptor.begin(), descriptor.end());
    for (const auto& [type, count] : types) {
        page.insert(page.end(), {type, count, 0, 0});
    }
    finish_page(page);
    return page;
}

inline void append_descriptor(bytes& page, const std::string& text) {
    const std::size_t at = page.size();
    page.resize(at + 4 + text.size(), 0);
    put_be16(page, at + 2, text.size());
    for (std::size_t i = 0; i < text.size(); ++i) page[at + 4 + i] = static_cast<std::uint8_t>(text[i]);
}

// Element descriptor page 07h: per type an empty overall descriptor followed
// by one descriptor per text.
inline bytes element_descriptor_page(const std::vector<std::vector<std::string>>& types) {
    bytes page(8, 0);
    page[0] = 0x07;
    for (const auto& texts : types) {
        append_descriptor(page, "");
        for (const auto& text : texts) append_descriptor(page, text);
    }
    finish_page(page);
    return page;
}

// One SAS additional element status descriptor with one phy descriptor
// (`phys` only sets the count; `slot` is not written without EIP).
inline bytes sas_descriptor(std::uint8_t slot, std::uint64_t attached, std::uint64_t address, bool eip = true,
                            std::uint8_t phys = 1, std::uint8_t descriptor_type = 0) {
    bytes d;
    d.push_back(static_cast<std::uint8_t>(0x06 | (eip ? 0x10 : 0)));
    d.push_back(0);  // length, set below
    if (eip) {
        // Element index, then phys, type, reserved, device slot number.
        d.insert(d.end(), {0, slot, phys, static_cast<std::uint8_t>(descriptor_type << 6), 0, slot});
    } else {
        // No element index and no slot number: phys and type only.
        d.insert(d.end(), {phys, static_cast<std::uint8_t>(descriptor_type << 6)});
    }
    bytes phy(28, 0);
    for (int i = 0; i < 8; ++i) {
        phy[4 + i] = static_cast<std::uint8_t>(attached >> (56 - 8 * i));
        phy[12 + i] = static_cast<std::uint8_t>(address >> (56 - 8 * i));
    }
    d.insert(d.end(), phy.begin(), phy.end());
    d[1] = static_cast<std::uint8_t>(d.size() - 2);
    return d;
}

inline bytes additional_status_page(const std::vector<bytes>& descriptors) {
    bytes page(8, 0);
    page[0] = 0x0A;
    for (const auto& d : descriptors) page.insert(page.end(), d.begin(), d.end());
    finish_page(page);
    return page;
}

}  // namespace enctl::testing
