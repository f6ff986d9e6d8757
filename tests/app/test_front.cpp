// The front end in-process: the command line, the operation table and what
// its descriptors answer, the usage texts and the program context.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "app/args.h"
#include "app/enctl_data.h"
#include "basekit/platform.h"
#include "tests/app/arg_table.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

using testing::console_output;
using testing::expect_golden;

const operation& find(std::string_view keyword) {
    for (const operation* listed : operations())
        if (listed->keyword == keyword) return *listed;
    ADD_FAILURE() << "no operation " << keyword;
    return *operations().front();
}

// After a parse that gives 0: the chosen operation and what the front end
// asks of it: exactly one target, disks in the table, a run even without
// enclosures (1/0 each), what the run needs, and the folder of the log folder.
std::string answers(const operation& o) {
    const char* needs[] = {"nothing", "context", "devices"};
    return std::string(o.keyword) + " " + std::to_string(asks(o.needs_one_target)) +
           std::to_string(asks(o.needs_end_devices)) + std::to_string(asks(o.runs_without_enclosures)) + " " +
           needs[static_cast<int>(o.needs)] + " " + (o.log_base_dir ? o.log_base_dir() : "");
}

// The cases of app/golden/command_lines.txt: result, message, targets, the
// chosen operation and its answers.
TEST(Front, CommandLines) {
    const char* const kPath = "app/golden/command_lines.txt";
    std::string transcript;
    enctl_run_state state;  // each parse starts from a clear state
    for (const testing::word_list& line : testing::transcript_cases(kPath)) {
        int result = -1;
        const std::string printed =
            console_output([&] { result = enctl_parse_args(state, testing::words(line).span()); });
        std::string entry = testing::transcript_line(line, result, printed) + " targets:";
        for (const auto& name : state.target_names) entry += " " + name;
        if (state.chosen) entry += " | " + (result == 0 ? answers(*state.chosen) : state.chosen->keyword);
        transcript += testing::transcript_text(entry) + "\n";
    }
    expect_golden(transcript, kPath);
}

TEST(Front, UsageTexts) {
    expect_golden(console_output(enctl_usage), "app/golden/usage_general.txt");
    for (const char* keyword : {"diag", "fw", "getlog", "http", "iom", "rcli", "show", "zone"}) {
        ASSERT_NE(find(keyword).usage, nullptr) << keyword;
        expect_golden(console_output(find(keyword).usage), std::string("app/golden/usage_") + keyword + ".txt");
        EXPECT_EQ(console_output(find(keyword).usage, kVerbosityOom), "") << keyword;
    }
}

TEST(Front, ProgramContext) {
    std::tm when{};
    std::istringstream("2021-03-15 14:25:01") >> std::get_time(&when, "%Y-%m-%d %H:%M:%S");
    const std::string host = platform_host_name();
    const std::string package = "enctl_" + host + "_20210315_142501";
    const std::string out = console_output([&] { init_enctl_data_at("/var/tmp/", when); }, kVerbosityDebug);
    EXPECT_EQ(out, "host_name=" + host + "\nbase_dir=/var/tmp\npackage_name=" + package + "\nlog_dir=/var/tmp/" +
                       package + "\nexecution_file=" + platform_executable_path() + "\n");

    // Without a pack directory: TMPDIR, else /tmp; only one separator is removed.
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    ::setenv("TMPDIR", "/scratch//", 1);
    init_enctl_data_at("", when);
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
