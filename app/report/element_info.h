// The element table of one enclosure, built from the saved Element Descriptor
// page (07h) text: the element types in page order, each with its descriptor
// texts. The checks name elements with it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/report/saved_text.h"

namespace enctl {

inline constexpr std::size_t kMaxElementTypes = 32;
inline constexpr std::size_t kMaxElementDescriptors = 256;
inline constexpr std::size_t kElementTypeNameLength = 63;
inline constexpr std::size_t kElementDescriptorLength = 255;

struct element_type_info {
    std::string type_name;                 // text between "Element type: " and the first ","
    std::vector<std::string> descriptors;  // descriptor texts, trimmed
};

struct element_info {
    std::vector<element_type_info> types;
};

// Fills `info` from "<log dir>/ses/page_07h_<encl>.txt". 0, or 1 when the
// file is missing (reported on the console; the table stays empty).
int initialize_element_info(element_info& info, std::string_view log_dir, std::string_view encl);
// The same from the page text itself.
void element_info_from_page7(element_info& info, const saved_text& page7);

// Descriptor `index` of the first type named exactly `type_name`; none when
// there is no such type or element.
std::optional<std::string_view> lookup_element_name(const element_info& info, std::string_view type_name,
                                                    std::size_t index);

// The block structure of one element type in the saved page 02h text: the
// line of "Element 0 descriptor:" and the number of lines m from the type's
// "Overall descriptor:" line to it (the length of every element's block).
struct overall_block {
    std::size_t element0_line = 0;
    std::size_t block_lines = 0;
};
// Looks from the type's header line to the next type's header; none when the
// type has no "Overall descriptor:" or no "Element 0 descriptor:" after it.
std::optional<overall_block> count_overall_block_lines(const saved_text& page2, std::size_t header_line);

// The header line "Element type: <type_name>, ..." of a type in a saved page
// text; kNoLine when absent. The name must be followed by its comma, so that
// "Enclosure" does not find "Enclosure services controller electronics".
std::size_t find_type_header(const saved_text& page, std::string_view type_name);

}  // namespace enctl
