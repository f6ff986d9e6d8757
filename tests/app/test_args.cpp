// The front end's argument parser and program context, in-process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/args.h"
#include "app/enctl_data.h"
#include "basekit/platform.h"
#include "basekit/trace.h"
#include "rest/http_args.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

using testing::console_output;

struct command_line {
    command_line(std::initializer_list<std::string> list) : text{"enctl"} {
        text.insert(text.end(), list);
        for (const auto& w : text) ptrs.push_back(w.c_str());
    }
    std::vector<std::string> text;
    std::vector<const char*> ptrs;
};

int parse(enctl_run_state& state, const command_line& line, std::string* out = nullptr) {
    int rc = -1;
    const std::string printed = console_output([&] { rc = enctl_parse_args(state, line.ptrs); });
    if (out) *out = printed;
    return rc;
}

TEST(Args, TargetsComeBeforeTheKeywordOnly) {
    enctl_run_state state;
    EXPECT_EQ(parse(state, {"SCSI1:4,64,0", "scsi2:0,1,0", "rcli", "show drives"}), 0);
    EXPECT_EQ(state.operation_code, kOperationRcli);
    EXPECT_EQ(state.target_names, (std::vector<std::string>{"SCSI1:4,64,0", "scsi2:0,1,0"}));
    EXPECT_STREQ(state.rcli.command, "show drives");

    // The parser starts from a clear state.
    EXPECT_EQ(parse(state, {"iom"}), 0);
    EXPECT_TRUE(state.target_names.empty());
    EXPECT_EQ(state.iom.show, 1u);
    EXPECT_STREQ(state.rcli.command, "");
}

TEST(Args, OperationCodesAndResults) {
    enctl_run_state state;
    EXPECT_EQ(parse(state, {}), 1);
    EXPECT_EQ(state.operation_code, kOperationNone);
    EXPECT_EQ(parse(state, {"SCSI1:4,64,0"}), 1);
    EXPECT_EQ(parse(state, {"version", "anything"}), 0);
    EXPECT_EQ(state.operation_code, kOperationVersion);
    EXPECT_EQ(parse(state, {"help", "zone", "status"}), 1);
    EXPECT_EQ(state.operation_code, kOperationZone);
    EXPECT_EQ(parse(state, {"getlog", "common", "pack=/no/such"}), 2);
    EXPECT_EQ(state.operation_code, kOperationGetlog);
    EXPECT_EQ(parse(state, {"Show"}), 1);  // keywords are case-sensitive: a target
    EXPECT_EQ(state.target_names.size(), 1u);
    const std::vector<std::pair<std::string, std::uint32_t>> codes = {
        {"diag", 1}, {"fw", 2}, {"getlog", 3}, {"iom", 6}, {"rcli", 7}, {"show", 8}, {"version", 9}, {"zone", 10}};
    for (const auto& [word, code] : codes) {
        parse(state, {"help", word});
        EXPECT_EQ(state.operation_code, code) << word;
    }
}

TEST(Args, DebugSetsTraceAndVerbosityAndIsClearedByTheNextParse) {
    enctl_run_state state;
    const int saved = g_console_verbosity;
    std::string out;
    EXPECT_EQ(parse(state, {"debug", "show", "handles"}, &out), 0);
    EXPECT_EQ(g_trace_level, kTraceDevice);
    EXPECT_EQ(g_trace_enter_exit, 1u);
    EXPECT_EQ(state.show.handles, 1u);
    EXPECT_EQ(parse(state, {"show"}), 0);
    EXPECT_EQ(g_trace_level, 0u);
    EXPECT_EQ(g_trace_enter_exit, 0u);
    g_console_verbosity = saved;
    trace_clear_sinks();
}

TEST(Args, TargetTableLimit) {
    enctl_run_state state;
    std::string out;
    for (int i = 0; i < 128; ++i) EXPECT_EQ(add_target(state, ("t" + std::to_string(i)).c_str()), 0);
    out = console_output([&] { EXPECT_EQ(add_target(state, "t128"), 1); }, kVerbosityOom);
    EXPECT_EQ(out, "maximum of 128 targets are supported\n");
    EXPECT_EQ(state.target_names.size(), 128u);
    EXPECT_EQ(state.target_names.back(), "t127");
}

TEST(Args, HttpWordSelectsTheHttpOperation) {
    enctl_run_state state;
    EXPECT_EQ(parse(state, {"http=10.0.0.7:8443", "user=root", "getlog", "dir=/var/tmp/logs"}), 0);
    EXPECT_EQ(state.operation_code, kOperationHttp);
    EXPECT_STREQ(state.http.address, "10.0.0.7:8443");
    EXPECT_STREQ(state.http.user, "root");
    EXPECT_STREQ(state.http.password, "");  // the operation applies its default
    EXPECT_EQ(state.http.getlog, 1u);
    EXPECT_STREQ(state.http.getlog_dir, "/var/tmp/logs");
    std::string out;
    EXPECT_EQ(parse(state, {"SCSI1:4,64,0", "http=10.0.0.7"}, &out), 1);
    EXPECT_EQ(out, "ERROR: the http operation does not take target devices\n\n");
    EXPECT_EQ(state.operation_code, kOperationHttp);
}

TEST(EnctlData, ContextFromPackDirectoryAndTime) {
    std::tm when{};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 15;
    when.tm_hour = 14;
    when.tm_min = 25;
    when.tm_sec = 1;
    const std::string host = platform_host_name();
    const std::string out = console_output([&] { init_enctl_data_at("/var/tmp/", when); }, kVerbosityDebug);
    EXPECT_STREQ(g_enctl_data.host_name, host.c_str());
    EXPECT_STREQ(g_enctl_data.base_dir, "/var/tmp");
    const std::string package = "enctl_" + host + "_20210315_142501";
    EXPECT_EQ(std::string(g_enctl_data.package_name), package);
    EXPECT_EQ(std::string(g_enctl_data.log_dir), "/var/tmp/" + package);
    EXPECT_EQ(std::string(g_enctl_data.execution_file), platform_executable_path());
    EXPECT_STREQ(g_enctl_data.log_sub_dir, "");
    EXPECT_EQ(out, "host_name=" + host + "\nbase_dir=/var/tmp\npackage_name=" + package + "\nlog_dir=/var/tmp/" +
                       package + "\nexecution_file=" + platform_executable_path() + "\n");

    // Without a pack directory: TMPDIR, else /tmp; only one separator is removed.
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    ::setenv("TMPDIR", "/scratch//", 1);
    init_enctl_data_at("", when);
    EXPECT_STREQ(g_enctl_data.base_dir, "/scratch/");
    EXPECT_EQ(std::string(g_enctl_data.log_dir), "/scratch//" + package);
    ::unsetenv("TMPDIR");
    init_enctl_data_at(nullptr, when);
    EXPECT_EQ(std::string(g_enctl_data.log_dir), "/tmp/" + package);
    init_enctl_data_at("/", when);
    EXPECT_EQ(std::string(g_enctl_data.log_dir), "/" + package);
    if (saved) ::setenv("TMPDIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace enctl
