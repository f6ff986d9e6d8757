// SES configuration (01h), element descriptor (07h) and additional element
// status (0Ah) pages decoded into the slot table and the IOM address record
// that show handles prints. Every decoder reads only the bytes it was given
// (the transferred part of the page), and never beyond the page's own length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {

inline constexpr std::size_t kSlotTableSize = 256;
inline constexpr std::size_t kElementTypeTableSize = 255;

struct element_type_entry {
    std::uint32_t index;
    std::uint32_t element_type;
    std::uint32_t possible_elements;
};

struct element_type_table {
    std::array<element_type_entry, kElementTypeTableSize> entries;
    std::uint32_t count;
    // Index of the last header of each type used (0 when absent).
    std::uint32_t slot_index;
    std::uint32_t esce_index;
    std::uint32_t expander_index;
};

struct slot_record {
    std::uint32_t connected;
    char serial[32];
    char capacity[32];
    char naa_identifier[32];
    char drive_sas_address[32];
    char attached_sas_address[32];
    char os_handle_name[128];
    // Page 0Ah: SAS ADDRESS of the first two phy descriptors (a dual-ported
    // drive's two target ports), which settle the pairing with a disk.
    char port_sas_address[2][32];
};

// Upper-case hex SAS addresses of the IOMs and their expanders.
struct iom_address_record {
    char iom_a[32];
    char iom_b[32];
    char iom_a_expander[3][32];
    char iom_b_expander[3][32];
};

// Which ESCE descriptors the IOM walk passes over.
enum class iom_ignore : std::uint8_t { none, iom_a, iom_b };

// Copies the index-th comma-separated field (from 0) of `text`. Returns 1 when
// the text has no comma at all, the index is negative, there are fewer
// fields, or the field does not fit in `output` with its terminator.
int get_token(std::string_view text, int index, char* output, std::size_t output_size);

// Builds the element type table from the transferred bytes of page 01h.
void build_element_type_table(std::span<const std::uint8_t> page1, element_type_table& table);

// Byte offset in page 07h of the first element descriptor of `element_type`,
// or 0 when the type is absent or the page (transferred bytes and its length
// field alike) ends first.
std::size_t get_element_start_offset(std::uint32_t element_type, std::span<const std::uint8_t> page7,
                                     const element_type_table& table);

// Decodes page 07h: slot serials, IOM and expander SAS addresses. Returns 1
// when an IOM address cannot be taken from its descriptor, else 0.
int parse_element_descriptors(std::span<const std::uint8_t> page7, const element_type_table& table,
                              bool multi_tenant, iom_ignore ignore, iom_address_record& ioms,
                              std::span<slot_record> slots);

// Decodes page 0Ah: the drive and attached SAS addresses of each slot.
void parse_additional_element_status(std::span<const std::uint8_t> page_a, std::span<slot_record> slots);

// The expander digit of a slot: '1', '2', '0', or '?' when no expander
// address equals the slot's attached address (an empty one never does).
char expander_digit(const slot_record& slot, const iom_address_record& ioms);

}  // namespace enctl
