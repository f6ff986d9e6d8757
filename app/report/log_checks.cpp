// The checks of the platform facts, the page 03h alerts, the command-line
// captures ("show drives", "zonecfg"), the version consistency of the
// expanders and the IOMs' out-of-band management (from the element table)
// and the versions of the sg3_utils tools.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/report/check_frame.h"
#include "app/version.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace enctl {
namespace {

// A missing file of these checks: the message ends with a newline.
void file_not_found(report_stream& out, const std::string& path) {
    html_paragraph(out, "ERROR: file not found=" + path + "\n");
}

// The next token of `text` from `at`: delimiters at its start are skipped,
// it ends before the next delimiter (or at the end of the text).
std::optional<std::string_view> next_token(std::string_view text, std::size_t& at, char delimiter) {
    const std::size_t start = text.find_first_not_of(delimiter, at);
    if (start == std::string_view::npos) {
        at = text.size();
        return std::nullopt;
    }
    const std::size_t end = std::min(text.find(delimiter, start), text.size());
    at = end < text.size() ? end + 1 : end;
    return text.substr(start, end - start);
}

// The IOM whose descriptors the version checks leave out: the one the host
// is not attached through.
std::string ignored_iom(const health_context& context, const char* check) {
    const int iom_type = context.iom_type ? context.iom_type() : 0;
    const std::string ignore = iom_type == 1 ? "IOMB" : iom_type == 2 ? "IOMA" : "";
    CONSOLE_PRINT(kVerbosityDebug, "*** %s iomtype=%u ignore_iom=%s\n", check, static_cast<unsigned>(iom_type),
                  ignore.c_str());
    return ignore;
}

bool is_ignored(std::string_view descriptor, const std::string& ignore) {
    return !ignore.empty() && contains(descriptor, ignore);
}

const element_type_info* find_element_type(const element_info& info, std::string_view name, bool exact) {
    for (const auto& type : info.types)
        if (exact ? type.type_name == name : contains(type.type_name, name)) return &type;
    return nullptr;
}

}  // namespace

int expander_version_from_descriptor(std::string_view descriptor, std::string& version) {
    version.clear();
    if (contains(descriptor, ",")) {
        const std::string_view rest = descriptor.substr(descriptor.find(',') + 1);
        if (contains(rest, ",")) version = cut_before(rest, ',');
        return 0;
    }
    if (!contains(descriptor, "EXP ") || descriptor.size() < 5) return 1;
    const std::size_t digit = descriptor.find_first_of("0123456789", 4);
    if (digit == std::string_view::npos) return 1;
    const std::size_t blank = descriptor.find(' ', digit);
    if (blank != std::string_view::npos) version = descriptor.substr(digit, blank - digit);
    return 0;
}

void analyze_platform_info(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_platform_info", "Platform Information", index);
    html_table_begin(out);
    html_header_row(out, {"Type", "Value"});
    html_data_row(out, {"Device handle", context.device_name});
    html_data_row(out, {"Product", text_of(context.target.product_id)});
    html_data_row(out, {"Serial", text_of(context.target.serial)});
    html_data_row(out, {"Firmware", text_of(context.target.firmware)});
    html_data_row(out, {"Name", text_of(context.target.description)});
    html_data_row(out, {"enctl", kEnctlVersion});
    html_table_end(out);
}

void analyze_alerts_ses_3(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_alerts_ses_3", "Alerts - SES Page 3", index);
    if (!context.target.extended_support) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const std::string path = context.saved_file("ses", "page_03h");
    const auto page = saved_text::read(path);
    if (!page) {
        file_not_found(out, path);
        return;
    }
    const std::size_t marker = page->find_line("|SES Status|");
    if (marker == kNoLine) {
        html_paragraph(out, "ERROR: log content format in " + path);
        return;
    }
    // "<element>:<status>" pairs after the marker's line.
    bool rows = false;
    const std::string_view text = page->text();
    std::size_t at = page->line_start(marker + 1);
    while (true) {
        const auto element = next_token(text, at, ':');
        const auto status = element ? next_token(text, at, '\n') : std::nullopt;
        if (!status) break;
        if (!rows) {
            html_paragraph(out, "Data from SES page 3");
            html_table_begin(out);
            html_header_row(out, {"Element", "Status"});
            rows = true;
        }
        html_data_row(out, {element->substr(0, kSavedLineLength), status->substr(0, kSavedLineLength)});
    }
    if (rows)
        html_table_end(out);
    else
        html_paragraph(out, "No issues found in SES page 3");
}

void analyze_drive_unk_state(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_drive_unk_state", "Device Unk State", index);
    if (!context.target.extended_support) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const std::string path = context.saved_file("jbodlogs", "show_drives");
    const auto drives = saved_text::read(path);
    if (!drives) {
        file_not_found(out, path);
        return;
    }
    bool rows = false;
    for (std::size_t i = 0; i < drives->line_count(); ++i) {
        const std::string_view line = drives->line(i);
        if (!contains(line, "On -Unk")) continue;
        if (!rows) {
            html_paragraph(out, "Data from rcli \"show drives\" log");
            html_table_begin(out);
            html_header_row(out, {"Drive Slot", "State"});
            rows = true;
        }
        const std::string_view slot = contains(line, ":") ? trimmed(cut_before(line, ':')) : std::string_view{};
        html_data_row(out, {slot, "On -Unk"});
    }
    if (rows)
        html_table_end(out);
    else
        html_paragraph(out, "No issues found in the rcli \"show drives\" log");
}

void analyze_zoning(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_zoning", "Zone Status", index);
    if (!product_in(context, {kProductSlateRidge, kProductOpalRidge, kProductMtAlder, kProductGarnetRidge})) {
        html_paragraph(out, kNotSupported);
        return;
    }
    const std::string path = context.saved_file("jbodlogs", "zonecfg");
    const auto zoning = saved_text::read(path);
    if (!zoning) {
        file_not_found(out, path);
        return;
    }
    for (std::size_t i = 0; i < zoning->line_count(); ++i) html_paragraph(out, zoning->line(i));
}

void analyze_fw_version(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_fw_version", "Firmware Version Compatibility", index);
    if (!context.target.extended_support) {
        html_paragraph(out, "Not supported on this platform due to single SAS Expander configuration");
        return;
    }
    std::string ignore;
    if (product_in(context, {kProductSlateRidge, kProductOpalRidge, kProductMtAlder}) &&
        (context.target.single_iom || context.target.multi_tenant))
        ignore = ignored_iom(context, "analyze_fw_version");
    html_table_begin(out);
    html_header_row(out, {"Name", "Index", "Version"});
    bool mismatch = false;
    if (const element_type_info* expanders = find_element_type(context.elements, "SAS expander", true)) {
        const std::vector<std::string>& descriptors = expanders->descriptors;
        for (std::size_t i = 0; i < descriptors.size(); ++i) {
            CONSOLE_PRINT(kVerbosityDebug, "***%zu: %s\n", i, descriptors[i].c_str());
            if (is_ignored(descriptors[i], ignore)) {
                CONSOLE_PRINT(kVerbosityDebug, "***skipping %s\n", descriptors[i].c_str());
                continue;
            }
            std::string version;
            expander_version_from_descriptor(descriptors[i], version);
            if (version.empty()) mismatch = true;
            for (std::size_t j = i + 1; j < descriptors.size(); ++j) {
                if (is_ignored(descriptors[j], ignore)) {
                    CONSOLE_PRINT(kVerbosityDebug, "***skipping comp with %s\n", descriptors[j].c_str());
                    continue;
                }
                std::string other;
                expander_version_from_descriptor(descriptors[j], other);
                CONSOLE_PRINT(kVerbosityDebug, "***cmp: %s vs %s\n", version.c_str(), other.c_str());
                if (other != version) {
                    mismatch = true;
                    break;
                }
            }
            // The name is the text before the version, less its separator.
            std::string_view name = descriptors[i];
            if (!version.empty()) {
                const std::size_t at = name.find(version);
                name = name.substr(0, at == 0 ? 0 : at - 1);
            }
            html_data_row(out, {name, std::to_string(i), version});
        }
    }
    html_table_end(out);
    if (mismatch) {
        html_paragraph_red(out, "All expanders must have the same firmware version");
        html_paragraph_red(out, "Please follow the user guide to update the firmware");
    } else {
        html_paragraph(out, "All expanders have matching firmware versions");
    }
}

void analyze_oobm_version(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_oobm_version", "OOBM Version Compatibility", index);
    if (!context.target.extended_support || product_in(context, {kProductAmberRidge, kProductSlateRidge})) {
        html_paragraph(out, kNotSupported);
        return;
    }
    bool single = context.target.product_code == kProductGarnetRidge;
    std::string ignore;
    if (!single && (context.target.single_iom || context.target.multi_tenant)) {
        single = true;
        ignore = ignored_iom(context, "analyze_oobm_version");
    }
    const element_type_info* esce = find_element_type(context.elements, "Enclosure services", false);
    if (!esce) return;
    // The first two descriptors ("ESCE IOMA,<serial>,H3,<address>,<OOBM
    // version>") but the ignored IOM's: name before the first comma, version
    // after the last one.
    std::string_view versions[2];
    std::size_t reported = 0;
    html_table_begin(out);
    html_header_row(out, {"Name", "Version"});
    for (std::size_t i = 0; i < 2 && i < esce->descriptors.size(); ++i) {
        const std::string_view descriptor = esce->descriptors[i];
        if (is_ignored(descriptor, ignore)) continue;
        const std::size_t last_comma = descriptor.rfind(',');
        const std::string_view version =
            last_comma == std::string_view::npos ? std::string_view{} : descriptor.substr(last_comma + 1);
        html_data_row(out, {cut_before(descriptor, ','), version});
        versions[reported++] = version;
    }
    html_table_end(out);
    const bool missing = single ? versions[0].empty() : versions[0].empty() || versions[1].empty();
    if (missing) {
        html_paragraph_red(out, "The OOBM version is missing");
        html_paragraph_red(out, "The IOM may have to be replaced");
    } else if (!single && versions[0] != versions[1]) {
        html_paragraph_red(out, "OOBM versions do not match");
        html_paragraph_red(out, "Please follow the user guide to update the firmware using a bundle file");
    }
}

void analyze_sg_tool_version(report_stream& out, const health_context& context, unsigned index) {
    report_section section(out, "analyze_sg_tool_version", "sg3_utils Version", index);
    html_table_begin(out);
    html_header_row(out, {"Name", "Version"});
    static constexpr std::string_view kTools[] = {"sg_inq",      "sg_logs", "sg_scan", "sg_senddiag",
                                                  "sg_ses",      "sg_ses_microcode", "sg_vpd"};
    for (std::string_view tool : kTools) {
        const std::string path =
            context.log_dir + kPathSeparator + "ses" + kPathSeparator + std::string(tool) + "_-V.txt";
        const auto saved = saved_text::read(path);
        if (!saved) {
            html_data_row(out, {path, "File not found"});
            continue;
        }
        // The version follows the last colon ("version: 2.48 20200501"); for
        // sg_vpd the first ": ". Only the first 1023 bytes are looked at.
        const std::string_view text = saved->text().substr(0, kSavedLineLength);
        const std::size_t colon = tool == "sg_vpd" ? text.find(": ") : text.rfind(':');
        std::string_view version = "N/A";
        if (colon != std::string_view::npos) {
            version = text.substr(std::min(colon + 2, text.size()));
            const auto printable = [](char c) { return static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) <= 126; };
            std::size_t end = 0;
            while (end < version.size() && printable(version[end])) ++end;
            version = version.substr(0, end);
        }
        html_data_row(out, {tool, version});
    }
    html_table_end(out);
}

}  // namespace enctl
