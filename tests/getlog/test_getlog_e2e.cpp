// getlog of the real enctl binary on simulated labs: for each kind of run
// its console output and the log tree it leaves (golden/<case>.txt), and the
// files' contents checked against the real tools run on the same devices.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/getlog/getlog_session.h"
#include "tests/support/golden.h"

namespace fs = std::filesystem;

namespace enctl::testing {
namespace {

// One enclosure of each kind the log tree tells apart (products 1, 2, 3, and
// 5 to 7 at firmware levels 2030, 2045 and 3010), a SAS, a SATA and an NVMe disk.
const char* const kLab = R"({"enclosures": [
    {"product": 1, "label": "amber", "slots": 4},
    {"product": 2, "label": "slate", "slots": 4},
    {"product": 3, "label": "halcyon", "slots": 4},
    {"product": 5, "label": "opal", "firmware": "2030-001"},
    {"product": 6, "label": "alder", "firmware": "2045-002", "slots": 8},
    {"product": 7, "label": "garnet", "firmware": "3010-004"}],
  "disks": [{"enclosure": "slate", "slot": 0, "serial": "ZL0000A1"},
            {"kind": "sata", "enclosure": "alder", "slot": 1, "serial": "WL0000B2"},
            {"kind": "nvme", "serial": "NL0000C3"}]})";

class GetlogE2e : public ::testing::Test {
protected:
    static void SetUpTestSuite() { lab_ = std::make_unique<running_lab>(kLab); }
    static void TearDownTestSuite() { lab_.reset(); }
    void SetUp() override { ASSERT_TRUE(lab_->started()) << lab_->start_result().err; }

    // Runs getlog and compares its transcript and tree with golden/<name>.txt.
    static void expect_run(const getlog_session& s, const std::string& name, const std::vector<std::string>& args,
                           const std::string& input = {}) {
        const process_result r = s.run(args, input);
        std::string transcript = "$ enctl";
        for (const auto& a : args) transcript += " " + a;
        if (!input.empty()) transcript += " < " + input.substr(0, input.find('\n'));
        transcript += "\nexit " + std::to_string(r.exit_code) + "\n" + s.normalised(r.out) + r.err +
                      "--- tree\n" + s.tree();
        expect_golden(transcript, "getlog/golden/" + name + ".txt");
    }

    static std::unique_ptr<running_lab> lab_;
};
std::unique_ptr<running_lab> GetlogE2e::lab_;

TEST_F(GetlogE2e, CommonSavesTheToolsRenderingOfEachPage) {
    getlog_session s(*lab_);
    expect_run(s, "common", {"getlog", "common"});
    // sg_ses's own rendering of page 02h of SCSI5 (alder, sg5).
    const process_result direct = s.tool({"sg_ses", lab_->node("sg5"), "-p0x2"});
    EXPECT_EQ(s.file("ses/page_02h_scsi5_0-0-0.txt"), direct.out);
}

TEST_F(GetlogE2e, VendorSavesPagesExpanderLogsCommandOutputAndOwnDisplays) {
    getlog_session s(*lab_);
    expect_run(s, "vendor", {"getlog", "vendor"});
    const process_result bundle = s.tool({"tar", "-tzf", s.log_entry() + "/jbodlogs/bundlelog_scsi6_0-0-0.tgz"});
    EXPECT_EQ(bundle.exit_code, 0) << bundle.err;
    EXPECT_NE(bundle.out.find("bundle/eventlog_exp_2.log\n"), std::string::npos) << bundle.out;
    EXPECT_NE(s.file("jbodlogs/enctl_show.txt").find("Device: SCSI6:0,0,0\n"), std::string::npos);
    EXPECT_NE(s.file("jbodlogs/show_drives_scsi5_0-0-0.txt").find("SLOT 001: On -Ok  SATA WL0000B2\n"),
              std::string::npos);
}

TEST_F(GetlogE2e, IomCommandListOnlyAfterConfirmation) {
    getlog_session yes(*lab_);
    expect_run(yes, "vendor_iom_yes", {"getlog", "vendor-iom"}, "y\n");
    getlog_session no(*lab_);
    expect_run(no, "vendor_iom_no", {"getlog", "vendor-iom"}, "n\n");
}

TEST_F(GetlogE2e, SystemLogs) {
    getlog_session s(*lab_);
    expect_run(s, "system", {"getlog", "system-light", "system-heavy"});
    const process_result version = s.tool({"sg_ses", "-V"});
    EXPECT_EQ(s.file("ses/sg_ses_-V.txt"), version.out + version.err);
}

TEST_F(GetlogE2e, DriveLogsAfterThePromptOrWithoutIt) {
    getlog_session yes(*lab_);
    expect_run(yes, "drives_yes", {"getlog", "drives"}, "y\n");
    EXPECT_NE(yes.file("disks/smartctl_health_sda.txt").find("SMART Health Status: OK"), std::string::npos);
    EXPECT_NE(yes.file("disks/smartctl_health_sdb.txt").find("self-assessment test result: PASSED"),
              std::string::npos);
    EXPECT_NE(yes.file("disks/smartctl_extended_nvme0.txt").find("SMART/Health Information (NVMe Log 0x02)"),
              std::string::npos);
    EXPECT_EQ(yes.file("disks/sg_logs_-p0x18_sda.txt"), yes.tool({"sg_logs", lab_->node("sda"), "-p0x18"}).out);
    for (const char* input : {"n\n", ""}) {
        getlog_session declined(*lab_);
        expect_run(declined, input[0] ? "drives_no" : "drives_end_of_input", {"getlog", "drives"}, input);
    }
    getlog_session noprompt(*lab_);
    const process_result r = noprompt.run({"getlog", "drives-noprompt"});
    EXPECT_EQ(noprompt.tree(), yes.tree());
    EXPECT_EQ(r.out.find("press 'Y'"), std::string::npos);
}

TEST_F(GetlogE2e, AllNopromptPacksIntoAVerifiedZipBesideTheFolder) {
    getlog_session s(*lab_);
    // No shell anywhere: blanks, quotes and shell characters in the path are plain characters.
    const std::string pack = s.tmp() + "/pack dir 'x' $(false);";
    fs::create_directory(pack);
    const process_result r = s.run({"getlog", "all-noprompt", "pack=" + pack});
    EXPECT_EQ(r.exit_code, 0);
    const std::string zip = s.log_entry(pack);
    ASSERT_EQ(fs::path(zip).extension(), ".zip") << s.tree();
    EXPECT_FALSE(fs::exists(zip.substr(0, zip.size() - 4))) << "the folder goes once its zip is proven";
    EXPECT_NE(r.out.find("Created package file: " + zip + "\n"), std::string::npos) << r.out;
    // The archive's listing (Python's zipfile), and one entry against the tool's own output.
    const process_result listing = s.tool(
        {"python3", "-c",
         "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
         "for i in z.infolist(): print(i.filename, i.file_size if i.filename.endswith(('.bin', '.tgz')) else '')\n"
         "sys.stdout.write(z.read([n for n in z.namelist() if n.endswith('ses/page_07h_scsi6_0-0-0.txt')][0]).decode())",
         zip});
    ASSERT_EQ(listing.exit_code, 0) << listing.err;
    expect_golden(s.normalised(listing.out.substr(0, listing.out.find("Element Descriptor"))),
                  "getlog/golden/all_noprompt_zip.txt");
    EXPECT_NE(listing.out.find(s.tool({"sg_ses", lab_->node("sg7"), "-p0x7"}).out), std::string::npos);
}

TEST_F(GetlogE2e, AnExistingFolderOfTheSameNameIsNeverWrittenInto) {
    getlog_session s(*lab_);
    // The names of the next seconds' folders are taken, by folders and by files.
    const auto now = std::chrono::system_clock::now();
    const std::string hostname = s.tool({"hostname"}).out;
    const std::string host = hostname.substr(0, hostname.find('\n'));
    for (int ahead = 0; ahead < 5; ++ahead) {
        const std::time_t t = std::chrono::system_clock::to_time_t(now + std::chrono::seconds(ahead));
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", std::localtime(&t));
        const std::string taken = s.tmp() + "/enctl_" + host + "_" + stamp;
        if (ahead % 2 == 0) {
            std::ofstream(taken) << "a file of that name\n";
        } else {
            fs::create_directory(taken);
            std::ofstream(taken + "/older_run.txt") << "an older run's file\n";
        }
    }
    const process_result r = s.run({"getlog", "common"});
    EXPECT_EQ(r.exit_code, 0);
    int fresh = 0;
    for (const auto& entry : fs::directory_iterator(s.tmp())) {
        if (!entry.is_directory()) continue;
        const bool older = fs::exists(entry.path() / "older_run.txt");
        EXPECT_EQ(fs::exists(entry.path() / "ses"), !older) << entry.path();
        fresh += older ? 0 : 1;
        if (!older) {
            EXPECT_TRUE(entry.path().string().ends_with("_2")) << entry.path();
        }
    }
    EXPECT_EQ(fresh, 1);
}

// Faults: an expander log whose first read fails, a bundle whose size never
// comes, a command reply without a line end, event pages of 64 bytes.
TEST(GetlogFaults, EveryFailureIsReportedAndTheRunGoesOn) {
    running_lab lab(R"({"enclosures": [
        {"product": 1, "faults": [{"opcode": "0x1C", "page": "0x85", "kind": "short", "length": 64},
                                  {"opcode": "0x1C", "page": "0xEC", "kind": "short", "length": 6, "count": 1}]},
        {"product": 7, "firmware": "3010-004",
         "faults": [{"opcode": "0xE6", "page": 1, "kind": "check_condition", "count": 1,
                     "sense": {"key": 5, "asc": "0x24", "ascq": 0}},
                    {"opcode": "0xE6", "page": 6, "kind": "check_condition", "skip": 1, "count": 6,
                     "sense": {"key": 2, "asc": 4, "ascq": 7}}]}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    getlog_session s(lab);
    const process_result r = s.run({"getlog", "vendor"});
    // The command replies that were saved are left out: one line of each, not the point here.
    std::string kept;
    std::istringstream lines(s.normalised(r.out) + "--- tree\n" + s.tree());
    for (std::string line; std::getline(lines, line);)
        if (line.find("/jbodlogs/") == std::string::npos || !line.ends_with("0-0-0.txt") ||
            line.starts_with("ERROR"))
            kept += line + "\n";
    expect_golden(kept, "getlog/golden/faults.txt");
}

}  // namespace
}  // namespace enctl::testing
