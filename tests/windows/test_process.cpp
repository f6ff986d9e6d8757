// The Windows process runner with real children: the test program started
// again in one of its child modes (main.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "basekit/clock.h"
#include "basekit/process.h"
#include "basekit/windows/command_line.h"

namespace enctl {
namespace {

std::string self() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

process_request child(std::vector<std::string> args) {
    process_request request;
    request.argv = {self(), "--child"};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    return request;
}

std::string crlf_free(std::string s) {
    std::erase(s, '\r');
    return s;
}

TEST(WindowsProcess, ArgumentsArriveUnsplitAndUnchanged) {
    const std::vector<std::string> args = {"plain", "two words", "", "quote\"inside", "trail\\", "back\\\\\"q", "a\\b c"};
    std::vector<std::string> all = {"args"};
    all.insert(all.end(), args.begin(), args.end());
    const process_result r = run_process(child(all));
    ASSERT_TRUE(r.started) << r.error;
    std::string expected;
    for (const auto& a : args) expected += "[" + a + "]\n";
    EXPECT_EQ(crlf_free(r.out), expected);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(windows_command_line({"a b", "c\\\"", "d\\"}), "\"a b\" \"c\\\\\\\"\" d\\");
}

TEST(WindowsProcess, StreamsExitCodesAndEnvironment) {
    process_request echo = child({"echo"});
    echo.stdin_text = std::string(100000, 'i') + "\n";  // more than a pipe holds
    process_result r = run_process(echo);
    EXPECT_EQ(crlf_free(r.out), echo.stdin_text);
    EXPECT_EQ(crlf_free(r.err), "to stderr\n");

    echo.errors = error_output::merge;
    echo.stdin_text = "in\n";
    EXPECT_EQ(crlf_free(run_process(echo).out), "in\nto stderr\n");
    echo.errors = error_output::discard;
    r = run_process(echo);
    EXPECT_EQ(crlf_free(r.out), "in\n");
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(run_process(child({"exit", "3"})).exit_code, 3);
    EXPECT_EQ(run_process(child({"exit", "-2"})).exit_code, -2);

    ::SetEnvironmentVariableA("ENCTL_TEST_VAR", "parent");
    process_request env = child({"env", "ENCTL_TEST_VAR"});
    EXPECT_EQ(run_process(env).out, "parent");
    env.env = {{"enctl_test_var", "first"}, {"ENCTL_TEST_VAR", "child"}};
    EXPECT_EQ(run_process(env).out, "child");
    env.env.clear();
    env.unset_env = {"enctl_TEST_var"};
    EXPECT_EQ(run_process(env).out, "<unset>");

    process_request big = child({"big", "200000"});
    big.capture_limit = 1000;
    r = run_process(big);
    EXPECT_EQ(r.out, std::string(1000, 'x'));
    EXPECT_TRUE(r.truncated);

    process_request missing_program;
    missing_program.argv = {"no-such-program-enctl.exe"};
    const process_result missing = run_process(missing_program);
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.error, "");
}

TEST(WindowsProcess, OutputFileIsCreatedFresh) {
    char dir[MAX_PATH] = {};
    ::GetTempPathA(sizeof dir, dir);
    const std::string file = std::string(dir) + "enctl-runner-" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(file.c_str());
    process_request request = child({"args", "to file"});
    request.output_file = file;
    ASSERT_TRUE(run_process(request).started);
    FILE* f = std::fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char text[64] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    EXPECT_EQ(crlf_free(std::string(text, n)), "[to file]\n");
    const process_result again = run_process(request);  // the file exists now
    EXPECT_FALSE(again.started);
    ::DeleteFileA(file.c_str());
}

TEST(WindowsProcess, TimeOutEndsTheChildOnTheClock) {
    virtual_clock_source clock;
    set_clock(&clock);
    process_request hang = child({"hang"});
    hang.timeout_ms = 500;
    const process_result r = run_process(hang);
    set_clock(nullptr);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_EQ(crlf_free(r.out), "started\n");
    EXPECT_GE(clock.now_ms(), 500u);
}

}  // namespace
}  // namespace enctl
