#include "app/report/health_report.h"

#include <span>

#include "app/discovery/discovery.h"
#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "basekit/console.h"
#include "basekit/file_io.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/trace.h"

namespace enctl {
namespace {

// A template is a page frame of a few kilobytes.
constexpr long long kMaxTemplateSize = 16 * 1024 * 1024;

using health_check = void (*)(report_stream&, const health_context&, unsigned);

struct report_tab {
    std::string_view title;
    health_check check;
};

// Tab i shows section i, written by check i.
constexpr report_tab kReportTabs[kReportSections] = {
    {"Platform Information", analyze_platform_info},
    {"SES Page 3 Alerts", analyze_alerts_ses_3},
    {"Fan Speed", analyze_fan_speed},
    {"Temperature Voltage Current", analyze_temp_volt_power},
    {"Abnormal Conditions", analyze_abnormal_conditions},
    {"SAS Connector", analyze_sas_connector},
    {"Enclosure Cover", analyze_enclosure_cover},
    {"Element Temperature", analyze_element_temperature},
    {"Drive Off State", analyze_drive_off_state},
    {"Drive Unk State", analyze_drive_unk_state},
    {"Low Line", analyze_low_voltage},
    {"Zone Status", analyze_zoning},
    {"Firmware Version Compatibility", analyze_fw_version},
    {"OOBM Version Compatibility", analyze_oobm_version},
    {"sg3_utils Version", analyze_sg_tool_version},
};

void insert_after_marker(std::string& report, std::string_view marker, const report_stream& fragments) {
    const std::size_t at = report.find(marker);
    if (at != std::string::npos) report.insert(at + marker.size(), fragments);
}

std::string program_directory() {
    const std::string_view executable = text_of(g_enctl_data.execution_file);
    const std::size_t separator = executable.rfind(kPathSeparator);
    return separator == std::string_view::npos ? std::string(".") : std::string(executable.substr(0, separator));
}

}  // namespace

std::string health_context::saved_file(std::string_view folder, std::string_view stem) const {
    return log_dir + kPathSeparator + std::string(folder) + kPathSeparator + std::string(stem) + "_" +
           std::string(text_of(target.name)) + ".txt";
}

void analyze_html_init(std::string& report) {
    TRACE_ENTER_EXIT();
    report_stream titles;
    for (unsigned i = 0; i < kReportSections; ++i) html_tab_title(titles, kReportTabs[i].title, i);
    insert_after_marker(report, kReportTitleMarker, titles);
}

void analyze_html_report(std::string& report, health_context& context) {
    TRACE_ENTER_EXIT();
    initialize_element_info(context.elements, context.log_dir, text_of(context.target.name));
    report_stream sections;
    for (unsigned i = 0; i < kReportSections; ++i) kReportTabs[i].check(sections, context, i);
    insert_after_marker(report, kReportContentMarker, sections);
}

int analyze_health(health_context context, std::string_view program_dir) {
    TRACE_ENTER_EXIT();
    const std::string template_path = std::string(program_dir) + kPathSeparator + kHealthTemplateName;
    if (!platform_path_exists(template_path.c_str())) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: File not found %s\n", template_path.c_str());
        CONSOLE_PRINT(kVerbosityNormal, "Please check the installation was done properly\n");
        return 1;
    }
    const long long size = file_size(template_path.c_str());
    CONSOLE_PRINT(kVerbosityDebug, "template %s - %u bytes\n", template_path.c_str(),
                  static_cast<unsigned>(size < 0 ? 0 : size));
    if (size <= 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Failed to open file %s.\n", template_path.c_str());
        return 1;
    }
    if (size > kMaxTemplateSize) {  // not a template (a directory measures huge on some file systems)
        CONSOLE_PRINT(kVerbosityNormal, "Could not allocate %u bytes to read %s\n", static_cast<unsigned>(size),
                      template_path.c_str());
        return 1;
    }
    std::string report(static_cast<std::size_t>(size), '\0');
    std::size_t read = 0;
    const std::span<std::uint8_t> room(reinterpret_cast<std::uint8_t*>(report.data()), report.size());
    if (read_file(template_path.c_str(), room, &read) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Failed to open file %s.\n", template_path.c_str());
        return 1;
    }
    report.resize(read);
    const std::string report_path = context.log_dir + kPathSeparator + kHealthTemplateName + "_" +
                                    std::string(text_of(context.target.name)) + ".html";
    CONSOLE_PRINT(kVerbosityDebug, "template file=%s\n", template_path.c_str());
    CONSOLE_PRINT(kVerbosityDebug, "output file=%s\n", report_path.c_str());

    analyze_html_init(report);
    analyze_html_report(report, context);

    // A new file in the run's new log folder: never an old report, never
    // through a link planted under its name.
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(report.data()), report.size());
    if (write_new_file(report_path.c_str(), bytes) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot open html file: %s\n", report_path.c_str());
        CONSOLE_PRINT(kVerbosityNormal, "Please check if the installation of this program was successful\n\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", report_path.c_str());
    return 0;
}

int analyze_health(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    if (!target) return 1;
    health_context context;
    context.log_dir = std::string(text_of(g_enctl_data.log_dir));
    context.device_name = std::string(text_of(device.name));
    context.target = *target;
    context.iom_type = [&device] { return get_iom_type(device); };
    return analyze_health(std::move(context), program_directory());
}

}  // namespace enctl
