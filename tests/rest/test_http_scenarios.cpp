// The http operation in process against the test REST service. A scenario is
// a service configuration and the command lines run against it; their
// outputs, the requests they made and the files left behind are kept in
// rest/golden/<scenario>.txt. In the command lines "<dir>" is an empty folder
// (the run's log folder is "<dir>/run") and "<img>" one holding fw.bin (1500
// bytes) and empty.bin.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "basekit/clock.h"
#include "basekit/fixed_text.h"
#include "rest/http.h"
#include "rest/http_args.h"
#include "tests/rest/rest_service.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

using testing::rest_service;

struct scenario {
    const char* name;
    const char* config;
    std::vector<std::string> runs;
};

void PrintTo(const scenario& s, std::ostream* out) { *out << s.name; }

const scenario kScenarios[] = {
    {"query", R"({"answers": {"GET /Query/": [{"delay": 0.3}, {"body": ""}, {"body": "Service Unavailable"},
        {"body": {"Devices": {}}}, {"drop": true}, {"status": 503, "body": {"Devices": {"Members": [{"Name": "x"}]}}},
        {}]}})",
     {"", "", "iom", "getlog", "show", "health", "http=127.0.0.1:1 show"}},
    {"show", "{}",
     {"show", "show=adapter", "show=controller", "show=cooling", "show=media", "show=port", "show=power",
      "show=sensor", "show=clock", "show=Media"}},
    {"show_failures", R"({"answers": {"GET /Storage/Devices/enc01": {"body": "<html>not json</html>"},
        "GET /Storage/Devices/enc01/Adapters/": {"drop": true},
        "GET /Storage/Devices/enc01/PowerSupplies/": {"status": 404, "body": {"Members": []}}}})",
     {"show", "show=adapter", "show=power"}},
    {"health", "{}", {"health", "health=bad"}},
    {"credentials", R"({"password": "other"})",
     {"show", "show=sensor", "health", "iom", "iom=dhcp", "getlog dir=<dir>", "fw=<img>/fw.bin", "user=admin health",
      "user=admin pass=other health=bad"}},
    {"fw", R"({"user": "ops", "password": "s3cret"})", {"user=ops pass=s3cret fw=<img>/fw.bin"}},
    {"fw_failures", R"({"answers": {
        "GET /Storage/Devices/enc01/": [{"body": {}, "headers": {"Etag": "\"0123456789abcdef0123456789abcdef\""}}, {}],
        "POST /Storage/Devices/enc01/OperatingSystem/": [{"status": 500}, {}],
        "PUT /Storage/Devices/enc01/": [{"status": 412, "body": {"error": "stale"}}, {}],
        "GET /Storage/Devices/enc01/Jobs/FirmwareActivate/": {"status": 404}}})",
     {"fw=<img>/missing.bin", "fw=<img>", "fw=<img>/fw.bin", "fw=<img>/fw.bin", "fw=<img>/fw.bin",
      "fw=<img>/fw.bin"}},
    {"fw_timeout", R"({"answers": {"GET /Storage/Devices/enc01/Jobs/FirmwareUpdate/": {"body": {"PercentComplete": 0}}}})",
     {"fw=<img>/empty.bin"}},
    // Jobs that the enclosure reports as failed: the install (at 100 percent)
    // and the log collection (a former collection's failure before LogsStart
    // does not count).
    {"job_failures", R"({"answers": {
        "GET /Storage/Devices/enc01/Jobs/FirmwareUpdate/": {"body": {"PercentComplete": 100, "JobState": {"Name": "Exception"}}},
        "GET /Storage/Devices/enc01/LogsStatus": {"body": {"InProgress": false, "State": "failed"}}}})",
     {"fw=<img>/fw.bin", "getlog dir=<dir>"}},
    {"getlog", "{}",
     {"getlog dir=<dir>", "getlog dir=<dir>", "getlog dir=<dir>/none", "getlog", "getlog"}},
    {"getlog_failures", R"({"answers": {
        "GET /Storage/Devices/enc01/LogsStatus": [{"body": {"InProgress": true}}, {"body": "busy"}, {"status": 500}, {}],
        "GET /Storage/Devices/enc01/LogsStart": [{"status": 500}, {}],
        "GET /Storage/Devices/enc01/LogsFetch": [{"status": 404, "body": {"error": "none"}}, {"drop": true}]}})",
     {"getlog dir=<dir>", "getlog dir=<dir>", "getlog dir=<dir>", "getlog", "getlog", "getlog dir=<dir>"}},
    {"getlog_polls", R"({"answers": {"GET /Storage/Devices/enc01/LogsStatus": [{"body": {"InProgress": false}},
        {"body": {"InProgress": false}}, {"body": {"InProgress": false}}, {"body": {"InProgress": true}}]}})",
     {"getlog dir=<dir>", "getlog"}},
    {"iom", "{}", {"iom", "iom=dhcp", "iom=10.9.8.7"}},
    {"iom_failures", R"({"answers": {"PUT /Storage/Devices/enc01/Ports/IOM1-MGMT": {"status": 412},
        "GET /Storage/Devices/enc01/Ports/": [{}, {"body": {"Members": [{"ID": "IOM1-MGMT"}, {"ID": "IOM2-MGMT"}]}},
            {"body": {"Members": [{"ID": "../x y"}]}}, {"body": {"Members": [{"ID": ".."}]}},
            {"body": {"Members": []}}, {"status": 500}]}})",
     {"iom=10.9.8.7", "iom=dhcp", "iom=dhcp", "iom=dhcp", "iom=dhcp", "iom=dhcp"}},
    {"device_names", R"({"answers": {"GET /Query/": [
        {"body": {"Devices": {"Members": [{"Name": "Shelf 01", "SlotNumber": 1}]}}},
        {"body": {"Devices": {"Members": [{"Name": "a/b", "SlotNumber": 2}]}}},
        {"body": {"Devices": {"Members": [{"Name": "..", "SlotNumber": 3}]}}},
        {"body": {"Devices": {"Members": [{"Name": "enc\u0001\u001b[2J\u009b1m", "SlotNumber": 4}]}}}]}})",
     {"iom", "getlog dir=<dir>", "iom", "iom"}},
};

// One command line in process, with a virtual clock: the exit code of the
// run (2 when the words are refused) and what it printed.
std::string run_in_process(const std::string& address, const std::string& words, int& code) {
    std::vector<std::string> args;
    std::istringstream in(words);
    for (std::string word; in >> word;) args.push_back(word);
    if (args.empty() || args[0].rfind("http=", 0) != 0) args.insert(args.begin(), "http=" + address);
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    virtual_clock_source clock;
    set_clock(&clock);
    http_options options{};
    const std::string out =
        testing::console_output([&] { code = http_parse_args(options, argv) != 0 ? 2 : http_run(options); });
    set_clock(nullptr);
    return out;
}

class HttpScenario : public ::testing::TestWithParam<scenario> {};

TEST_P(HttpScenario, MatchesItsGoldenFile) {
    const scenario& s = GetParam();
    testing::scratch_dir scratch;
    const std::string dir = scratch.path() + "/logs", img = scratch.path() + "/img";
    std::filesystem::create_directories(dir);
    std::filesystem::create_directories(img);
    std::string image(1500, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13);
    testing::write_file(img + "/fw.bin", image);
    testing::write_file(img + "/empty.bin", "");
    rest_service service(s.config);
    ASSERT_FALSE(service.address().empty());
    http_set_run_log_dir(dir + "/run");
    std::string text;
    for (const auto& words : s.runs) {
        int code = -1;
        const std::string line = testing::replace_all(testing::replace_all(words, "<dir>", dir), "<img>", img);
        const std::string out = run_in_process(service.address(), line, code);
        text += testing::transcript(words, out, code, service);
    }
    http_set_run_log_dir("");
    text += "--- files left\n" + testing::listing(dir);
    text = testing::replace_all(testing::replace_all(text, dir, "<dir>"), img, "<img>");
    testing::expect_golden(testing::replace_all(text, service.address(), "<service>"),
                           std::string("rest/golden/") + s.name + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Rest, HttpScenario, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// Identifiers are parsed one at a time, so the driver's order is seen only
// with a record filled by hand: show wins over fw and getlog.
TEST(HttpDriver, ShowWinsAndDefaultsApply) {
    rest_service service;
    http_options options{};
    set_text(options.address, service.address());
    options.show = options.fw = options.getlog = 1;
    set_text(options.fw_file, "/no/such/image.bin");
    testing::console_output([&] { EXPECT_EQ(http_run(options), 0); });
    EXPECT_EQ(service.new_requests(), "> GET /Query/ -\n> GET /Storage/Devices/enc01 admin:tovek\n");
}

}  // namespace
}  // namespace enctl
