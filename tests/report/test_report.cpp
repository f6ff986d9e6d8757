// The health report built from the texts real sg_ses runs saved for lab
// enclosures: whole reports against golden files (unhealthy garnet and alder,
// healthy opal, halcyon without the vendor pages, device texts with markup),
// and the edge cases of the saved texts, cut or changed from those runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/report/lab_reports.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"

namespace enctl::testing {
namespace {

namespace fs = std::filesystem;

TEST(HealthReport, LabEnclosuresGiveTheirGoldenReports) {
    const struct {
        const lab_enclosure& enclosure;
        const char* golden;
    } cases[] = {
        {kGarnet, "report/golden/garnet.html"}, {kAlder, "report/golden/alder.html"},
        {kOpal, "report/golden/opal.html"},     {kHalcyon, "report/golden/halcyon.html"},
        {kHostile, "report/golden/hostile.html"},
    };
    for (const auto& c : cases) expect_golden(markers_only_report(lab_context(c.enclosure)), c.golden);
}

// One section (check `check` at its index) of the enclosure over `log`.
template <typename Check>
std::string section(Check check, unsigned index, health_context context) {
    initialize_element_info(context.elements, context.log_dir, text_of(context.target.name));
    report_stream out;
    check(out, context, index);
    return out;
}

// The lines of `text` from the one holding `from` up to (not including) the
// next one holding `to` taken out; `keep` first lines of that range stay.
std::string without_lines(const std::string& text, const std::string& from, const std::string& to, std::size_t keep = 0) {
    std::size_t begin = text.rfind('\n', text.find(from)) + 1;
    for (std::size_t i = 0; i < keep; ++i) begin = text.find('\n', begin) + 1;
    const std::size_t end = text.rfind('\n', text.find(to, begin)) + 1;
    return text.substr(0, begin) + text.substr(end);
}

TEST(HealthReport, TypeMissingFromPage2OrWithoutElementsIsLeftOut) {
    {  // garnet's Cooling type gone from page 02h
        temp_log log("lab");
        const std::string page2 = "ses/page_02h_scsi8_0-0-0.txt";
        log.write(page2, without_lines(log.read(page2), "Element type: Cooling", "Element type: Temperature"));
        const health_context context = lab_context(kGarnet, log.dir());
        const std::string abnormal = section(analyze_abnormal_conditions, 4, context);
        for (const char* listed : {"SLOT 012", "VOLT PSU B AC", "CONN IOMA 1"})
            EXPECT_TRUE(contains(abnormal, listed)) << listed;
        EXPECT_FALSE(contains(abnormal, "Cooling")) << abnormal;
        EXPECT_TRUE(contains(section(analyze_fan_speed, 2, context),
                             "<p>ERROR: log content format in " + log.dir() + "/" + page2 + "</p>"));
    }
    {  // the ESCE type's elements gone, its header and "Overall descriptor:"
       // block kept: the critical Enclosure element that follows is its own
        temp_log log("hostile");
        const std::string page2 = "ses/page_02h_scsi1_0-0-0.txt";
        log.write(page2, without_lines(log.read(page2), "Element type: Enclosure services", "Element type: Enclosure,", 4));
        const std::string abnormal = section(analyze_abnormal_conditions, 4, lab_context(kHostile, log.dir()));
        EXPECT_TRUE(contains(abnormal, "<td>Enclosure</td>\n                    <td>ENCLOSURE</td>")) << abnormal;
        EXPECT_FALSE(contains(abnormal, "ESCE")) << abnormal;
    }
}

TEST(HealthReport, SesStatusOnTheLastLineMeansNoAlerts) {
    const std::string page3 = "ses/page_03h_scsi8_0-0-0.txt";
    for (const char* end : {"|SES Status|\n", "|SES Status|"}) {
        temp_log log("lab");
        const std::string text = log.read(page3);
        log.write(page3, text.substr(0, text.find("|SES Status|")) + end);
        const std::string alerts = section(analyze_alerts_ses_3, 1, lab_context(kGarnet, log.dir()));
        EXPECT_TRUE(contains(alerts, "<p>No issues found in SES page 3</p>")) << alerts;
    }
}

TEST(HealthReport, LowLineVerdictFollowsBothSupplies) {
    // Garnet's supplies: A at 230 V (element 0), B at 115 V (element 2).
    const struct {
        const char* a;
        const char* b;
        const char* verdict;
    } cases[] = {
        {"230.00", "115.00", "One of two PSUs is running low line 110 VAC"},
        {"118.00", "115.00", "Plug the power supplies into high line power (220 VAC)"},
        {"230.00", "0.00", "PSU(s) detected with no or insufficient power"},
        {"230.00", "121.00", "No issues found in SES page 2 - Voltage sensor"},
    };
    const std::string page2 = "ses/page_02h_scsi8_0-0-0.txt";
    for (const auto& c : cases) {
        temp_log log("lab");
        std::string text = log.read(page2);
        text.replace(text.find("Voltage: 230.00 volts"), 21, std::string("Voltage: ") + c.a + " volts");
        text.replace(text.find("Voltage: 115.00 volts"), 21, std::string("Voltage: ") + c.b + " volts");
        log.write(page2, text);
        const std::string low_line = section(analyze_low_voltage, 10, lab_context(kGarnet, log.dir()));
        EXPECT_TRUE(contains(low_line, c.verdict)) << c.a << " " << c.b << low_line;
    }
}

TEST(HealthReport, SingleIomEnclosureLeavesTheOtherIomOut) {
    for (const int iom_type : {1, 2}) {
        health_context context = lab_context(kOpal, {}, iom_type);
        context.target.single_iom = 1;
        const std::string versions =
            section(analyze_fw_version, 12, context) + section(analyze_oobm_version, 13, context);
        EXPECT_EQ(contains(versions, "IOMA"), iom_type == 1) << versions;
        EXPECT_EQ(contains(versions, "IOMB"), iom_type == 2) << versions;
        EXPECT_TRUE(contains(versions, "All expanders have matching firmware versions")) << versions;
    }
}

TEST(HealthReport, MissingFilesAreReportedInEverySection) {
    temp_log log;
    health_context context = lab_context(kGarnet, log.dir());
    std::string report;
    const std::string console = console_output([&] { report = markers_only_report(context); });
    EXPECT_EQ(console, "ERROR: Required file not found=" + log.dir() + "/ses/page_07h_scsi8_0-0-0.txt\n");
    expect_golden(report, "report/golden/missing_files.html");
}

TEST(ExpanderVersion, FromTheDescriptor) {
    const struct {
        const char* descriptor;
        const char* version;
        int result;
    } cases[] = {
        {"EXP IOMA 0,3005-001,50E1AB000000813F", "3005-001", 0},
        {"EXP IOMA 0,3005-001", "", 0},  // one comma: no version, the mismatch verdict follows
        {"EXP IOMB 3011-002 primary", "3011-002", 0},
        {"EXP IOMB 3011-002", "", 0},
        {"EXP IOMB", "", 1},
        {"SLOT 001", "", 1},
    };
    for (const auto& c : cases) {
        std::string version = "stale";
        EXPECT_EQ(expander_version_from_descriptor(c.descriptor, version), c.result) << c.descriptor;
        EXPECT_EQ(version, c.version) << c.descriptor;
    }
}

TEST(HealthReport, WrittenFreshFromTheTemplateBesideTheProgram) {
    temp_log program, log("lab");
    const std::string report_path = log.dir() + "/health_analysis_scsi8_0-0-0.html";
    const auto run = [&] {
        int result = -1;
        const std::string console =
            console_output([&] { result = analyze_health(lab_context(kGarnet, log.dir()), program.dir()); });
        return std::make_pair(result, console);
    };
    const std::string template_path = program.dir() + "/health_analysis";
    EXPECT_EQ(run(), std::make_pair(1, "ERROR: File not found " + template_path +
                                           "\nPlease check the installation was done properly\n"));
    program.write("health_analysis", "");
    EXPECT_EQ(run(), std::make_pair(1, "Failed to open file " + template_path + ".\n"));
    EXPECT_FALSE(fs::exists(report_path));

    fs::copy_file(std::string(ENCTL_BINARY_DIR) + "/health_analysis", template_path,
                  fs::copy_options::overwrite_existing);
    EXPECT_EQ(run(), std::make_pair(0, "*File saved: " + report_path + "\n"));
    const std::string report = log.read("health_analysis_scsi8_0-0-0.html");
    EXPECT_TRUE(report.starts_with("<!DOCTYPE html>")) << report.substr(0, 100);
    EXPECT_TRUE(contains(report, "<!--add_report_title start-->\n                <li onclick=\"selectLink(this)\" id=\"title_0\""));
    EXPECT_TRUE(contains(report, "<!--add_report_content start-->\n        <div id=\"title_0-content\""));
    EXPECT_TRUE(contains(report, "<h1>sg3_utils Version</h1>"));

    // Never an old report rewritten, never a link followed.
    const std::string again = "ERROR: Cannot open html file: " + report_path +
                              "\nPlease check if the installation of this program was successful\n\n";
    EXPECT_EQ(run(), std::make_pair(1, again));
    EXPECT_EQ(log.read("health_analysis_scsi8_0-0-0.html"), report);
    fs::remove(report_path);
    log.write("victim", "kept");
    fs::create_symlink(log.dir() + "/victim", report_path);
    EXPECT_EQ(run(), std::make_pair(1, again));
    EXPECT_EQ(log.read("victim"), "kept");
}

}  // namespace
}  // namespace enctl::testing
