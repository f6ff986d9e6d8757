#include "app/report/html_writer.h"

#include <cstdio>

namespace enctl {
namespace {

constexpr int kSectionIndent = 8;
constexpr int kContentIndent = 12;
constexpr int kRowIndent = 16;
constexpr int kCellIndent = 20;

void begin_fragment(report_stream& out, int indent) {
    out += '\n';
    html_indent(out, indent);
}

void cells(report_stream& out, std::initializer_list<std::string_view> texts, std::string_view open,
           std::string_view close) {
    begin_fragment(out, kRowIndent);
    out += "<tr>";
    for (std::string_view text : texts) {
        begin_fragment(out, kCellIndent);
        out += open;
        out += html_escape(text);
        out += close;
    }
    begin_fragment(out, kRowIndent);
    out += "</tr>";
}

}  // namespace

std::string html_escape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>') {
            escaped += "&gt;";
        } else if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F) {
            char visible[8];
            std::snprintf(visible, sizeof visible, "\\x%02X", byte);
            escaped += visible;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void html_indent(report_stream& out, int count) {
    if (count > 0) out.append(static_cast<std::size_t>(count), ' ');
}

void html_section_begin(report_stream& out, std::string_view title, unsigned index) {
    begin_fragment(out, kSectionIndent);
    out += "<div id=\"title_" + std::to_string(index) + "-content\" class=\"content" +
           (index == 0 ? " selected-content\">" : "\">");
    begin_fragment(out, kContentIndent);
    out += "<h1>" + html_escape(title) + "</h1>";
}

void html_section_end(report_stream& out) {
    begin_fragment(out, kSectionIndent);
    out += "</div>";
}

void html_line_break(report_stream& out) {
    begin_fragment(out, kContentIndent);
    out += "<br>";
}

void html_paragraph(report_stream& out, std::string_view text) {
    begin_fragment(out, kContentIndent);
    out += "<p>" + html_escape(text) + "</p>";
}

void html_paragraph_red(report_stream& out, std::string_view text) {
    begin_fragment(out, kContentIndent);
    out += "<p style=\"color:red;\">" + html_escape(text) + "</p>";
}

void html_table_begin(report_stream& out) {
    begin_fragment(out, kContentIndent);
    out += "<div class='table-container'>";
    begin_fragment(out, kContentIndent);
    out += "<table>";
}

void html_table_end(report_stream& out) {
    begin_fragment(out, kContentIndent);
    out += "</table>";
    begin_fragment(out, kContentIndent);
    out += "</div>";
}

void html_header_row(report_stream& out, std::initializer_list<std::string_view> texts) {
    cells(out, texts, "<th style=\"background-color:#D8D8D8\">", "</th>");
}

void html_data_row(report_stream& out, std::initializer_list<std::string_view> texts) {
    cells(out, texts, "<td>", "</td>");
}

void html_tab_title(report_stream& out, std::string_view title, unsigned index) {
    begin_fragment(out, kRowIndent);
    if (index == 0)
        out += "<li onclick=\"selectLink(this)\" id=\"title_0\" class=\"selected\">";
    else
        out += "<li onclick=\"selectLink(this)\" id=\"title_" + std::to_string(index) + "\">";
    out += html_escape(title) + "</li>";
}

}  // namespace enctl
