// The checks of the saved Enclosure Status page (02h) text. Element types are
// found by their header line; the elements of a type are walked by fixed line
// counts, those of sg_ses's rendering: T is the header line, D an element's
// "Element <i> descriptor:" line, whose next line holds "status: ".
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/report/check_frame.h"

namespace enctl {
namespace {

constexpr std::size_t kMaxWalk = 256;  // elements are walked for indexes 0 to 256
constexpr std::string_view kStatusKey = "status: ";

// The status text of the element whose block starts at line `d`; none when
// the line after it has no "status: ".
std::optional<std::string_view> status_of(const saved_text& page, std::size_t d) {
    return text_after(page.line(d + 1), kStatusKey);
}

bool starts_element(const saved_text& page, std::size_t d, std::size_t index) {
    return contains(page.line(d), element_key(index));
}

// Page 02h and the header line of `type` for a check of one element type;
// none after the paragraph of a missing file or type.
struct typed_page {
    saved_text page;
    std::size_t header;
};
std::optional<typed_page> read_type(report_stream& out, const health_context& context, std::string_view type) {
    auto page = read_page2(out, context);
    if (!page) return std::nullopt;
    const std::size_t header = find_type_header(*page, type);
    if (header == kNoLine) {
        format_error(out, context);
        return std::nullopt;
    }
    return typed_page{std::move(*page), header};
}

}  // namespace

void analyze_abnormal_conditions(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_abnormal_conditions", "Abnormal Conditions", index);
    const auto page = read_page2(out, context);
    if (!page) return;
    bool rows = false;
    for (const auto& type : context.elements.types) {
        const std::size_t header = find_type_header(*page, type.type_name);
        const auto block = header == kNoLine ? std::nullopt : count_overall_block_lines(*page, header);
        if (!block) {
            CONSOLE_PRINT(kVerbosityDebug, "ERROR: log content format in %s\n",
                          context.saved_file("ses", "page_02h").c_str());
            continue;
        }
        std::size_t d = block->element0_line;
        for (std::size_t i = 0; i < type.descriptors.size(); ++i, d += block->block_lines) {
            const auto status = status_of(*page, d);
            if (!starts_element(*page, d, i) || !status) break;
            if (!contains(*status, "Critical") && !contains(*status, "Noncritical") && !contains(*status, "Unknown") &&
                !contains(*status, "Unrecoverable") && !contains(*status, "No access allowed"))
                continue;
            if (!rows) {
                html_paragraph(out, "SES page 2 with status: Critical, Noncritical, Unknown, Unrecoverable, "
                                    "or No access allowed");
                html_table_begin(out);
                html_header_row(out, {"Type", "Name", "Index", "Status"});
                rows = true;
            }
            html_data_row(out, {type.type_name, cut_before(element_name(context, type.type_name, i), ','),
                                std::to_string(i), *status});
        }
    }
    if (rows)
        html_table_end(out);
    else
        html_paragraph(out, "No issues found in SES page 2");
}

void analyze_fan_speed(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_fan_speed", "Fan Speed", index);
    const auto typed = read_type(out, context, "Cooling");
    if (!typed) return;
    const saved_text& page = typed->page;
    html_paragraph(out, "Data from Cooling descriptor in SES page 2");
    html_table_begin(out);
    html_header_row(out, {"Name", "Status", "Speed", "Notes"});
    std::size_t d = typed->header + 5;
    for (std::size_t i = 0; i <= kMaxWalk && starts_element(page, d, i); ++i, d += 4) {
        const auto status = status_of(page, d);
        if (!status) {
            html_data_row(out, {std::to_string(i), "Not found", "N/A", "N/A"});
            continue;
        }
        std::string_view speed = "N/A", notes = "N/A";
        if (const auto rest = text_after(page.line(d + 3), "Actual speed=")) {
            // "8000 rpm, Fan at third lowest speed": the speed up to the comma,
            // the notes past its ", ".
            const std::size_t comma = rest->find(',');
            speed = comma == std::string_view::npos ? std::string_view{} : rest->substr(0, comma);
            notes = rest->substr(std::min(rest->size(), speed.size() + 2));
        }
        html_data_row(out, {element_name(context, "Cooling", i), *status, speed, notes});
    }
    html_table_end(out);
}

void analyze_temp_volt_power(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_temp_volt_power", "Temperature - Voltage - Current", index);
    const auto page = read_page2(out, context);
    if (!page) return;
    static const struct {
        std::string_view type;
        std::string_view value_key;
        std::size_t block_lines;
    } kinds[] = {{"Temperature sensor", "Temperature", 5}, {"Voltage sensor", "Voltage", 5}, {"Current sensor", "Current", 4}};
    bool rows = false;
    for (const auto& kind : kinds) {
        const std::size_t header = find_type_header(*page, kind.type);
        if (header == kNoLine) {
            CONSOLE_PRINT(kVerbosityDebug, "ERROR: log content format in %s\n",
                          context.saved_file("ses", "page_02h").c_str());
            continue;
        }
        std::size_t d = header + kind.block_lines + 1;
        for (std::size_t i = 0; i <= kMaxWalk; ++i, d += kind.block_lines) {
            const auto status = status_of(*page, d);
            if (!starts_element(*page, d, i) || !status) break;
            if (status->starts_with("OK")) continue;
            // "Temperature=38 C", "Voltage: 12.10 volts": the value starts one
            // character after the key.
            std::string_view value;
            if (const auto rest = text_after(page->line(d + kind.block_lines - 1), kind.value_key))
                value = rest->substr(std::min<std::size_t>(1, rest->size()));
            if (!rows) {
                html_paragraph(out, "Found status was not \"OK\" for the following elements on this page");
                html_table_begin(out);
                html_header_row(out, {"Name", "Index", "Status", "Value"});
                rows = true;
            }
            html_data_row(out, {element_name(context, kind.type, i), std::to_string(i), *status, value});
        }
    }
    if (rows)
        html_table_end(out);
    else
        html_paragraph(out, "No issues found in SES page 2");
}

void analyze_sas_connector(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_sas_connector", "SAS Connector", index);
    const auto typed = read_type(out, context, "SAS connector");
    if (!typed) return;
    const saved_text& page = typed->page;
    html_paragraph(out, "Data from SAS connector descriptor in SES page 2");
    html_table_begin(out);
    html_header_row(out, {"Name", "Index", "Status"});
    std::size_t d = typed->header + 5;
    for (std::size_t i = 0; i <= kMaxWalk && starts_element(page, d, i); ++i, d += 4) {
        if (const auto status = status_of(page, d))
            html_data_row(out, {element_name(context, "SAS connector", i), std::to_string(i), *status});
        else
            html_data_row(out, {std::to_string(i), "Status not found"});
    }
    html_table_end(out);
    if (!product_in(context, {kProductOpalRidge, kProductMtAlder})) return;

    const std::string path = context.saved_file("jbodlogs", "show_cable");
    const auto cable = saved_text::read(path);
    if (!cable) {
        html_paragraph(out, "ERROR: file not found=" + path);
        return;
    }
    html_line_break(out);
    html_paragraph(out, "Data from rcli \"show cable\"");
    html_table_begin(out);
    // "key: value" lines; a key runs to the next colon, over line ends when
    // a line has none. Text without a colon left ends the table.
    const std::string_view text = cable->text();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t colon = text.find(':', at);
        if (colon == std::string_view::npos) break;
        const std::string_view key = text.substr(at, colon - at).substr(0, kSavedLineLength);
        std::string_view value = saved_line(text.substr(colon + 1));  // past ": ", within the line
        value.remove_prefix(std::min<std::size_t>(1, value.size()));
        html_data_row(out, {key, value});
        const std::size_t line_end = text.find('\n', colon);
        if (line_end == std::string_view::npos || key.empty() || value.empty()) break;
        at = line_end + 1;
    }
    html_table_end(out);
}

void analyze_enclosure_cover(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_enclosure_cover", "Enclosure Cover", index);
    if (!product_in(context, {kProductOpalRidge, kProductMtAlder, kProductGarnetRidge})) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const auto typed = read_type(out, context, "Door");
    if (!typed) return;
    const saved_text& page = typed->page;
    html_paragraph(out, "Data from Door descriptor in SES page 2");
    html_table_begin(out);
    html_header_row(out, {"Element", "Status", "Open"});
    bool open = false;
    std::size_t d = typed->header + 4;
    for (std::size_t i = 0; i <= kMaxWalk && starts_element(page, d, i); ++i, d += 3) {
        const auto name = lookup_element_name(context.elements, "Door", i);
        const auto status = status_of(page, d);
        std::string_view open_text = "* Field not found *";
        if (const auto rest = text_after(page.line(d + 2), "Open=")) {
            const bool is_open = rest->empty() || rest->front() != '0';
            open_text = is_open ? "Yes" : "No";
            open = open || is_open;
        }
        html_data_row(out, {name.value_or("N/A"), status.value_or("* Field not found *"), open_text});
    }
    html_table_end(out);
    if (open) html_paragraph_red(out, "You must properly seat the enclosure door cover");
}

void analyze_element_temperature(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_element_temperature", "Element Temperature", index);
    if (!product_in(context, {kProductAmberRidge, kProductSlateRidge, kProductOpalRidge, kProductMtAlder,
                              kProductGarnetRidge})) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const auto page = read_page2(out, context);
    if (!page) return;
    html_paragraph(out, "Data from SES page 2 - Temperature sensor");
    const std::size_t header = find_type_header(*page, "Temperature sensor");
    if (header == kNoLine) {
        format_error(out, context);
        return;
    }
    html_table_begin(out);
    html_header_row(out, {"Name", "Index", "Status", "Value"});
    std::size_t d = header + 6;
    for (std::size_t i = 0; i <= kMaxWalk && starts_element(*page, d, i); ++i, d += 5) {
        const auto status = status_of(*page, d);
        if (!status) break;
        const auto value = text_after(page->line(d + 4), "Temperature=");
        html_data_row(out, {element_name(context, "Temperature sensor", i), std::to_string(i), *status,
                            value.value_or(std::string_view{})});
    }
    html_table_end(out);
}

void analyze_drive_off_state(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_drive_off_state", "Device Off State", index);
    const auto typed = read_type(out, context, "Array device slot");
    if (!typed) return;
    const saved_text& page = typed->page;
    bool rows = false;
    std::size_t d = typed->header + 9;
    for (std::size_t i = 0; i <= kMaxWalk; ++i, d += 8) {
        const auto status = status_of(page, d);
        if (!starts_element(page, d, i) || !status) break;
        // Only a slot whose status says "Not available" is looked at for its
        // device being off.
        if (!contains(*status, "Not available")) continue;
        const auto device_off = text_after(page.line(d + 6), "Device off=");
        if (!device_off) break;
        if (!device_off->starts_with("1")) continue;
        if (!rows) {
            html_paragraph(out, "Issues found from SES page 2 - Array device slot");
            html_table_begin(out);
            html_header_row(out, {"Name", "Index", "Status", "Device Off"});
            rows = true;
        }
        html_data_row(out, {cut_before(element_name(context, "Array device slot", i), ','), std::to_string(i),
                            *status, *device_off});
    }
    if (rows)
        html_table_end(out);
    else
        html_paragraph(out, "No issues found in SES page 2's device slot elements");
}

void analyze_low_voltage(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_low_voltage", "Low Line", index);
    if (!context.target.extended_support) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const auto typed = read_type(out, context, "Voltage sensor");
    if (!typed) return;
    const saved_text& page = typed->page;
    // The AC inputs of the two power supplies.
    std::size_t inputs[2] = {0, 2};
    if (context.target.product_code == kProductAmberRidge) {
        inputs[0] = 16;
        inputs[1] = 17;
    } else if (context.target.product_code == kProductSlateRidge) {
        inputs[0] = 2;
        inputs[1] = 5;
    }
    html_paragraph(out, "Checks for conditions where both PSUs have AC power, but may be running at 110VAC");
    html_paragraph(out, "This will cause the drives to become not accessible");
    html_line_break(out);
    html_table_begin(out);
    html_header_row(out, {"Name", "Index", "Critical Under", "Voltage"});
    // The walk is bounded by the element count of the ninth type of the
    // element table (the voltage sensors), 0 when there are fewer types.
    const std::size_t last = context.elements.types.size() > 8 ? context.elements.types[8].descriptors.size() : 0;
    unsigned low_line = 0, no_power = 0;
    std::size_t d = typed->header + 6;
    for (std::size_t i = 0; i <= last && starts_element(page, d, i); ++i, d += 5) {
        if (i != inputs[0] && i != inputs[1]) continue;
        const std::string_view name = element_name(context, "Voltage sensor", i);
        const auto status = status_of(page, d);
        if (!status) break;
        std::string_view critical_under = "No";
        if (contains(*status, "Critical")) {
            const auto flag = text_after(page.line(d + 3), "Crit Under=");
            if (flag && flag->starts_with("1")) critical_under = "Yes";
        }
        std::string_view voltage = "Not found";
        if (const auto rest = text_after(page.line(d + 4), "Voltage: ")) {
            voltage = *rest;
            const long volts = std::strtol(std::string(voltage).c_str(), nullptr, 10);
            if (volts < 100)
                ++no_power;
            else if (volts <= 120)
                ++low_line;
            CONSOLE_PRINT(kVerbosityDebug, "***voltage for %s %zu %s %u\n", std::string(name).c_str(), i,
                          std::string(voltage).c_str(), static_cast<unsigned>(volts));
        }
        html_data_row(out, {name, std::to_string(i), critical_under, voltage});
    }
    html_table_end(out);
    html_line_break(out);
    if (low_line == 1) {
        html_paragraph_red(out, "One of two PSUs is running low line 110 VAC");
        html_paragraph_red(out, "Please address this by plugging the PSU in question into 220 VAC");
    } else if (low_line >= 2) {
        html_paragraph_red(out, "Plug the power supplies into high line power (220 VAC)");
        html_paragraph_red(out, "Drives cannot function at this low voltage");
    } else if (no_power >= 1) {
        html_paragraph_red(out, "PSU(s) detected with no or insufficient power");
        html_paragraph_red(out, "Please address this by plugging the PSU in question into 220 VAC");
    } else {
        html_paragraph(out, "No issues found in SES page 2 - Voltage sensor");
    }
}

}  // namespace enctl
