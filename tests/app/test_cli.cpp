// The enctl command line, end to end through the built binary.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace enctl {
namespace {

using testing::process_options;
using testing::run_enctl;
using testing::run_process;

const std::string kBanner =
    "enctl v2.1.4.0\n"
    "Enclosure management utility for SAS JBOD enclosures; use with care.\n"
    "\n";

const std::string kGeneralUsage =
    "enctl usage:\n"
    "enctl [target [...]] operation [operation argument [...]]\n"
    "    [target] - device path (ie: SCSI1:4,64,0)\n"
    "               up to 128 targets may be specified\n"
    "               if no targets are specified, all detected devices are targeted\n"
    "    operation - operation to execute\n"
    "    [operation argument] - argument specific to given operation\n"
    "\n"
    "The following operations are supported:\n"
    "    diag       display, set, and clear diagnostic page data\n"
    "    fw         firmware related operations\n"
    "    getlog     capture various types of log data\n"
    "    iom        display and set IOM configuration\n"
    "    rcli       display detailed data about the enclousure and components\n"
    "    show       scan SEP devices and display the product or device data\n"
    "    zone       display and configure zones\n"
    "\n";

const std::string kShowUsage =
    "Usage:\n"
    "    show           scan for all enclosures and display the following:\n"
    "                       product description\n"
    "                       serial number\n"
    "                       firmware revision\n"
    "                       product name\n"
    "    show handles   display connected drives with slot #, serial number, capacity,\n"
    "                   NAA ZMDID, expander, and OS device handle name\n"
    "\n";

const std::string kOneTarget =
    "ERROR: you must specify one target enclosure for this command.\n"
    "Please use the \"show\" command for a list of supported enclosures.\n\n";

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// What a parsed run ends with on a host without enclosures: named targets
// are not found, or no enclosure is found at all.
const std::string kTargetsNotFound =
    "The given target device(s) cannot be found\n"
    "Please use the 'show' command to find the supported SEP devices\n\n";
const std::string kNoEnclosures = "No supported enclosures found\n\n";

TEST(Cli, NoArgumentsOrHelpPrintTheGeneralUsage) {
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"help"},
                             std::vector<std::string>{"SCSI1:4,64,0"}, std::vector<std::string>{"help", "version"}}) {
        const auto r = run_enctl(args);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.out, kBanner + kGeneralUsage);
        EXPECT_EQ(r.err, "");
    }
}

TEST(Cli, HelpBeforeAnOperationPrintsItsUsage) {
    auto r = run_enctl({"help", "show"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kBanner + kShowUsage);
    // After the keyword "help" is show's argument, which show refuses.
    r = run_enctl({"show", "help"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kBanner + kShowUsage);
    // A device name after the keyword is show's argument, not a target.
    r = run_enctl({"show", "SCSI1:4,64,0"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kBanner + kShowUsage);
}

TEST(Cli, VersionListsEveryModuleWithARevision) {
    const auto r = run_enctl({"version", "ignored"});
    ASSERT_EQ(r.exit_code, 0);
    const std::regex listing(
        " MODULE          VERSION     HASH\n"
        " ------          -------     ----\n"
        " enctl           2\\.1\\.4\\.0     ([0-9a-f]{40})\n"
        " vdx             1\\.14\\.16     [0-9a-f]{40}\n"
        " cmdxata         2\\.3\\.0       [0-9a-f]{40}\n"
        " cmdxnvme        8\\.2\\.0       [0-9a-f]{40}\n"
        " cmdxscan        1\\.1\\.0       [0-9a-f]{40}\n"
        " cmdxscsi        2\\.3\\.0       [0-9a-f]{40}\n"
        " cmdxses         1\\.8\\.4       [0-9a-f]{40}\n"
        " basekit         1\\.7\\.1       ([0-9a-f]{40})\n"
        "\n");
    std::smatch m;
    const std::string listed = r.out.substr(std::min(r.out.size(), kBanner.size()));
    ASSERT_TRUE(std::regex_match(listed, m, listing)) << r.out;
    EXPECT_EQ(r.out.substr(0, kBanner.size()), kBanner);

    // The revision is the last commit that touched the module's folder, when
    // the sources are a git checkout.
    const std::string source = ENCTL_SOURCE_DIR;
    const auto git = run_process({"/usr/bin/git", "-c", "safe.directory=*", "-C", source, "log", "-1",
                                  "--format=%H", "--", "basekit"});
    const auto top = run_process({"/usr/bin/git", "-c", "safe.directory=*", "-C", source, "rev-parse",
                                  "--show-toplevel"});
    if (git.exit_code == 0 && top.exit_code == 0 &&
        std::filesystem::equivalent(top.out.substr(0, top.out.find('\n')), source)) {
        EXPECT_EQ(m[2].str() + "\n", git.out);
    } else {
        EXPECT_EQ(m[2].str(), std::string(40, '0'));
    }
}

// The binary copied to a folder that an unprivileged user can reach (the
// build folder may sit under a private home).
class UnprivilegedRun : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/enctl_nonroot_XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        ::chmod(dir_.c_str(), 0755);
        binary_ = dir_ + "/enctl";
        std::filesystem::copy_file(testing::built_program("enctl"), binary_);
        ::chmod(binary_.c_str(), 0755);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
    std::string binary_;
};

TEST_F(UnprivilegedRun, EveryInvocationNeedsAdmin) {
    if (::geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
    process_options nobody;
    nobody.run_as_uid = 65534;
    nobody.run_as_gid = 65534;
    nobody.working_dir = "/";
    for (const auto& args : {std::vector<std::string>{"version"}, std::vector<std::string>{},
                             std::vector<std::string>{"help"}, std::vector<std::string>{"show"}}) {
        std::vector<std::string> argv{binary_};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = run_process(argv, nobody);
        if (r.exit_code == 126 || r.exit_code == 127) GTEST_SKIP() << "the unprivileged user cannot run " << binary_;
        EXPECT_EQ(r.exit_code, 4);
        EXPECT_EQ(r.out, "\nThis application must be run as Admin\n\n");
    }
}

TEST_F(UnprivilegedRun, RawIoCapabilityIsEnough) {
    if (::geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    // An unprivileged user that holds CAP_SYS_RAWIO (as an ambient capability).
    const auto r = run_process({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                "--inh-caps=+sys_rawio", "--ambient-caps=+sys_rawio", binary_, "version"});
    if (r.exit_code == 126 || r.exit_code == 127) GTEST_SKIP() << "the unprivileged user cannot run " << binary_;
    if (r.err.rfind("setpriv:", 0) == 0) GTEST_SKIP() << "setpriv could not set up the user: " << r.err;
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, kBanner.size()), kBanner);
}

TEST(Cli, TargetTableHolds128Names) {
    std::vector<std::string> args;
    for (int i = 0; i < 128; ++i) args.push_back("SCSI1:0," + std::to_string(i) + ",0");
    args.push_back("show");
    auto r = run_enctl(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner + kTargetsNotFound);

    args.insert(args.begin(), "SCSI9:9,9,9");
    r = run_enctl(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kBanner + "maximum of 128 targets are supported\n" + kGeneralUsage);
}

TEST(Cli, OneTargetRule) {
    struct run_case {
        std::vector<std::string> args;
        std::string tail;
        int exit_code;
    };
    const std::vector<run_case> cases = {
        {{"diag", "nickname"}, kOneTarget, 2},
        {{"A", "B", "fw", "status"}, kOneTarget, 2},
        {{"zone", "status"}, kOneTarget, 2},
        {{"iom", "oobm=A,192.168.0.10,255.255.255.0,192.168.0.1"}, kOneTarget, 2},
        {{"SCSI1:4,64,0", "diag", "nickname"}, kTargetsNotFound, 1},
        {{"SCSI1:4,64,0", "fw", "download", "f.bin", "-nostatdelay"}, kTargetsNotFound, 1},
        {{"iom", "oobm"}, kNoEnclosures, 1},
        {{"A", "B", "rcli", "show drives"}, kTargetsNotFound, 1},
        {{"getlog", "common"}, kNoEnclosures, 1},
    };
    for (const auto& c : cases) {
        const auto r = run_enctl(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args[0];
        EXPECT_EQ(r.out, kBanner + c.tail) << c.args[0];
    }
}

TEST(Cli, ADeviceNameAfterTheKeywordGoesToTheOperation) {
    // "diag SCSI1:4,64,0 nickname": two arguments for diag.
    auto r = run_enctl({"diag", "SCSI1:4,64,0", "nickname"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_PRED2(starts_with, r.out, kBanner + "ERROR: Illegal number of arguments\n\nUsage:\n    diag");
    EXPECT_NE(r.out.find("Usage:\n    diag <identifier>\n"), std::string::npos);
}

TEST(Cli, DebugTracesTheParseAndTheContext) {
    // The target comes before "debug", so its trace line is not shown.
    const auto r = run_enctl({"SCSI1:4,64,0", "debug", "SCSI1:4,64,1", "show"});
    EXPECT_EQ(r.exit_code, 1);
    const std::string expected_start = kBanner +
                                       "enabled debug\n"
                                       "add target SCSI1:4,64,1\n"
                                       "add op show\n"
                                       "host_name=";
    EXPECT_EQ(r.out.substr(0, expected_start.size()), expected_start);
    EXPECT_NE(r.out.find("\nlog_dir="), std::string::npos);
    EXPECT_NE(r.out.find("\nexecution_file="), std::string::npos);
    const std::size_t enter = r.out.find("enctl_run - enter\n");
    const std::size_t message = r.out.find(kTargetsNotFound);
    const std::size_t exit = r.out.find("enctl_run - exit\n");
    ASSERT_NE(enter, std::string::npos) << r.out;
    EXPECT_NE(message, std::string::npos) << r.out;
    EXPECT_LT(enter, message);
    EXPECT_LT(message, exit);
}

TEST(Cli, GetlogPackDirectoryMustExist) {
    auto r = run_enctl({"getlog", "common", "pack=/no/such/dir"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kBanner + "\nERROR: The specified path does not exist\n\n");
    r = run_enctl({"getlog"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_PRED2(starts_with, r.out, kBanner + "ERROR: Must specify at least one operation\n\nUsage:\n");
    EXPECT_NE(r.out.find("Usage:\n    getlog [<identifier>"), std::string::npos);
}

TEST(Cli, HttpCommandLine) {
    // Nothing listens on port 1: the run fails at once at the Query.
    auto r = run_enctl({"http=127.0.0.1:1", "user=admin", "pass=x", "health=bad"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner + "Cannot access: http://127.0.0.1:1/Query/\n"
                               "ERROR: Not able to retrieve the device name.\n\n");

    r = run_enctl({"debug", "http=localhost:1"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("add op http\n"), std::string::npos);

    for (const auto& args : {std::vector<std::string>{"http=10.11.12.13", "show", "health"},
                             std::vector<std::string>{"http=10.11.12.13/Query?x#", "show"},
                             std::vector<std::string>{"http=user@10.11.12.13"},
                             std::vector<std::string>{"SCSI1:4,64,0", "http=10.11.12.13"},
                             std::vector<std::string>{"help", "http=10.11.12.13"}}) {
        r = run_enctl(args);
        EXPECT_EQ(r.exit_code, 2) << args[0];
        EXPECT_NE(r.out.find("Usage:\n    http=<ipv4> [[user=<id> pass=<password>] <identifier>]\n"),
                  std::string::npos)
            << args[0];
    }
    r = run_enctl({"http=10.11.12.13", "show", "health"});
    EXPECT_PRED2(starts_with, r.out,
                 kBanner + "ERROR: Only one identifier may be given: \"health\" conflicts with \"show\"\n\nDescription:\n");
}

}  // namespace
}  // namespace enctl
