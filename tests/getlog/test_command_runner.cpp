// How getlog runs outside programs: exit codes of the runner, the time-out
// (on a clock that runs ahead, so the test does not wait), a program that is
// not installed, a talkative program, standard input.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/enctl_data.h"
#include "app/getlog/command_runner.h"
#include "basekit/clock.h"
#include "basekit/fixed_text.h"
#include "tests/support/console_capture.h"

namespace fs = std::filesystem;

namespace enctl::testing {
namespace {

// A clock that stands still until `ready` exists, and from then on makes
// every sleep a whole second: a time-out of seconds passes in a few
// milliseconds of real time once the command got going.
class hurried_clock final : public clock_source {
public:
    explicit hurried_clock(std::string ready) : ready_(std::move(ready)) {}
    std::uint64_t now_ms() override { return now_; }
    void sleep_ms(std::uint64_t) override {
        std::error_code ec;
        if (fs::file_size(ready_, ec) > 0 && !ec) now_ += 1000;
    }

private:
    std::string ready_;
    std::uint64_t now_ = 0;
};

class CommandRunner : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/enctl-runner-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        set_text(g_enctl_data.log_dir, dir_);
    }
    void TearDown() override {
        set_clock(nullptr);
        g_command_timeout = kDefaultCommandTimeout;
        fs::remove_all(dir_);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string dir_;
};

TEST_F(CommandRunner, ExitCodesOutputAndTheFileItWrites) {
    std::string out;
    EXPECT_EQ(run_command_capture({.argv = {"sh", "-c", "echo out; echo err >&2; exit 3"}}, out, 60), 3u);
    EXPECT_EQ(out, "out\n") << "standard error is not captured unless merged";
    EXPECT_EQ(run_command_capture({.argv = {"sh", "-c", "echo out; echo err >&2"}, .merge_errors = true}, out, 60),
              0u);
    EXPECT_EQ(out, "out\nerr\n");
    EXPECT_EQ(run_command({.argv = {"sh", "-c", "echo into the file"}, .output_file = dir_ + "/a b 'c'.txt"}), 0u);
    EXPECT_EQ(read("a b 'c'.txt"), "into the file\n");
    // An output file is created fresh: what is already at its name is left alone.
    EXPECT_EQ(run_command({.argv = {"true"}, .output_file = dir_ + "/a b 'c'.txt"}), kCommandNotStarted);
    EXPECT_EQ(read("a b 'c'.txt"), "into the file\n");
}

TEST_F(CommandRunner, AMissingProgramIsNotedInTheLogFolderAndTheRunGoesOn) {
    const std::string printed = console_output(
        [&] {
            EXPECT_EQ(run_command({.argv = {"enctl-no-such-tool", "-x"}}), kCommandNotStarted);
            EXPECT_EQ(run_command({.argv = {"enctl-no-such-tool"}}), kCommandNotStarted);
            EXPECT_EQ(run_command({.argv = {"true"}}), 0u);
        },
        kVerbosityDebug);
    EXPECT_NE(printed.find("Command failed (4294967295): enctl-no-such-tool -x\n"), std::string::npos) << printed;
    EXPECT_EQ(read("missing_tools.txt"), "enctl-no-such-tool: not installed (wanted for: enctl-no-such-tool -x)\n");
}

TEST_F(CommandRunner, ATimedOutCommandIsEndedWithWhatItStarted) {
    const std::string pid_file = dir_ + "/pid";
    hurried_clock clock(pid_file);
    set_clock(&clock);
    g_command_timeout = 5;
    const std::string printed = console_output([&] {
        EXPECT_EQ(run_command({.argv = {"sh", "-c", "sleep 300 & echo $! > \"$0\"; sleep 300", pid_file}}),
                  kCommandTimedOut);
    });
    EXPECT_EQ(printed, "Command timed out: sh -c 'sleep 300 & echo $! > \"$0\"; sleep 300' " + pid_file + "\n");
    EXPECT_GE(clock.now_ms(), 6000u) << "the time-out and up to one second more";
    // The background sleep went with its group (it may linger as a zombie of init).
    const pid_t child = std::stoi(read("pid"));
    std::string state;
    for (int i = 0; i < 200 && ::kill(child, 0) == 0; ++i) {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::getline(stat, state);
        if (state.find(") Z") != std::string::npos) break;
        ::usleep(5000);
    }
    EXPECT_TRUE(::kill(child, 0) != 0 || state.find(") Z") != std::string::npos) << state;
}

TEST_F(CommandRunner, MegabytesOfOutputAndNoInheritedInput) {
    std::string out;
    EXPECT_EQ(run_command_capture({.argv = {"head", "-c", "8000000", "/dev/zero"}}, out, 60), 0u);
    EXPECT_EQ(out.size(), 8000000u);
    EXPECT_EQ(run_command({.argv = {"head", "-c", "8000000", "/dev/zero"}, .output_file = dir_ + "/big"}), 0u);
    EXPECT_EQ(fs::file_size(dir_ + "/big"), 8000000u);

    // Whatever this process's standard input holds, the command reads nothing.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "secret\n", 7), 7);
    const int saved = ::dup(0);
    ::dup2(fds[0], 0);
    const std::uint32_t code = run_command_capture({.argv = {"cat"}}, out, 60);
    ::dup2(saved, 0);
    ::close(saved);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace enctl::testing
