// The health report of one enclosure: the template file installed beside the
// program, with the tab titles and the sections of the fifteen checks
// inserted after its two marker comments, written as
// <log dir>/health_analysis_<encl>.html. The checks read only what the log
// collection saved in the log folder.
#pragma once

#include <string>
#include <string_view>

#include "app/report/health_checks.h"
#include "vdx/vdx.h"

namespace enctl {

inline constexpr char kHealthTemplateName[] = "health_analysis";
inline constexpr std::string_view kReportTitleMarker = "<!--add_report_title start-->";
inline constexpr std::string_view kReportContentMarker = "<!--add_report_content start-->";
inline constexpr unsigned kReportSections = 15;

// The log collection's step for one recognised enclosure: its files in the
// run's log folder (g_enctl_data), the template beside the executable. 0, or
// 1 after a message (no template, the report cannot be written).
int analyze_health(vdx_dev& device);

// The same for the enclosure `context` describes, with the template in
// `program_dir`.
int analyze_health(health_context context, std::string_view program_dir);

// The two insertion passes over the report's text: the tab titles after the
// title marker; the element table, then the sections of the checks after the
// content marker. Without its marker a pass leaves the text unchanged.
void analyze_html_init(std::string& report);
void analyze_html_report(std::string& report, health_context& context);

}  // namespace enctl
