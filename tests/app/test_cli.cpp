// The enctl command line, end to end through the built binary.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/app/arg_table.h"
#include "tests/support/golden.h"
#include "tests/support/process.h"

namespace enctl {
namespace {

using testing::expect_golden;
using testing::golden;
using testing::process_options;
using testing::run_enctl;
using testing::run_process;

const std::string kBanner =
    "enctl v2.1.4.0\n"
    "Enclosure management utility for SAS JBOD enclosures; use with care.\n"
    "\n";
// What a run with named targets ends with on a host without enclosures.
const std::string kTargetsNotFound =
    "The given target device(s) cannot be found\n"
    "Please use the 'show' command to find the supported SEP devices\n\n";

// The output with each usage text (byte for byte) replaced by its file's name.
std::string name_usages(std::string out) {
    for (const char* name : {"general", "diag", "getlog", "http", "show"}) {
        const std::string file = std::string("usage_") + name + ".txt";
        const std::string text = golden("app/golden/" + file);
        for (std::size_t at; !text.empty() && (at = out.find(text)) != std::string::npos;)
            out.replace(at, text.size(), "<" + file + ">\n");
    }
    return out;
}

// Command lines on a host without enclosures, with their whole output (each
// revision of the version listing written "<revision>") and exit code.
TEST(Cli, CommandLines) {
    const char* const kPath = "app/golden/cli_runs.txt";
    std::string transcript;
    for (const auto& args : testing::transcript_cases(kPath, "$ enctl")) {
        const auto r = run_enctl(args);
        const std::string out = std::regex_replace(name_usages(r.out), std::regex("[0-9a-f]{40}"), "<revision>");
        transcript += "$ enctl" + (args.empty() ? "" : " " + testing::shown_words(args)) + "\n" + out +
                      (r.err.empty() ? "" : "stderr: " + r.err) + "exit " + std::to_string(r.exit_code) + "\n\n";
    }
    expect_golden(transcript, kPath);
}

// A module's revision is the last commit that touched its folder, when the
// sources are a git checkout.
TEST(Cli, VersionNamesTheRevisionOfEachModule) {
    const auto r = run_enctl({"version"});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\n basekit +[0-9.]+ +([0-9a-f]{40})\n"))) << r.out;
    const std::string source = ENCTL_SOURCE_DIR;
    const auto git = run_process({"/usr/bin/git", "-c", "safe.directory=*", "-C", source, "log", "-1",
                                  "--format=%H", "--", "basekit"});
    const auto top = run_process({"/usr/bin/git", "-c", "safe.directory=*", "-C", source, "rev-parse",
                                  "--show-toplevel"});
    if (git.exit_code == 0 && top.exit_code == 0 &&
        std::filesystem::equivalent(top.out.substr(0, top.out.find('\n')), source)) {
        EXPECT_EQ(m[1].str() + "\n", git.out);
    } else {
        EXPECT_EQ(m[1].str(), std::string(40, '0'));
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
    EXPECT_EQ(r.out, kBanner + "maximum of 128 targets are supported\n" + golden("app/golden/usage_general.txt"));
}

// Output that cannot be written is a failure, said on standard error.
TEST(Cli, WriteErrorOnStandardOutputFailsTheRun) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    for (const char* words : {"version", "show"}) {
        const auto r = run_process({"/bin/sh", "-c", "exec \"$0\" " + std::string(words) + " > /dev/full",
                                    testing::built_program("enctl")});
        EXPECT_EQ(r.exit_code, 1) << words;
        EXPECT_EQ(r.err, "ERROR: Cannot write to standard output: No space left on device\n") << words;
    }
}

TEST(Cli, DebugTracesTheParseAndTheContext) {
    // The target comes before "debug", so its trace line is not shown.
    const auto r = run_enctl({"SCSI1:4,64,0", "debug", "SCSI1:4,64,1", "show"});
    EXPECT_EQ(r.exit_code, 1);
    const std::string expected_start = kBanner + "enabled debug\nadd target SCSI1:4,64,1\nadd op show\nhost_name=";
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

}  // namespace
}  // namespace enctl
