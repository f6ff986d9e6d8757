// The report in a real browser: headless Chromium opens the garnet report
// (the lab's unhealthy enclosure) and the report of device texts with markup
// (tests/report/browser_check.py). Fifteen tabs, each click shows its section
// alone, no script errors, device text stays text; the screenshot of the
// garnet report lands in the build folder. Chromium not starting fails it.
#include <gtest/gtest.h>

#include "tests/report/lab_reports.h"
#include "tests/support/console_capture.h"
#include "tests/support/process.h"

namespace enctl::testing {
namespace {

TEST(ReportBrowser, TabsScriptsAndDeviceTextInChromium) {
    temp_log garnet("lab"), hostile("hostile");
    console_output([&] {
        ASSERT_EQ(analyze_health(lab_context(kGarnet, garnet.dir()), ENCTL_BINARY_DIR), 0);
        ASSERT_EQ(analyze_health(lab_context(kHostile, hostile.dir()), ENCTL_BINARY_DIR), 0);
    });
    const process_result checked = run_process({"/usr/bin/python3", ENCTL_SOURCE_DIR "/tests/report/browser_check.py",
                                                garnet.dir() + "/health_analysis_scsi8_0-0-0.html",
                                                hostile.dir() + "/health_analysis_scsi1_0-0-0.html",
                                                ENCTL_BINARY_DIR "/health_report_garnet.png"});
    EXPECT_EQ(checked.exit_code, 0) << checked.out << checked.err;
}

}  // namespace
}  // namespace enctl::testing
