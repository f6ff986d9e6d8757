// The writer of the health report's fragments. Each routine appends one
// fragment to the report stream: a newline, an indentation of blanks (8 for
// sections, 12 for section content, 16 for table rows and tab items, 20 for
// cells) and the fragment. Every text a routine inserts is HTML-escaped:
// element names, statuses and command-line output come from the enclosure
// and are shown as text, never taken as markup.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace enctl {

// The report under construction (the fragments in document order).
using report_stream = std::string;

// `text` with "&", "<" and ">" as entities and every control character but
// tab, LF and CR as the visible text "\xNN".
std::string html_escape(std::string_view text);

void html_indent(report_stream& out, int count);
void html_section_begin(report_stream& out, std::string_view title, unsigned index);
void html_section_end(report_stream& out);
void html_line_break(report_stream& out);
void html_paragraph(report_stream& out, std::string_view text);
void html_paragraph_red(report_stream& out, std::string_view text);
void html_table_begin(report_stream& out);
void html_table_end(report_stream& out);
// A row of 2, 3 or 4 header or data cells.
void html_header_row(report_stream& out, std::initializer_list<std::string_view> texts);
void html_data_row(report_stream& out, std::initializer_list<std::string_view> texts);
void html_tab_title(report_stream& out, std::string_view title, unsigned index);

}  // namespace enctl
