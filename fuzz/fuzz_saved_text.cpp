// The health report over the texts a log collection saved: the input is cut
// at NUL bytes into the sg_ses texts of pages 02h, 03h and 07h, the
// enclosure's show drives, show cable and zonecfg replies and an sg_ses
// version line, written into a log folder, and the fifteen checks run over
// them. The first byte picks the product (1 to 7) and the IOM through which
// the host reaches the enclosure.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "app/report/health_report.h"
#include "basekit/fixed_text.h"
#include "fuzz/fuzz_common.h"

namespace {

const std::string& log_dir() {
    static const std::string dir = [] {
        std::string path = "/tmp/enctl-fuzz-report-" + std::to_string(::getpid());
        std::filesystem::create_directories(path + "/ses");
        std::filesystem::create_directories(path + "/jbodlogs");
        return path;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace enctl;
    fuzz::quiet_console();
    if (size == 0) return 0;
    static constexpr const char* kFiles[] = {
        "ses/page_02h_scsi1_0-0-0.txt",           "ses/page_03h_scsi1_0-0-0.txt",
        "ses/page_07h_scsi1_0-0-0.txt",           "jbodlogs/show_drives_scsi1_0-0-0.txt",
        "jbodlogs/show_cable_scsi1_0-0-0.txt",    "jbodlogs/zonecfg_scsi1_0-0-0.txt",
        "ses/sg_ses_-V.txt",
    };
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (const char* name : kFiles) {
        const std::size_t nul = rest.find('\0');
        const std::string_view part = rest.substr(0, nul);
        const std::string path = log_dir() + "/" + name;
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(part.data(), 1, part.size(), f);
            std::fclose(f);
        }
        rest = nul == std::string_view::npos ? std::string_view{} : rest.substr(nul + 1);
    }
    health_context context;
    context.log_dir = log_dir();
    context.device_name = "SCSI1:0,0,0";
    set_text(context.target.name, "scsi1_0-0-0");
    set_text(context.target.firmware, "2041-003");
    context.target.product_code = 1 + data[0] % 7;
    context.target.extended_support = 1;
    context.target.single_iom = (data[0] >> 3) & 1;
    context.target.multi_tenant = (data[0] >> 4) & 1;
    const int iom = (data[0] >> 5) % 3;
    context.iom_type = [iom] { return iom; };
    std::string report = std::string(kReportTitleMarker) + "\n" + std::string(kReportContentMarker) + "\n";
    analyze_html_init(report);
    analyze_html_report(report, context);
    return 0;
}
