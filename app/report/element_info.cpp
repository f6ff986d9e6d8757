#include "app/report/element_info.h"

#include "basekit/console.h"
#include "basekit/platform.h"

namespace enctl {
namespace {

constexpr std::string_view kTypeKey = "Element type: ";

std::string descriptor_key(std::size_t index, bool trailing_blank) {
    return "Element " + std::to_string(index) + (trailing_blank ? " descriptor: " : " descriptor:");
}

}  // namespace

void element_info_from_page7(element_info& info, const saved_text& page7) {
    info.types.clear();
    std::size_t position = 0;
    while (info.types.size() < kMaxElementTypes) {
        const std::size_t header = page7.find_line(kTypeKey, position);
        if (header == kNoLine) break;
        element_type_info type;
        const std::string_view rest = *text_after(page7.line(header), kTypeKey);
        if (contains(rest, ",")) type.type_name = cut_before(rest, ',').substr(0, kElementTypeNameLength);
        position = header + 2;  // past the "Overall descriptor:" line
        for (std::size_t j = 0; j < kMaxElementDescriptors; ++j) {
            const auto rest = text_after(page7.line(position), descriptor_key(j, true));
            if (!rest) break;
            type.descriptors.emplace_back(trimmed(rest->substr(0, kElementDescriptorLength)));
            ++position;
        }
        info.types.push_back(std::move(type));
    }
}

int initialize_element_info(element_info& info, std::string_view log_dir, std::string_view encl) {
    info.types.clear();
    const std::string path = std::string(log_dir) + kPathSeparator + "ses" + kPathSeparator + "page_07h_" +
                             std::string(encl) + ".txt";
    const auto page7 = saved_text::read(path);
    if (!page7) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Required file not found=%s\n", path.c_str());
        return 1;
    }
    element_info_from_page7(info, *page7);
    return 0;
}

std::optional<std::string_view> lookup_element_name(const element_info& info, std::string_view type_name,
                                                    std::size_t index) {
    for (const auto& type : info.types) {
        if (type.type_name != type_name) continue;
        if (index >= type.descriptors.size()) return std::nullopt;
        return type.descriptors[index];
    }
    return std::nullopt;
}

std::optional<overall_block> count_overall_block_lines(const saved_text& page2, std::size_t header_line) {
    std::size_t overall = kNoLine;
    const std::string element0 = descriptor_key(0, false);
    for (std::size_t i = header_line + 1; i < page2.line_count(); ++i) {
        const std::string_view line = page2.line(i);
        if (contains(line, kTypeKey)) break;  // the next type: this one has no block structure
        if (overall == kNoLine) {
            if (contains(line, "Overall descriptor:")) overall = i;
        } else if (contains(line, element0)) {
            return overall_block{i, i - overall};
        }
    }
    return std::nullopt;
}

std::size_t find_type_header(const saved_text& page, std::string_view type_name) {
    return page.find_line(std::string(kTypeKey) + std::string(type_name) + ",");
}

}  // namespace enctl
