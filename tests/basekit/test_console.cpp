#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "basekit/console.h"
#include "basekit/trace.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string temp_path() {
    char path[] = "/tmp/enctl_capture_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0) ::close(fd);
    std::remove(path);
    return path;
}

TEST(Console, LongMessageIsCutTo4095Characters) {
    const std::string big(5000, 'm');
    const std::string out = testing::console_output([&] { console_print("%s", big.c_str()); });
    EXPECT_EQ(out, std::string(4095, 'm'));
}

TEST(Console, VerbosityIsTestedAtTheCallSite) {
    const std::string out = testing::console_output([] {
        CONSOLE_PRINT(kVerbosityDebug, "debug only\n");
        CONSOLE_PRINT(kVerbosityNormal, "normal\n");
        CONSOLE_PRINT(kVerbosityOom, "oom\n");
    });
    EXPECT_EQ(out, "normal\noom\n");
}

TEST(Console, CapturesDoNotNest) {
    const std::string first = temp_path();
    const std::string second = temp_path();
    ASSERT_EQ(console_capture_begin(first), 0);
    EXPECT_EQ(console_capture_begin(second), 1);
    console_print("into %s\n", "first");
    console_capture_end();
    EXPECT_FALSE(console_capture_active());
    EXPECT_EQ(read_all(first), "into first\n");
    EXPECT_EQ(access(second.c_str(), F_OK), -1);
    std::remove(first.c_str());
}

TEST(Console, TraceTextIsNotCaptured) {
    std::string traced;
    static std::string* sink_target = nullptr;
    sink_target = &traced;
    trace_clear_sinks();
    trace_register_sink([](const char* text) { *sink_target += text; });
    const std::string path = temp_path();
    ASSERT_EQ(console_capture_begin(path), 0);
    g_trace_enter_exit = 1;
    {
        trace_scope scope("mark_ses_devices");
        console_print("console line\n");
    }
    g_trace_enter_exit = 0;
    console_capture_end();
    trace_clear_sinks();
    EXPECT_EQ(read_all(path), "console line\n");
    EXPECT_EQ(traced, "mark_ses_devices - enter\nmark_ses_devices - exit\n");
    std::remove(path.c_str());
}

TEST(Console, AppendToFileAppendsAndReportsOpenFailure) {
    const std::string path = temp_path();
    EXPECT_EQ(append_to_file(path.c_str(), "ab", 2), 0);
    EXPECT_EQ(append_to_file(path.c_str(), "cd", 2), 0);
    EXPECT_EQ(read_all(path), "abcd");
    std::remove(path.c_str());
    EXPECT_EQ(append_to_file("/nonexistent-dir/x/y", "ab", 2), 1);
}

TEST(Console, BoundedFormatCuts) {
    char buffer[16];
    EXPECT_EQ(bounded_format(buffer, 4, "%s", "abcdef"), 6);
    EXPECT_STREQ(buffer, "abc");
}

}  // namespace
}  // namespace enctl
