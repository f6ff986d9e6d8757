// The lab enclosures whose saved files (tests/report/fixtures, written by
// capture.sh with the real sg_ses against the lab) drive the report tests,
// and the report of one of them built on a template of just the two markers.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "app/report/health_report.h"
#include "basekit/fixed_text.h"

namespace enctl::testing {

struct lab_enclosure {
    const char* log;  // fixture folder (a log folder as the collection leaves it)
    const char* device;
    const char* encl;
    const char* product_id;
    const char* serial;
    const char* firmware;
    const char* description;
    std::uint32_t product_code;
    std::uint32_t extended_support;
    std::uint32_t single_iom;
};

inline constexpr lab_enclosure kHalcyon{"lab", "SCSI3:0,0,0", "scsi3_0-0-0", "NX2A_STOR_ENCL", "KVHA00001003", "0512",
                                        "NX2A Storage Platform", 3, 0, 0};
inline constexpr lab_enclosure kOpal{"lab", "SCSI5:0,0,0", "scsi5_0-0-0", "M7310-P", "KVOR00001005", "2041-003",
                                     "Veloxaris Bay-S", 5, 1, 0};
inline constexpr lab_enclosure kAlder{"lab", "SCSI6:0,0,0", "scsi6_0-0-0", "M7320-P", "KVMA00001006", "3012-007",
                                      "Veloxaris Bay-L", 6, 1, 0};
inline constexpr lab_enclosure kGarnet{"lab", "SCSI8:0,0,0", "scsi8_0-0-0", "M7310-R", "KVGR00001008", "3005-001",
                                       "Veloxaris Host-S", 7, 1, 1};
// Device texts with markup and control characters; the serial number is the
// INQUIRY text of such an enclosure.
inline constexpr lab_enclosure kHostile{"hostile", "SCSI1:0,0,0", "scsi1_0-0-0", "M7310-P", "<KVOR&1001>", "2041-003",
                                        "Veloxaris Bay-S", 5, 1, 0};

inline std::string fixture_dir(std::string_view log) {
    return std::string(ENCTL_SOURCE_DIR) + "/tests/report/fixtures/" + std::string(log);
}

// The context of `e` over the files in `log_dir` (its fixture folder when empty).
inline health_context lab_context(const lab_enclosure& e, std::string log_dir = {}, int iom_type = 1) {
    health_context context;
    context.log_dir = log_dir.empty() ? fixture_dir(e.log) : std::move(log_dir);
    context.device_name = e.device;
    set_text(context.target.name, e.encl);
    set_text(context.target.product_id, e.product_id);
    set_text(context.target.serial, e.serial);
    set_text(context.target.firmware, e.firmware);
    set_text(context.target.description, e.description);
    context.target.product_code = e.product_code;
    context.target.extended_support = e.extended_support;
    context.target.single_iom = e.single_iom;
    context.iom_type = [iom_type] { return iom_type; };
    return context;
}

// The report on a template of the two markers, the log folder's path shown as "<log>".
inline std::string markers_only_report(health_context context) {
    std::string report = std::string(kReportTitleMarker) + "\n" + std::string(kReportContentMarker) + "\n";
    analyze_html_init(report);
    analyze_html_report(report, context);
    for (std::size_t at; (at = report.find(context.log_dir)) != std::string::npos;)
        report.replace(at, context.log_dir.size(), "<log>");
    return report;
}

}  // namespace enctl::testing

namespace enctl::testing {

// A log folder under /tmp with a copy of a fixture folder's files (or none),
// removed at the end; texts can be changed before the report reads them.
class temp_log {
public:
    explicit temp_log(const char* fixture = nullptr) {
        char pattern[] = "/tmp/enctl-report-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) dir_ = made;
        if (fixture && !dir_.empty())
            std::filesystem::copy(fixture_dir(fixture), dir_, std::filesystem::copy_options::recursive);
    }
    ~temp_log() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    temp_log(const temp_log&) = delete;
    temp_log& operator=(const temp_log&) = delete;

    const std::string& dir() const { return dir_; }
    std::string read(const std::string& relative) const {
        std::ifstream in(dir_ + "/" + relative, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void write(const std::string& relative, const std::string& text) const {
        std::ofstream(dir_ + "/" + relative, std::ios::binary | std::ios::trunc) << text;
    }

private:
    std::string dir_;
};

}  // namespace enctl::testing
