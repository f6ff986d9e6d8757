// The fifteen checks of the health report. Each reads only what the log
// collection saved (and the element table built from it) and writes one
// section of the report, opened with its heading and index and closed on
// every path.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/discovery/enclosure_target.h"
#include "app/product/product.h"
#include "app/report/element_info.h"
#include "app/report/html_writer.h"

namespace enctl {

// What the checks know about the enclosure under report.
struct health_context {
    std::string log_dir;
    std::string device_name;        // the device's name, as show prints it
    enclosure_target target{};      // name (<encl> of the saved files), identity, product facts
    // Through which IOM the host reaches the enclosure (1 A, 2 B, 0 unknown);
    // asked only by the version checks of single-IOM and multi-tenant enclosures.
    std::function<int()> iom_type;
    element_info elements;

    // "<log dir>/<folder>/<stem>_<encl>.txt"
    std::string saved_file(std::string_view folder, std::string_view stem) const;
};

void analyze_platform_info(report_stream& out, const health_context& context, unsigned index);
void analyze_alerts_ses_3(report_stream& out, const health_context& context, unsigned index);
void analyze_fan_speed(report_stream& out, const health_context& context, unsigned index);
void analyze_temp_volt_power(report_stream& out, const health_context& context, unsigned index);
void analyze_abnormal_conditions(report_stream& out, const health_context& context, unsigned index);
void analyze_sas_connector(report_stream& out, const health_context& context, unsigned index);
void analyze_enclosure_cover(report_stream& out, const health_context& context, unsigned index);
void analyze_element_temperature(report_stream& out, const health_context& context, unsigned index);
void analyze_drive_off_state(report_stream& out, const health_context& context, unsigned index);
void analyze_drive_unk_state(report_stream& out, const health_context& context, unsigned index);
void analyze_low_voltage(report_stream& out, const health_context& context, unsigned index);
void analyze_zoning(report_stream& out, const health_context& context, unsigned index);
void analyze_fw_version(report_stream& out, const health_context& context, unsigned index);
void analyze_oobm_version(report_stream& out, const health_context& context, unsigned index);
void analyze_sg_tool_version(report_stream& out, const health_context& context, unsigned index);

// The firmware version in an expander's descriptor: after the first "," up
// to the next one ("EXP IOMA 0,3005-001,<address>"), or, without a comma,
// from the first digit after "EXP " up to the next blank. 0 when a version
// was looked for by the comma rule or found by the "EXP " rule, else 1;
// `version` is empty when none was found.
int expander_version_from_descriptor(std::string_view descriptor, std::string& version);

}  // namespace enctl
