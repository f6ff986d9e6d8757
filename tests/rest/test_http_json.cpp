// JSON readers and formatters of the REST client, in-process.
#include <gtest/gtest.h>

#include <string>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "rest/http.h"
#include "rest/http_json.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

using testing::console_output;

const char* kStatusOk = R"("Status":{"State":{"Name":"Enabled"},"Health":[{"ID":5,"Name":"OK"}]})";

std::string with_status(const std::string& fields) { return std::string("{") + kStatusOk + "," + fields + "}"; }

TEST(HttpJsonQuery, FirstDeviceOnlyAndNameCut) {
    http_options options{};
    const std::string long_name(300, 'n');
    const std::string doc = R"({"Devices":{"Members":[{"Name":")" + long_name +
                            R"(","SlotNumber":7},{"Name":"second","SlotNumber":9}]}})";
    EXPECT_EQ(http_json_query_device(doc.c_str(), options), 0);
    EXPECT_EQ(text_of(options.device_name), std::string(255, 'n'));
    EXPECT_EQ(options.slot, 7u);

    http_options wrong_types{};
    EXPECT_EQ(http_json_query_device(R"({"Devices":{"Members":[{"Name":5,"SlotNumber":"7"}]}})", wrong_types), 0);
    EXPECT_EQ(wrong_types.device_name[0], '\0');
    EXPECT_EQ(wrong_types.slot, 0u);
    EXPECT_EQ(http_json_query_device("not json", wrong_types), 1);
}

TEST(HttpJsonQuery, ShowDataLinesOnlyWhenPresent) {
    const char* doc = R"({"Devices":{"Members":[{"Name":"enc01","SlotNumber":3,"Model":"Shelf 4U",
        "SerialNumber":"S1","OperatingSystem":{"Version":"3.1.7"}}]}})";
    EXPECT_EQ(console_output([&] { http_json_query_show_data(doc); }),
              "Model   : Shelf 4U\nSerial  : S1\nName    : enc01\nFirmware: 3.1.7\nSlot    : 3\n");
    EXPECT_EQ(console_output([&] {
                  http_json_query_show_data(R"({"Devices":{"Members":[{"Name":"e","OperatingSystem":"3"}]}})");
              }),
              "Name    : e\n");
    int result = 0;
    EXPECT_EQ(console_output([&] { result = http_json_query_show_data("{\"Devices\":"); }), "");
    EXPECT_EQ(result, 1);
}

TEST(HttpJsonDevice, ListWithCapacityCutAndOfferedResources) {
    const std::string doc = with_status(R"("TotalCapacity":7999999999500,"Adapters":{},"Media":{},"SystemClock":{})");
    EXPECT_EQ(console_output([&] { http_json_device_list(doc.c_str()); }),
              "State       : Enabled\nHealth      : OK\nCapacity    : 8 TB\n\n"
              "More data is available for the following devices:\n  adapter\n  media\n  clock\n\n");
    EXPECT_EQ(console_output([] { http_json_device_list(R"({"TotalCapacity":7999999999499})"); }),
              "Capacity    : 7 TB\n\nMore data is available for the following devices:\n\n");
    EXPECT_EQ(http_capacity_gb(999999499), 0u);
    EXPECT_EQ(http_capacity_gb(999999500), 1u);
    EXPECT_EQ(http_capacity_tb(-1e15), 0u);
    EXPECT_EQ(http_capacity_tb(1e30), UINT32_MAX);
}

TEST(HttpJsonShow, CommonBlockAndPerKindLines) {
    const std::string media = "{\"Members\":[" +
                              with_status(R"("ID":"D0","Name":"Slot 0","Model":"KV","SerialNumber":"Z1",
        "Version":"SN04","Protocol":{"Name":"SAS"},"Capacity":999999500)") +
                              "," + R"({"ID":"D1","Capacity":999999499,"Status":{"Health":{"ID":5,"Name":"OK"}}})" +
                              "]}";
    EXPECT_EQ(console_output([&] { http_json_device_show_media(media.c_str()); }),
              "\nID          : D0\nName        : Slot 0\nState       : Enabled\nHealth      : OK\n"
              "Model       : KV\nSerial      : Z1\nVersion     : SN04\nProtocol    : SAS\nCapacity    : 1 GB\n"
              "\nID          : D1\nCapacity    : 0 GB\n");

    const std::string controllers = "{\"Members\":[" + with_status(R"("ID":"C1","Rebootable":true)") + "," +
                                    R"({"ID":"C2","Rebootable":false},{"ID":"C3","Rebootable":"yes"})" + "]}";
    EXPECT_EQ(console_output([&] { http_json_device_show_controller(controllers.c_str()); }),
              "\nID          : C1\nState       : Enabled\nHealth      : OK\nRebootable  : Yes\n"
              "\nID          : C2\nRebootable  : No\n\nID          : C3\n");

    const std::string ports = "{\"Members\":[" + with_status(R"("ID":"P1","Name":"mgmt","IPv4Address":"10.0.0.2",
        "IPv4Gateway":"10.0.0.1","MACAddress":"00:11","NetworkType":{"Name":"Ethernet"},
        "AddressOrigin":{"Name":"Static"},"MTUBytes":1500)") + "]}";
    EXPECT_EQ(console_output([&] { http_json_device_show_port(ports.c_str()); }),
              "\nID          : P1\nState       : Enabled\nHealth      : OK\nIPv4Address : 10.0.0.2\n"
              "IPv4Gateway : 10.0.0.1\nMACAddress  : 00:11\nNetwork     : Ethernet\nType        : Static\n"
              "MTU Bytes   : 1500\n");

    const std::string power = "{\"Members\":[" + with_status(R"("ID":"PS","Name":"P","PartNumber":"PN",
        "SerialNumber":"SN")") + "]}";
    EXPECT_EQ(console_output([&] { http_json_device_show_power(power.c_str()); }),
              "\nID          : PS\nName        : P\nState       : Enabled\nHealth      : OK\nPart        : PN\n"
              "Serial      : SN\n");

    const char* sensors = R"({"Members":[{"ID":"T1","SensorType":{"Name":"Temperature"},"CurrentReading":31.8,
        "BaseUnits":{"Name":"C"}}]})";
    EXPECT_EQ(console_output([&] { http_json_device_show_sensor(sensors); }),
              "\nID          : T1\nType        : Temperature\nReading     : 31\nBase unit   : C\n");

    EXPECT_EQ(console_output([] { http_json_device_show_adapter(R"({"Members":[{"ID":"A"}]})"); }),
              "\nID          : A\n");
    EXPECT_EQ(console_output([] { http_json_device_show_cooling(R"({"Members":[]})"); }), "");
    // No "Members": nothing at normal verbosity.
    EXPECT_EQ(console_output([] { http_json_device_show_cooling(R"({"error":{"code":"NotFound"}})"); }), "");
}

TEST(HttpJsonShow, ClockLinesAndIncompleteDurations) {
    const char* clock = R"({"Date":"2026-12-06","Time":"20:15:07","TimeZone":"UTC",
        "Runtime":{"Days":412,"Hours":7,"Minutes":5,"Seconds":9},"Uptime":{"Days":3,"Hours":23,"Minutes":59}})";
    EXPECT_EQ(console_output([&] { http_json_device_show_clock(clock); }),
              "\nDate        : 2026-12-06\nTime        : 20:15:07\nTime zone   : UTC\n"
              "Runtime     : 412 days and 07:05:09\n");
}

TEST(HttpJsonShow, DebugNotesOnlyAtDebugVerbosity) {
    const std::string text = console_output(
        [] {
            http_json_device_show_adapter(R"({"Nothing":1})");
            http_json_device_show_adapter(R"({"Members":[{"ID":"A"}]})");
            http_json_device_show_adapter("{oops");
        },
        kVerbosityDebug);
    EXPECT_EQ(text, "***Cannot find Members\n\nID          : A\n***Cannot find Health\nError before: ops\n");
}

TEST(HttpJsonHealth, AllAndBad) {
    const std::string full = std::string(R"({"Adapters":{"Members":[)") + with_status(R"("ID":"A0","Name":"Ad")") +
                             R"(]},"CoolingDevices":{"Members":[{"ID":"F1","Name":"Fan","Status":{"State":
        {"Name":"Failed"},"Health":[{"ID":9,"Name":"Critical"}]}},{"ID":"F2","Status":{"Health":{"ID":9}}},
        {"ID":"F3","Status":{"Health":[{"ID":"9","Name":"x"}]}}]},"Sensors":{"Members":[{"ID":"T","Name":"Temp",
        "Status":{"Health":[{"ID":3,"Name":"Warning"}]}}]},"SystemClock":{"Date":"d"}})";
    EXPECT_EQ(console_output([&] { http_json_health_check_all(full.c_str()); }),
              "Adapters:\n\n  ID        : A0\n  Name      : Ad\n  State     : Enabled\n  Health    : OK\n\n\n"
              "CoolingDevices:\n\n  ID        : F1\n  Name      : Fan\n  State     : Failed\n  Health    : Critical\n"
              "\n  ID        : F2\n\n  ID        : F3\n  Health    : x\n\n\n"
              "Sensors:\n\n  ID        : T\n  Name      : Temp\n  Health    : Warning\n\n\n");
    EXPECT_EQ(console_output([&] { http_json_health_check_bad(full.c_str()); }),
              "CoolingDevices:\n  ID        : F1\n  Name      : Fan\n  State     : Failed\n  Health    : Critical\n\n"
              "Sensors:\n  ID        : T\n  Name      : Temp\n  Health    : Warning\n\n");
    const std::string healthy = std::string(R"({"Media":{"Members":[)") + with_status(R"("ID":"D")") + "]}}";
    EXPECT_EQ(console_output([&] { http_json_health_check_bad(healthy.c_str()); }), "");
}

TEST(HttpJsonJobs, PercentCompleteAndLogStatus) {
    std::int32_t percent = 42;
    EXPECT_EQ(http_json_fw_job_completion(R"({"PercentComplete":75})", percent), 0);
    EXPECT_EQ(percent, 75);
    EXPECT_EQ(http_json_fw_job_completion(R"({"PercentComplete":"80"})", percent), 0);
    EXPECT_EQ(percent, 75);
    EXPECT_EQ(http_json_fw_job_completion(R"({"error":{}})", percent), 1);
    EXPECT_EQ(http_json_fw_job_completion("", percent), 1);

    std::uint32_t in_progress = 7;
    EXPECT_EQ(http_json_logsstatus_get_progress(R"({"InProgress":false})", in_progress), 0);
    EXPECT_EQ(in_progress, 0u);
    EXPECT_EQ(http_json_logsstatus_get_progress(R"({"InProgress":true})", in_progress), 0);
    EXPECT_EQ(in_progress, 1u);
    in_progress = 0;
    EXPECT_EQ(http_json_logsstatus_get_progress(R"({"InProgress":"no"})", in_progress), 0);
    EXPECT_EQ(in_progress, 1u);
    EXPECT_EQ(http_json_logsstatus_get_progress("[", in_progress), 1);
}

TEST(HttpJsonPorts, IdOfLastMemberAndShowData) {
    char id[64] = {};
    EXPECT_EQ(http_json_port_id(R"({"Members":[{"ID":"P1"},{"ID":"P2"}]})", id, sizeof id), 0);
    EXPECT_STREQ(id, "P2");
    EXPECT_EQ(http_json_port_id(R"({"Other":1})", id, sizeof id), 0);
    EXPECT_STREQ(id, "P2");
    EXPECT_EQ(http_json_port_id(R"({"Members":[{"ID":"P3"},{"Name":"x"}]})", id, sizeof id), 1);
    const std::string long_id = R"({"Members":[{"ID":")" + std::string(80, 'p') + "\"}]}";
    EXPECT_EQ(http_json_port_id(long_id.c_str(), id, sizeof id), 0);
    EXPECT_EQ(std::string(id), std::string(63, 'p'));

    const char* ports = R"({"Members":[{"ID":"P1","Status":{"State":{"Name":"Enabled"}},"IPv4Address":"10.0.0.2",
        "IPv4Gateway":"10.0.0.1","MACAddress":"00:11","AddressOrigin":{"Name":"DHCP"},"MTUBytes":1500},{"ID":"P2"}]})";
    EXPECT_EQ(console_output([&] { http_json_port_show_data(ports); }),
              "ID          : P1\nState       : Enabled\nIPv4Address : 10.0.0.2\nIPv4Gateway : 10.0.0.1\n"
              "MACAddress  : 00:11\nType        : DHCP\n");
}

TEST(HttpJsonPorts, SettingsBodiesAreBuiltAsJson) {
    EXPECT_EQ(http_json_port_settings(true, "ignored"), R"({"AddressOrigin":{"ID":65536}})");
    EXPECT_EQ(http_json_port_settings(false, "10.1.2.3"), R"({"AddressOrigin":{"ID":3},"IPv4Address":"10.1.2.3"})");
    EXPECT_EQ(http_json_port_settings(false, "1\",\"x\":\"y"),
              R"({"AddressOrigin":{"ID":3},"IPv4Address":"1\",\"x\":\"y"})");
}

TEST(HttpUrlChecks, PathSegments) {
    EXPECT_TRUE(http_url_segment_ok("enc01"));
    EXPECT_TRUE(http_url_segment_ok("IOM1-MGMT_a.b~c"));
    for (const char* bad : {"", ".", "..", "a/b", "a b", "a\nb", "a%2F", "a?b", "a#b", "\x7f"})
        EXPECT_FALSE(http_url_segment_ok(bad)) << bad;
}

}  // namespace
}  // namespace enctl
