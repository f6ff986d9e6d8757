// The JSON readers of the REST client, in process: one row per document; what
// each reader prints and returns is kept in rest/golden/json.txt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "basekit/console.h"
#include "rest/http.h"
#include "rest/http_json.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

template <int (*Reader)(const char*)>
std::string printed(const char* doc) {
    return std::to_string(Reader(doc));
}

std::string query_device(const char* doc) {
    http_options options{};
    const int result = http_json_query_device(doc, options);
    return std::to_string(result) + " name=" + options.device_name + " slot=" + std::to_string(options.slot);
}

std::string job_percent(const char* doc) {
    std::int32_t percent = 42;
    const int result = http_json_fw_job_completion(doc, percent);
    return std::to_string(result) + " percent=" + std::to_string(percent);
}

std::string logs_in_progress(const char* doc) {
    std::uint32_t flag = 7;
    const int result = http_json_logsstatus_get_progress(doc, flag);
    return std::to_string(result) + " in progress=" + std::to_string(flag);
}

std::string port_id(const char* doc) {
    char id[64] = "old";
    const int result = http_json_port_id(doc, id, sizeof id);
    return std::to_string(result) + " id=" + id;
}

struct row {
    std::string (*read)(const char*);
    std::string doc;
    int verbosity = kVerbosityNormal;
};

const std::string kOk = R"("Status":{"State":{"Name":"Enabled"},"Health":[{"ID":5,"Name":"OK"}]})";

const std::string kFull = R"({"Adapters":{"Members":[{"ID":"A0","Name":"Ad",)" + kOk + R"(}]},
    "CoolingDevices":{"Members":[{"ID":"F1","Name":"Fan","Status":{"State":{"Name":"Failed"},
      "Health":[{"ID":9,"Name":"Critical"}]}},{"ID":"F2","Status":{"Health":{"ID":9}}},
      {"ID":"F3","Status":{"Health":[{"ID":"9","Name":"x"}]}}]},
    "Sensors":{"Members":[{"ID":"T","Name":"Temp","Status":{"Health":[{"ID":3,"Name":"Warning"}]}}]},
    "SystemClock":{"Date":"d"}})";

TEST(HttpJson, ReadersMatchTheGoldenFile) {
    const std::vector<row> rows = {
        {query_device, R"({"Devices":{"Members":[{"Name":")" + std::string(300, 'n') +
                           R"(","SlotNumber":7},{"Name":"second","SlotNumber":9}]}})"},
        {query_device, R"({"Devices":{"Members":[{"Name":5,"SlotNumber":"7"}]}})"},
        {query_device, "not json"},
        {printed<http_json_query_show_data>, R"({"Devices":{"Members":[{"Name":"enc01","SlotNumber":3,
            "Model":"Shelf 4U","SerialNumber":"S1","OperatingSystem":{"Version":"3.1.7"}}]}})"},
        {printed<http_json_query_show_data>, R"({"Devices":{"Members":[{"Name":"e","OperatingSystem":"3"}]}})"},
        {printed<http_json_query_show_data>, R"({"Devices":)"},
        {printed<http_json_device_list>,
         "{" + kOk + R"(,"TotalCapacity":7999999999500,"Adapters":{},"Media":{},"SystemClock":{}})"},
        {printed<http_json_device_list>, R"({"TotalCapacity":7999999999499})"},
        {printed<http_json_device_show_media>, R"({"Members":[{"ID":"D0","Name":"Slot 0",)" + kOk +
                                                   R"(,"Model":"KV","SerialNumber":"Z1","Version":"SN04",
            "Protocol":{"Name":"SAS"},"Capacity":999999500},
            {"ID":"D1","Capacity":999999499,"Status":{"Health":{"ID":5,"Name":"OK"}}}]})"},
        {printed<http_json_device_show_controller>, R"({"Members":[{"ID":"C1",)" + kOk +
                                                        R"(,"Rebootable":true},
            {"ID":"C2","Rebootable":false},{"ID":"C3","Rebootable":"yes"}]})"},
        {printed<http_json_device_show_port>, R"({"Members":[{"ID":"P1","Name":"mgmt",)" + kOk +
                                                  R"(,"IPv4Address":"10.0.0.2","IPv4Gateway":"10.0.0.1",
            "MACAddress":"00:11","NetworkType":{"Name":"Ethernet"},"AddressOrigin":{"Name":"Static"},"MTUBytes":1500}]})"},
        {printed<http_json_device_show_power>,
         R"({"Members":[{"ID":"PS","Name":"P",)" + kOk + R"(,"PartNumber":"PN","SerialNumber":"SN"}]})"},
        {printed<http_json_device_show_sensor>, R"({"Members":[{"ID":"T1","SensorType":{"Name":"Temperature"},
            "CurrentReading":31.8,"BaseUnits":{"Name":"C"}}]})"},
        {printed<http_json_device_show_adapter>, R"({"Members":[{"ID":"A\u001b[31m","Name":"x\u0007\u009by"}]})"},
        {printed<http_json_device_show_cooling>, R"({"Members":[]})"},
        {printed<http_json_device_show_cooling>, R"({"error":{"code":"NotFound"}})"},
        {printed<http_json_device_show_clock>, R"({"Date":"2026-12-06","Time":"20:15:07","TimeZone":"UTC",
            "Runtime":{"Days":412,"Hours":7,"Minutes":5,"Seconds":9},"Uptime":{"Days":3,"Hours":23,"Minutes":59}})"},
        {printed<http_json_device_show_adapter>, R"({"Nothing":1})", kVerbosityDebug},
        {printed<http_json_device_show_adapter>, R"({"Members":[{"ID":"A"}]})", kVerbosityDebug},
        {printed<http_json_device_show_adapter>, "{oops", kVerbosityDebug},
        {printed<http_json_health_check_all>, kFull},
        {printed<http_json_health_check_bad>, kFull},
        {printed<http_json_health_check_bad>, R"({"Media":{"Members":[{"ID":"D",)" + kOk + "}]}}"},
        {job_percent, R"({"PercentComplete":75})"},
        {job_percent, R"({"PercentComplete":"80"})"},
        {job_percent, R"({"error":{}})"},
        {job_percent, ""},
        {logs_in_progress, R"({"InProgress":false})"},
        {logs_in_progress, R"({"InProgress":true})"},
        {logs_in_progress, R"({"InProgress":"no"})"},
        {logs_in_progress, "["},
        {port_id, R"({"Members":[{"ID":"P1"},{"ID":"P2"}]})"},
        {port_id, R"({"Other":1})"},
        {port_id, R"({"Members":[{"ID":"P3"},{"Name":"x"}]})"},
        {port_id, R"({"Members":[{"ID":")" + std::string(80, 'p') + "\"}]}"},
        {printed<http_json_port_show_data>, R"({"Members":[{"ID":"P1","Status":{"State":{"Name":"Enabled"}},
            "IPv4Address":"10.0.0.2","IPv4Gateway":"10.0.0.1","MACAddress":"00:11","AddressOrigin":{"Name":"DHCP"},
            "MTUBytes":1500},{"ID":"P2"}]})"},
    };
    std::string text;
    for (const auto& r : rows) {
        std::string result;
        const std::string out = testing::console_output([&] { result = r.read(r.doc.c_str()); }, r.verbosity);
        text += "== " + r.doc + (r.verbosity == kVerbosityDebug ? " (debug)\n" : "\n") + out + "-> " + result + "\n";
    }
    testing::expect_golden(text, "rest/golden/json.txt");
}

TEST(HttpJson, CapacitiesAreCutAfterAdding500Bytes) {
    EXPECT_EQ(http_capacity_gb(999999499), 0u);
    EXPECT_EQ(http_capacity_gb(999999500), 1u);
    EXPECT_EQ(http_capacity_tb(-1e15), 0u);
    EXPECT_EQ(http_capacity_tb(1e30), UINT32_MAX);
}

TEST(HttpJson, PortSettingsBodiesAreBuiltAsJson) {
    EXPECT_EQ(http_json_port_settings(true, "ignored"), R"({"AddressOrigin":{"ID":65536}})");
    EXPECT_EQ(http_json_port_settings(false, "1\",\"x\":\"y"),
              R"({"AddressOrigin":{"ID":3},"IPv4Address":"1\",\"x\":\"y"})");
}

TEST(HttpUrl, SegmentsArePercentEncodedAndDotSegmentsRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"enc01", "enc01"},         {"IOM1-MGMT_a.b~c", "IOM1-MGMT_a.b~c"}, {"Shelf 01", "Shelf%2001"},
        {"../a/b", "..%2Fa%2Fb"},   {"a%2F?#", "a%252F%3F%23"},          {"\x7f\xc3\xa9", "%7F%C3%A9"},
        {"...", "..."},             {".", ""},                           {"..", ""},
        {"", ""},
    };
    for (const auto& [text, segment] : cases) EXPECT_EQ(http_url_segment(text), segment) << text;
}

}  // namespace
}  // namespace enctl
