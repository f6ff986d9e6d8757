// Decoding of SES pages 01h, 07h and 0Ah into the slot table and the IOM
// address record.
#include "cmdx/cmdxses/ses_elements.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "basekit/bytes.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/text.h"

namespace enctl {
namespace {

constexpr std::size_t kTextWorkSize = 256;  // texts are cut to 255 characters

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Walks `count` element descriptors from `offset`, handing each text (up to
// its first NUL, cut to 255 characters) to `visit`. A descriptor that does
// not lie wholly inside the page ends the walk. `visit` returns false to stop.
template <typename Visit>
bool walk_descriptors(std::span<const std::uint8_t> page, std::size_t offset, std::uint32_t count,
                      Visit&& visit) {
    for (std::uint32_t n = 0; n < count; ++n) {
        if (offset + 4 > page.size()) break;
        const std::size_t length = be16(page.data() + offset + 2);
        if (offset + 4 + length > page.size()) break;
        const auto* text_start = reinterpret_cast<const char*>(page.data() + offset + 4);
        std::string_view text(text_start, length);
        text = text.substr(0, text.find('\0'));
        if (text.size() > kTextWorkSize - 1) text = text.substr(0, kTextWorkSize - 1);
        if (!visit(text)) return false;
        offset += 4 + length;
    }
    return true;
}

void parse_slot_text(std::string_view text, bool multi_tenant, std::span<slot_record> slots) {
    if (!text.starts_with("SLOT ")) return;
    const std::size_t skip = multi_tenant ? 6 : 5;
    if (text.size() < skip) return;
    const std::string_view rest = text.substr(skip);

    char field[kTextWorkSize];
    if (get_token(rest, 0, field, sizeof field) != 0) return;
    const std::string_view number = trim(field);
    if (number.empty() || number[0] < '0' || number[0] > '9') return;
    std::uint32_t slot = 0;
    for (char c : number) {
        if (c < '0' || c > '9') break;
        slot = slot * 10 + static_cast<std::uint32_t>(c - '0');
        if (slot >= slots.size()) return;  // out of the table: ignored
    }
    if (slot >= slots.size()) return;

    if (get_token(rest, 1, field, sizeof field) != 0) return;
    const std::string_view serial = trim(field);
    if (serial.empty()) return;
    set_text(slots[slot].serial, serial);
    make_printable(slots[slot].serial);  // printed by show handles
    slots[slot].connected = 1;
}

void format_sas_address(char (&out)[32], std::span<const std::uint8_t> bytes) {
    char text[17];
    for (std::size_t i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", bytes[i]);
    set_text(out, std::string_view(text, 16));
}

// A SAS address field of an ESCE or expander text into a 32-byte field:
// blanks around it (descriptor padding) are dropped; it must then fit in 31
// characters. On failure the field is left empty.
bool take_address_field(std::string_view text, int index, char* field) {
    constexpr std::size_t kFieldSize = 32;
    char work[kTextWorkSize];
    field[0] = '\0';
    if (get_token(text, index, work, sizeof work) != 0) return false;
    const std::string_view address = trim(work);
    if (address.size() > kFieldSize - 1) return false;
    set_text(field, kFieldSize, address);
    return true;
}

struct expander_row {
    std::string_view prefix;
    bool iom_b;
    int expander;
};

constexpr expander_row kExpanders[] = {
    {"EXP IOMA 0", false, 0}, {"EXP IOMA 1", false, 1}, {"EXP IOMA 2", false, 2},
    {"EXP IOMB 0", true, 0},  {"EXP IOMB 1", true, 1},  {"EXP IOMB 2", true, 2},
};

}  // namespace

int get_token(std::string_view text, int index, char* output, std::size_t output_size) {
    if (text.find(',') == std::string_view::npos || index < 0) return 1;
    std::string_view rest = text;
    for (int i = 0; i < index; ++i) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) return 1;
        rest.remove_prefix(comma + 1);
    }
    const std::string_view field = rest.substr(0, rest.find(','));
    if (!output || field.size() + 1 > output_size) return 1;
    std::memcpy(output, field.data(), field.size());
    output[field.size()] = '\0';
    return 0;
}

void build_element_type_table(std::span<const std::uint8_t> page1, element_type_table& table) {
    table = {};
    const std::span<const std::uint8_t> page = ses_page_extent(page1);
    if (page.size() < 12) return;
    const std::size_t headers = page[10];
    std::size_t offset = 12 + static_cast<std::size_t>(page[11]);
    for (std::size_t i = 0; i < headers && i < kElementTypeTableSize; ++i, offset += 4) {
        if (offset + 4 > page.size()) break;
        element_type_entry& entry = table.entries[table.count];
        entry.index = table.count;
        entry.element_type = page[offset];
        entry.possible_elements = page[offset + 1];
        if (entry.element_type == kElementArrayDeviceSlot) table.slot_index = entry.index;
        if (entry.element_type == kElementEsce) table.esce_index = entry.index;
        if (entry.element_type == kElementSasExpander) table.expander_index = entry.index;
        ++table.count;
    }
}

std::size_t get_element_start_offset(std::uint32_t element_type, std::span<const std::uint8_t> page7,
                                     const element_type_table& table) {
    std::uint32_t wanted = table.count;
    for (std::uint32_t i = 0; i < table.count; ++i) {
        if (table.entries[i].element_type == element_type) {
            wanted = i;
            break;
        }
    }
    if (wanted == table.count) return 0;

    // Each type is an overall descriptor followed by its element
    // descriptors; every descriptor is stepped over by its own length, so
    // texts of different lengths (and overall descriptors with a text) are
    // walked correctly.
    const std::span<const std::uint8_t> page = ses_page_extent(page7);
    std::size_t offset = 8;
    for (std::uint32_t i = 0; i < table.count; ++i) {
        if (offset + 4 > page.size()) return 0;
        const std::size_t elements_start = offset + 4 + be16(page.data() + offset + 2);
        if (i == wanted) return elements_start < page.size() ? elements_start : 0;
        offset = elements_start;
        for (std::uint32_t n = 0; n < table.entries[i].possible_elements; ++n) {
            if (offset + 4 > page.size()) return 0;
            offset += 4 + be16(page.data() + offset + 2);
        }
    }
    return 0;
}

int parse_element_descriptors(std::span<const std::uint8_t> page7, const element_type_table& table,
                              bool multi_tenant, iom_ignore ignore, iom_address_record& ioms,
                              std::span<slot_record> slots) {
    const std::span<const std::uint8_t> page = ses_page_extent(page7);
    auto walk_type = [&](std::uint32_t type, std::uint32_t count_index, auto&& visit) {
        if (table.count == 0) return true;
        const std::size_t start = get_element_start_offset(type, page, table);
        if (start == 0) return true;  // the type is absent
        return walk_descriptors(page, start, table.entries[count_index].possible_elements, visit);
    };

    walk_type(kElementArrayDeviceSlot, table.slot_index, [&](std::string_view text) {
        parse_slot_text(text, multi_tenant, slots);
        return true;
    });

    const std::string_view ignored = ignore == iom_ignore::iom_a   ? "ESCE IOMA"
                                     : ignore == iom_ignore::iom_b ? "ESCE IOMB"
                                                                   : std::string_view{};
    const bool ioms_ok = walk_type(kElementEsce, table.esce_index, [&](std::string_view text) {
        if (!ignored.empty() && text.starts_with(ignored)) return true;
        char* field = nullptr;
        if (text.starts_with("ESCE IOMA")) field = ioms.iom_a;
        else if (text.starts_with("ESCE IOMB")) field = ioms.iom_b;
        if (!field) return true;
        if (!take_address_field(text, 3, field)) {
            CONSOLE_PRINT(kVerbosityDebug, "ERROR parsing: %s\n", printable_text(text).c_str());
            return false;
        }
        return true;
    });
    if (!ioms_ok) return 1;

    walk_type(kElementSasExpander, table.expander_index, [&](std::string_view text) {
        for (const expander_row& row : kExpanders) {
            if (!text.starts_with(row.prefix)) continue;
            char* field = row.iom_b ? ioms.iom_b_expander[row.expander] : ioms.iom_a_expander[row.expander];
            take_address_field(text, 2, field);
            break;
        }
        return true;
    });
    return 0;
}

void parse_additional_element_status(std::span<const std::uint8_t> page_a, std::span<slot_record> slots) {
    const std::span<const std::uint8_t> page = ses_page_extent(page_a);
    // Without the element index (EIP clear) a device slot descriptor carries
    // no slot number: the descriptors of the slot elements come in element
    // order, so the n-th SAS descriptor of type 0 is slot n.
    std::size_t slot_ordinal = 0;
    std::size_t offset = 8;
    while (offset + 2 <= page.size()) {
        const std::size_t length = 2 + static_cast<std::size_t>(page[offset + 1]);
        if (offset + length > page.size()) break;
        const std::span<const std::uint8_t> descriptor = page.subspan(offset, length);
        offset += length;

        if ((descriptor[0] & 0x0F) != 6) continue;  // SAS only
        const bool eip = (descriptor[0] & 0x10) != 0;
        // Protocol-specific part: at byte 4 with EIP (number of phys, type,
        // reserved, device slot number, phys), at byte 2 without (number of
        // phys, type, phys).
        const std::size_t specific = eip ? 4 : 2;
        const std::size_t header = eip ? 4 : 2;
        if (specific + 2 > descriptor.size()) continue;
        const std::span<const std::uint8_t> sas = descriptor.subspan(specific);
        if ((sas[1] & 0xC0) != 0) continue;  // not a device slot descriptor
        std::size_t slot = slot_ordinal++;
        if (eip) {
            if (sas.size() < 4) continue;
            slot = sas[3];
        }
        // The first phy descriptor up to its SAS address (20 bytes).
        if (sas[0] == 0 || header + 20 > sas.size() || slot >= slots.size()) continue;
        const std::span<const std::uint8_t> phy = sas.subspan(header);
        format_sas_address(slots[slot].attached_sas_address, phy.subspan(4, 8));
        format_sas_address(slots[slot].drive_sas_address, phy.subspan(12, 8));
        // Phy descriptors are 28 bytes each.
        for (std::size_t n = 0; n < std::size(slots[slot].port_sas_address) && n < sas[0]; ++n) {
            const std::size_t at = header + 28 * n;
            if (at + 20 > sas.size()) break;
            format_sas_address(slots[slot].port_sas_address[n], sas.subspan(at + 12, 8));
        }
    }
}

char expander_digit(const slot_record& slot, const iom_address_record& ioms) {
    const std::string_view attached = text_of(slot.attached_sas_address);
    if (attached.empty()) return '?';
    auto matches = [&](int expander) {
        return attached == text_of(ioms.iom_a_expander[expander]) ||
               attached == text_of(ioms.iom_b_expander[expander]);
    };
    if (matches(1)) return '1';
    if (matches(2)) return '2';
    if (matches(0)) return '0';
    return '?';
}

}  // namespace enctl
