// What every health check shares: its section (opened on construction,
// closed on every path), the product gates, and reading the saved page 02h
// text with the messages of a missing file or element type.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "app/report/health_checks.h"
#include "basekit/console.h"

namespace enctl {

class report_section {
public:
    report_section(report_stream& out, const char* check, std::string_view heading, unsigned index) : out_(out) {
        CONSOLE_PRINT(kVerbosityDebug, "%s\n", check);
        html_section_begin(out_, heading, index);
    }
    ~report_section() { html_section_end(out_); }
    report_section(const report_section&) = delete;
    report_section& operator=(const report_section&) = delete;

private:
    report_stream& out_;
};

inline bool product_in(const health_context& context, std::initializer_list<unsigned> codes) {
    for (unsigned code : codes)
        if (context.target.product_code == code) return true;
    return false;
}

inline constexpr std::string_view kNotSupported = "Not supported on this platform";

// The text "Element <i> descriptor:" that starts element i's block.
inline std::string element_key(std::size_t index) { return "Element " + std::to_string(index) + " descriptor:"; }

// The element's name from page 07h, empty when the table has none.
inline std::string_view element_name(const health_context& context, std::string_view type, std::size_t index) {
    return lookup_element_name(context.elements, type, index).value_or(std::string_view{});
}

// The saved page 02h text, or the paragraph of its missing file.
inline std::optional<saved_text> read_page2(report_stream& out, const health_context& context) {
    const std::string path = context.saved_file("ses", "page_02h");
    auto page = saved_text::read(path);
    if (!page) html_paragraph(out, "ERROR: file not found=" + path);
    return page;
}

inline void format_error(report_stream& out, const health_context& context) {
    html_paragraph(out, "ERROR: log content format in " + context.saved_file("ses", "page_02h"));
}

}  // namespace enctl
