#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "basekit/clock.h"
#include "basekit/process.h"
#include "sim/lab.h"
#include "sim/sysfs_tree.h"

namespace enctl {
namespace {

namespace fs = std::filesystem;

process_result run(std::vector<std::string> argv, process_request request = {}) {
    request.argv = std::move(argv);
    return run_process(request);
}

fs::path scratch(const char* name) {
    const fs::path dir = fs::temp_directory_path() / (name + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

TEST(ProcessRunner, ExitCodeStreamsAndUninterpretedArguments) {
    const auto r = run({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(run({"echo", "$HOME", "a;b", "*", "`id`", "x > y"}).out, "$HOME a;b * `id` x > y\n");
    const auto missing = run({"/no/such/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.error.find("/no/such/program"), std::string::npos);
}

TEST(ProcessRunner, InputEnvironmentAndCaptureBound) {
    process_request request;
    request.stdin_text = std::string(200000, 'i');  // more than a pipe holds
    request.capture_limit = 1000;
    const auto cat = run({"cat"}, request);
    EXPECT_EQ(cat.exit_code, 0);
    EXPECT_EQ(cat.out, std::string(1000, 'i'));
    EXPECT_TRUE(cat.truncated);

    ::setenv("ENCTL_KEPT", "k", 1);
    ::setenv("ENCTL_GONE", "g", 1);
    ::setenv("ENCTL_A", "0", 1);
    request = {};
    request.env = {{"ENCTL_A", "1"}, {"ENCTL_A", "2"}};
    request.unset_env = {"ENCTL_GONE"};
    const std::string env = run({"/usr/bin/env"}, request).out;
    for (const char* name : {"ENCTL_KEPT", "ENCTL_GONE", "ENCTL_A"}) ::unsetenv(name);
    EXPECT_NE(env.find("ENCTL_KEPT=k\n"), std::string::npos) << env;
    EXPECT_NE(env.find("ENCTL_A=2\n"), std::string::npos);
    for (const char* gone : {"ENCTL_A=0", "ENCTL_A=1", "ENCTL_GONE"}) EXPECT_EQ(env.find(gone), std::string::npos);
}

TEST(ProcessRunner, OutputFileIsCreatedFreshWithErrorsMerged) {
    const fs::path dir = scratch("enctl-process-");
    process_request request;
    request.output_file = (dir / "out.txt").string();
    request.errors = error_output::merge;
    const auto r = run({"/bin/sh", "-c", "echo a; echo b >&2"}, request);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    std::stringstream text;
    text << std::ifstream(request.output_file).rdbuf();
    EXPECT_EQ(text.str(), "a\nb\n");

    fs::create_symlink(dir / "elsewhere", dir / "link.txt");
    for (const char* name : {"out.txt", "link.txt"}) {
        request.output_file = (dir / name).string();
        EXPECT_FALSE(run({"true"}, request).started) << name;
    }
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    fs::remove_all(dir);
}

bool process_gone(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pid_text, name, state;
        if (!(stat >> pid_text >> name >> state) || state == "Z") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ProcessRunner, TimeOutOnTheClockEndsTheWholeGroup) {
    virtual_clock_source clock;
    set_clock(&clock);
    process_request request;
    request.timeout_ms = 200;
    const auto r = run({"/bin/sh", "-c", "sleep 1000 & echo $!; wait"}, request);
    set_clock(nullptr);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_GE(clock.now_ms(), 200u);
    const pid_t sleeper = std::atoi(r.out.c_str());
    ASSERT_GT(sleeper, 0) << r.out;
    EXPECT_TRUE(process_gone(sleeper));
}

TEST(VirtualClock, HonouredOnlyUnderALabRoot) {
    const fs::path dir = scratch("enctl-clock-");
    const std::string lab = (dir / "lab").string();
    std::string error;
    ASSERT_TRUE(sim::write_sysfs_tree(sim::lab(sim::lab_description{}), lab, error)) << error;
    fs::create_directories(dir / "host");
    fs::create_symlink(dir / "lab" / kLabRootMarker, dir / "host" / kLabRootMarker);
    EXPECT_TRUE(virtual_clock_wanted("1", lab.c_str()));
    EXPECT_FALSE(virtual_clock_wanted("0", lab.c_str()));
    EXPECT_FALSE(virtual_clock_wanted("1", nullptr));
    EXPECT_FALSE(virtual_clock_wanted("1", "/"));
    EXPECT_FALSE(virtual_clock_wanted("1", (dir / "host").c_str()));  // a link is not the marker
    fs::remove_all(dir);
}

}  // namespace
}  // namespace enctl
