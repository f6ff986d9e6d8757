// The http operation end to end: the real enctl binary against the test REST
// service, with a virtual clock so that the 3-second polls and the 300- and
// 180-second limits take no real time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/rest/rest_service.h"
#include "tests/support/process.h"

namespace enctl {
namespace {

using testing::basic_credentials;
using testing::recorded_request;
using testing::rest_service;

const std::string kPrologue = "Device: enc01\nSlot #: 3\n\n";
const std::string kDeviceUrl = "/Storage/Devices/enc01/";
const std::string kTag = "0123456789abcdef0123456789abcdef";

struct http_result {
    int exit_code = -1;
    std::string out;  // after the banner
};

// Runs "enctl http=<service> words..." with the virtual clock and the
// service's folder as temporary directory.
http_result run_http(const rest_service& service, const std::vector<std::string>& words,
                     const std::string& address = "") {
    std::vector<std::string> args = {"http=" + (address.empty() ? service.address() : address)};
    args.insert(args.end(), words.begin(), words.end());
    testing::process_options options;
    options.env = {{"ENCTL_VIRTUAL_CLOCK", "1"}, {"TMPDIR", service.dir()}, {"ENCTL_SYSROOT", testing::empty_lab_root()}};
    options.unset_env = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    const auto r = testing::run_enctl(args, options);
    http_result result;
    result.exit_code = r.exit_code;
    const auto banner_end = r.out.find("\n\n");
    result.out = banner_end == std::string::npos ? r.out : r.out.substr(banner_end + 2);
    return result;
}

std::string spaces(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// The progress lines of a firmware job that completes in two polls.
std::string job_completes_in_two_polls() {
    return "\r|-- Waiting for completion: 0% (0 seconds)\r|-- Waiting for completion: 50% (3 seconds)"
           "\r|-- Operation completed in 6 seconds" +
           spaces(18) + "\n";
}

std::string upload_lines(std::size_t size) {
    std::string lines;
    if (size) lines = "\r|-- Uploading in progress: 0 KB left" + spaces(10);
    return lines + "\r|-- Upload completed: " + std::to_string(size / 1024) + " KB" + spaces(29) + "\n";
}

std::vector<std::string> lines_of(const std::vector<recorded_request>& requests) {
    std::vector<std::string> out;
    for (const auto& r : requests) out.push_back(r.method + " " + r.path);
    return out;
}

// Every request but the Query carries the credentials; the Query none.
void expect_credentials(const std::vector<recorded_request>& requests, const std::string& user,
                        const std::string& password) {
    for (const auto& r : requests) {
        if (r.path == "/Query/")
            EXPECT_FALSE(r.has_header("authorization")) << r.path;
        else
            EXPECT_EQ(r.header("authorization"), basic_credentials(user, password)) << r.method << " " << r.path;
    }
}

TEST(HttpE2e, IdentityFromTheQuery) {
    rest_service service;
    ASSERT_TRUE(service.running());
    const auto r = run_http(service, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Model   : Arcadeon Shelf 4U84\nSerial  : SHF0042\nName    : enc01\nFirmware: 3.1.7\nSlot    : 3\n\n");
    EXPECT_EQ(lines_of(service.requests()), std::vector<std::string>{"GET /Query/"});
    expect_credentials(service.requests(), "", "");
}

TEST(HttpE2e, ShowListsTheOfferedSubResources) {
    rest_service service(R"({"omit": {"Device": ["Sensors"]}})");
    const auto r = run_http(service, {"show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue +
                         "State       : Enabled\nHealth      : OK\nCapacity    : 8 TB\n\n"
                         "More data is available for the following devices:\n"
                         "  adapter\n  controller\n  cooling\n  media\n  port\n  power\n  clock\n\n"
                         "Enter \"show=<device>\" to get more data\nExample: enctl http=1.2.3.4 show=media\n\n");
    EXPECT_EQ(lines_of(service.requests()), (std::vector<std::string>{"GET /Query/", "GET /Storage/Devices/enc01"}));
    expect_credentials(service.requests(), "admin", "tovek");
}

TEST(HttpE2e, ShowEachDevice) {
    const std::string common_ok = "State       : Enabled\nHealth      : OK\n";
    const struct {
        const char* name;
        const char* key;
        std::string lines;
    } cases[] = {
        {"adapter", "Adapters",
         "\nID          : ADP0\nName        : SAS adapter 0\n" + common_ok +
             "\nID          : ADP1\nName        : SAS adapter 1\n" + common_ok},
        {"controller", "Controllers",
         "\nID          : CTL1\nName        : IOM A\n" + common_ok +
             "Rebootable  : Yes\n\nID          : CTL2\nName        : IOM B\nState       : Degraded\n"
             "Health      : Warning\nRebootable  : No\n"},
        {"cooling", "CoolingDevices",
         "\nID          : FAN1\nName        : Fan 1\n" + common_ok +
             "\nID          : FAN2\nName        : Fan 2\nState       : Failed\nHealth      : Critical\n"},
        {"media", "Media",
         "\nID          : DISK00\nName        : Slot 0\n" + common_ok +
             "Model       : KV16TB\nSerial      : ZL00A1\nVersion     : SN04\nProtocol    : SAS\n"
             "Capacity    : 16000 GB\n\nID          : DISK01\nName        : Slot 1\n" +
             common_ok +
             "Model       : KV1TB\nSerial      : ZL00A2\nVersion     : SN04\nProtocol    : SAS\n"
             "Capacity    : 0 GB\n"},
        {"port", "Ports",
         "\nID          : IOM1-MGMT\n" + common_ok +
             "IPv4Address : 10.1.2.30\nIPv4Gateway : 10.1.2.1\nMACAddress  : 00:50:56:0a:0b:0c\n"
             "Network     : Ethernet\nType        : Static\nMTU Bytes   : 1500\n"},
        {"power", "PowerSupplies",
         "\nID          : PSU1\nName        : Power supply 1\n" + common_ok +
             "Part        : PS-1200\nSerial      : PSN001\n"},
        {"sensor", "Sensors",
         "\nID          : TEMP1\nName        : Inlet\n" + common_ok +
             "Type        : Temperature\nReading     : 31\nBase unit   : Degrees C\n"},
        {"clock", "SystemClock",
         "\nDate        : 2026-12-06\nTime        : 20:15:07\nTime zone   : UTC\n"
         "Runtime     : 412 days and 07:05:09\nUptime      : 3 days and 23:59:00\n"},
    };
    rest_service service;
    for (const auto& c : cases) {
        const auto r = run_http(service, {std::string("show=") + c.name});
        EXPECT_EQ(r.exit_code, 0) << c.name;
        EXPECT_EQ(r.out, kPrologue + "Data for " + c.key + "\n" + c.lines + "\n") << c.name;
        EXPECT_EQ(service.requests().back().path, kDeviceUrl + c.key + "/");
    }
    expect_credentials(service.requests(), "admin", "tovek");
    // Names are matched exactly: nothing is asked for "Media".
    const auto before = service.requests().size();
    const auto r = run_http(service, {"show=Media"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "\n");
    EXPECT_EQ(service.requests().size(), before + 1);
}

TEST(HttpE2e, ShowLeavesOutMissingAndMistypedMembers) {
    rest_service service(R"({"omit": {"Media": ["Model", "Capacity", "Status"]},
        "overrides": {"GET /Storage/Devices/enc01/Sensors/": {"body": {"Members": [{"ID": "T1",
            "CurrentReading": "31", "SensorType": "Temperature", "Status": {"Health": {"ID": 5, "Name": "OK"}}}]}},
        "GET /Storage/Devices/enc01/PowerSupplies/": {"status": 404,
            "body": {"error": {"code": "NotFound", "message": "gone"}}},
        "GET /Storage/Devices/enc01": {"body": "<html>not json</html>"}},
        "drop": ["GET /Storage/Devices/enc01/Adapters/"]})");
    auto r = run_http(service, {"show=media"});
    EXPECT_EQ(r.out, kPrologue +
                         "Data for Media\n\nID          : DISK00\nName        : Slot 0\nSerial      : ZL00A1\n"
                         "Version     : SN04\nProtocol    : SAS\n\nID          : DISK01\nName        : Slot 1\n"
                         "Serial      : ZL00A2\nVersion     : SN04\nProtocol    : SAS\n\n");
    r = run_http(service, {"show=sensor"});
    EXPECT_EQ(r.out, kPrologue + "Data for Sensors\n\nID          : T1\n\n");
    r = run_http(service, {"show=power"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "Data for PowerSupplies\n\n");
    r = run_http(service, {"show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "Enter \"show=<device>\" to get more data\nExample: enctl http=1.2.3.4 show=media\n\n");
    r = run_http(service, {"show=adapter"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + "Data for Adapters\nERROR: The command to get data failed for adapter\n\n");
}

TEST(HttpE2e, HealthAllAndBad) {
    rest_service service;
    auto member = [](const std::string& id, const std::string& name, const std::string& state,
                     const std::string& health) {
        return "  ID        : " + id + "\n  Name      : " + name + "\n  State     : " + state +
               "\n  Health    : " + health + "\n";
    };
    const std::string ok = "Enabled";
    auto r = run_http(service, {"health"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "Adapters:\n\n" + member("ADP0", "SAS adapter 0", ok, "OK") + "\n" +
                         member("ADP1", "SAS adapter 1", ok, "OK") + "\n\n" + "Controllers:\n\n" +
                         member("CTL1", "IOM A", ok, "OK") + "\n" + member("CTL2", "IOM B", "Degraded", "Warning") +
                         "\n\n" + "CoolingDevices:\n\n" + member("FAN1", "Fan 1", ok, "OK") + "\n" +
                         member("FAN2", "Fan 2", "Failed", "Critical") + "\n\n" + "Media:\n\n" +
                         member("DISK00", "Slot 0", ok, "OK") + "\n" + member("DISK01", "Slot 1", ok, "OK") +
                         "\n\n" + "Ports:\n\n" + member("IOM1-MGMT", "Management port 1", ok, "OK") + "\n\n" +
                         "PowerSupplies:\n\n" + member("PSU1", "Power supply 1", ok, "OK") + "\n\n" +
                         "Sensors:\n\n" + member("TEMP1", "Inlet", ok, "OK") + "\n\n" + "\n");
    r = run_http(service, {"health=bad"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "Controllers:\n" + member("CTL2", "IOM B", "Degraded", "Warning") + "\n" +
                         "CoolingDevices:\n" + member("FAN2", "Fan 2", "Failed", "Critical") + "\n" + "\n");
    EXPECT_EQ(service.requests().back().path, kDeviceUrl + "Full/");
    expect_credentials(service.requests(), "admin", "tovek");
}

TEST(HttpE2e, FirmwareUpdateUploadsInstallsAndActivates) {
    rest_service service(R"({"user": "ops", "password": "s3cret"})");
    const std::string image_path = service.dir() + "/shelf_fw_3.2.0.bin";
    std::string image(1500, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13);
    testing::write_file(image_path, image);
    const auto r = run_http(service, {"user=ops", "pass=s3cret", "fw=" + image_path});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "File upload started\n" + upload_lines(image.size()) + "Firmware update started\n" +
                         job_completes_in_two_polls() + "Firmware activation started\n" +
                         job_completes_in_two_polls() + "New firmware has been loaded successfully.\n\n");
    const auto requests = service.requests();
    EXPECT_EQ(lines_of(requests), (std::vector<std::string>{
                                      "GET /Query/", "GET " + kDeviceUrl, "POST " + kDeviceUrl + "OperatingSystem/",
                                      "PUT " + kDeviceUrl, "GET " + kDeviceUrl + "Jobs/FirmwareUpdate/",
                                      "GET " + kDeviceUrl + "Jobs/FirmwareUpdate/", "PUT " + kDeviceUrl,
                                      "GET " + kDeviceUrl + "Jobs/FirmwareActivate/",
                                      "GET " + kDeviceUrl + "Jobs/FirmwareActivate/"}));
    expect_credentials(requests, "ops", "s3cret");
    const auto& upload = requests.at(2);
    EXPECT_FALSE(upload.has_header("expect"));
    ASSERT_EQ(upload.parts.size(), 1u);
    EXPECT_EQ(upload.parts[0].name, "FirmwareFile");
    EXPECT_EQ(upload.parts[0].filename, image_path);
    EXPECT_EQ(upload.parts[0].data, image);
    for (const std::size_t i : {3u, 6u}) {
        EXPECT_EQ(requests[i].header("if-match"), kTag);
        EXPECT_EQ(requests[i].header("content-type"), "application/json");
    }
    EXPECT_EQ(requests[3].body, R"({"FirmwareUpdate":true})");
    EXPECT_EQ(requests[6].body, R"({"FirmwareActivate":true})");
}

TEST(HttpE2e, FirmwareJobThatNeverFinishesEndsAfter300Seconds) {
    rest_service service(R"({"job_never_finishes": true})");
    const std::string image_path = service.dir() + "/fw.bin";
    testing::write_file(image_path, std::string(100, 'f'));
    const auto r = run_http(service, {"fw=" + image_path});
    EXPECT_EQ(r.exit_code, 1);
    std::string waits;
    for (int seconds = 0; seconds < 300; seconds += 3)
        waits += "\r|-- Waiting for completion: 0% (" + std::to_string(seconds) + " seconds)";
    EXPECT_EQ(r.out, kPrologue + "File upload started\n" + upload_lines(100) + "Firmware update started\n" + waits +
                         "\r|-- ERROR: Exit due to timeout of 300 seconds" + spaces(14) + "\n" +
                         "ERROR: Firmware update not completed.\n\n");
    int polls = 0;
    for (const auto& q : service.requests()) polls += q.path == kDeviceUrl + "Jobs/FirmwareUpdate/";
    EXPECT_EQ(polls, 100);
}

TEST(HttpE2e, FirmwareFailurePaths) {
    // A stale ETag on the activation: the enclosure refuses the request (412)
    // and the run stops there instead of waiting for a job that never starts.
    {
        rest_service service(R"({"rotate_etag_after_put": true})");
        const std::string image_path = service.dir() + "/fw.bin";
        testing::write_file(image_path, "img");
        const auto r = run_http(service, {"fw=" + image_path});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "File upload started\n" + upload_lines(3) + "Firmware update started\n" +
                             job_completes_in_two_polls() +
                             "ERROR: The enclosure refused the request with http code 412\n\n");
        const auto requests = service.requests();
        ASSERT_EQ(requests.size(), 7u);
        EXPECT_EQ(requests.at(6).method, "PUT");
        EXPECT_EQ(requests.at(6).header("if-match"), kTag);
    }
    // An upload the enclosure rejects: no install is requested.
    {
        rest_service service(R"({"overrides": {"POST /Storage/Devices/enc01/OperatingSystem/": {"status": 500}}})");
        const std::string image_path = service.dir() + "/fw.bin";
        testing::write_file(image_path, "img");
        const auto r = run_http(service, {"fw=" + image_path});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "File upload started\n" + upload_lines(3) +
                             "ERROR: File upload failed with http code 500\n\n");
        for (const auto& request : service.requests()) EXPECT_NE(request.method, "PUT");
    }
    // An empty image is uploaded as an empty part; the enclosure rejects it
    // (400) and no install is requested.
    {
        rest_service service;
        const std::string image_path = service.dir() + "/empty.bin";
        testing::write_file(image_path, "");
        const auto r = run_http(service, {"fw=" + image_path});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "File upload started\n" + upload_lines(0) +
                             "ERROR: File upload failed with http code 400\n\n");
        const auto requests = service.requests();
        ASSERT_GE(requests.size(), 3u);
        ASSERT_EQ(requests[2].parts.size(), 1u);
        EXPECT_EQ(requests[2].parts[0].data, "");
    }
    // An image that cannot be opened: nothing is sent.
    {
        rest_service service;
        for (const std::string& path : {service.dir() + "/missing.bin", service.dir()}) {
            const auto r = run_http(service, {"fw=" + path});
            EXPECT_EQ(r.exit_code, 1);
            EXPECT_EQ(r.out, "ERROR: Cannot open the firmware file " + path + "\n\n");
        }
        EXPECT_TRUE(service.requests().empty());
    }
    // A quoted ETag is not taken: no upload.
    {
        rest_service service(R"({"etag": "\"0123456789abcdef0123456789abcdef\""})");
        const std::string image_path = service.dir() + "/fw.bin";
        testing::write_file(image_path, "img");
        const auto r = run_http(service, {"fw=" + image_path});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "ERROR: The command to get the etag failed.\n\n");
        EXPECT_EQ(service.requests().size(), 2u);
    }
}

std::string log_bytes(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
    return bytes;
}

std::string log_collected_lines(const std::string& file) {
    return "Logging process started\n\r|-- Waiting for log collection: 0 seconds"
           "\r|-- Waiting for log collection: 3 seconds\r|-- Log collection completed in 6 seconds.\n"
           "Log download started\n\r|-- Downloading in progress: 2 KB\r|-- Download completed: 2 KB" +
           spaces(29) + "\nFile saved: " + file + "\n\n";
}

TEST(HttpE2e, GetlogIntoTheGivenFolder) {
    rest_service service;
    const std::string dir = service.dir() + "/logs";
    std::filesystem::create_directory(dir);
    const auto r = run_http(service, {"getlog", "dir=" + dir});
    EXPECT_EQ(r.exit_code, 0);
    const std::string file = dir + "/enc01_slot3_log.bin";
    EXPECT_EQ(r.out, kPrologue + log_collected_lines(file));
    EXPECT_EQ(testing::read_file(file), log_bytes(3000));
    EXPECT_EQ(lines_of(service.requests()),
              (std::vector<std::string>{"GET /Query/", "GET " + kDeviceUrl + "LogsStatus", "GET " + kDeviceUrl + "LogsStart",
                                        "GET " + kDeviceUrl + "LogsStatus", "GET " + kDeviceUrl + "LogsStatus",
                                        "GET " + kDeviceUrl + "LogsFetch"}));
    expect_credentials(service.requests(), "admin", "tovek");
}

TEST(HttpE2e, GetlogIntoTheRunsLogFolder) {
    rest_service service;
    const auto r = run_http(service, {"getlog"});
    EXPECT_EQ(r.exit_code, 0);
    std::string folder;
    for (const auto& entry : std::filesystem::directory_iterator(service.dir()))
        if (entry.is_directory() && entry.path().filename().string().rfind("enctl_", 0) == 0) folder = entry.path();
    ASSERT_FALSE(folder.empty()) << r.out;
    const std::string file = folder + "/enc01_slot3_log.bin";
    EXPECT_EQ(r.out, kPrologue + log_collected_lines(file));
    EXPECT_EQ(testing::read_file(file), log_bytes(3000));
}

TEST(HttpE2e, GetlogFailurePaths) {
    // Already running: refused, LogsStart never sent, no file left.
    {
        rest_service service(R"({"logs_already_running": true})");
        const auto r = run_http(service, {"getlog", "dir=" + service.dir()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "Log status indicates it is already in progress.\nPlease wait and try again later.\n\n");
        EXPECT_EQ(lines_of(service.requests()),
                  (std::vector<std::string>{"GET /Query/", "GET " + kDeviceUrl + "LogsStatus"}));
        EXPECT_FALSE(std::filesystem::exists(service.dir() + "/enc01_slot3_log.bin"));
    }
    // A collection that never ends: the first poll at or after 180 seconds.
    {
        rest_service service(R"({"logs_never_finish": true})");
        const auto r = run_http(service, {"getlog", "dir=" + service.dir()});
        EXPECT_EQ(r.exit_code, 1);
        std::string waits;
        for (int seconds = 0; seconds < 180; seconds += 3)
            waits += "\r|-- Waiting for log collection: " + std::to_string(seconds) + " seconds";
        EXPECT_EQ(r.out, kPrologue + "Logging process started\n" + waits +
                             "\r|-- ERROR: Exit due to timeout of 180 seconds. Log collection not completed.\n\n");
        EXPECT_EQ(service.requests().size(), 3u + 60u);
        EXPECT_FALSE(std::filesystem::exists(service.dir() + "/enc01_slot3_log.bin"));
    }
    // Finished on the first poll; then a folder that does not exist stops the
    // run before anything is asked of the enclosure.
    {
        rest_service service(R"({"logs_polls_in_progress": 0})");
        auto r = run_http(service, {"getlog", "dir=" + service.dir()});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find("Logging process started\n\r|-- Waiting for log collection: 0 seconds"
                             "\r|-- Log collection completed in 3 seconds.\n"),
                  std::string::npos);
        const auto before = service.requests().size();
        r = run_http(service, {"getlog", "dir=" + service.dir() + "/none"});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "ERROR: Cannot create the log file " + service.dir() +
                             "/none/enc01_slot3_log.bin\n\n");
        EXPECT_EQ(service.requests().size(), before + 1);
    }
    // LogsFetch answered with an error document: a failure, and no log file
    // holding the error document is left behind.
    {
        rest_service service(R"({"logs_polls_in_progress": 0,
            "overrides": {"GET /Storage/Devices/enc01/LogsFetch": {"status": 404, "body": {"Error": "none"}}}})");
        const auto r = run_http(service, {"getlog", "dir=" + service.dir()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.out.find("ERROR: Log download failed with http code 404\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("File saved"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(service.dir() + "/enc01_slot3_log.bin"));
    }
    // LogsStatus that is not JSON.
    {
        rest_service service(R"({"overrides": {"GET /Storage/Devices/enc01/LogsStatus": {"body": "busy"}}})");
        const auto r = run_http(service, {"getlog", "dir=" + service.dir()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kPrologue + "ERROR: Not able to determine progress status\n\n");
    }
}

std::string iom_lines(const std::string& address, const std::string& type) {
    return "ID          : IOM1-MGMT\nState       : Enabled\nIPv4Address : " + address +
           "\nIPv4Gateway : 10.1.2.1\nMACAddress  : 00:50:56:0a:0b:0c\nType        : " + type + "\n";
}

TEST(HttpE2e, IomStatusDhcpAndStaticAddress) {
    rest_service service;
    auto r = run_http(service, {"iom"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + iom_lines("10.1.2.30", "Static") + "\n");
    EXPECT_EQ(service.requests().back().path, kDeviceUrl + "Ports/?controllerid=1");

    r = run_http(service, {"iom=dhcp"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kPrologue + "The IOM has been configured successfully.\n\n");
    auto requests = service.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(lines_of({requests.begin() + 2, requests.end()}),
              (std::vector<std::string>{"GET /Query/", "GET " + kDeviceUrl + "Ports/",
                                        "GET " + kDeviceUrl + "Ports/IOM1-MGMT", "PUT " + kDeviceUrl + "Ports/IOM1-MGMT"}));
    EXPECT_EQ(requests[5].header("if-match"), "00000000000000000000000000abc009");
    EXPECT_EQ(requests[5].header("content-type"), "application/json");
    EXPECT_EQ(requests[5].body, R"({"AddressOrigin":{"ID":65536}})");
    r = run_http(service, {"iom"});
    EXPECT_EQ(r.out, kPrologue + iom_lines("10.1.2.30", "DHCP") + "\n");

    r = run_http(service, {"iom=10.9.8.7"});
    EXPECT_EQ(r.exit_code, 0);
    requests = service.requests();
    EXPECT_EQ(requests.back().header("if-match"), "00000000000000000000000000abc00a");  // the port's new tag
    EXPECT_EQ(requests.back().body, R"({"AddressOrigin":{"ID":3},"IPv4Address":"10.9.8.7"})");
    r = run_http(service, {"iom"});
    EXPECT_EQ(r.out, kPrologue + iom_lines("10.9.8.7", "Static") + "\n");
    expect_credentials(service.requests(), "admin", "tovek");

    // Not an address: refused before anything is sent.
    const auto before = service.requests().size();
    for (const char* bad : {"iom=DHCP", "iom=10.9.8.7\",\"x\":\"", "iom=300.1.1.1"}) {
        r = run_http(service, {bad});
        EXPECT_NE(r.exit_code, 0) << bad;
    }
    EXPECT_EQ(service.requests().size(), before);
}

TEST(HttpE2e, RefusedCredentialsAreAFailureNotAnEmptyDocument) {
    rest_service service(R"({"password": "other"})");
    const std::string refused = "ERROR: The enclosure refused the user name or password (http code 401)\n";
    auto r = run_http(service, {"show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + refused + "ERROR: The command to get device data failed.\n\n");
    r = run_http(service, {"show=sensor"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + "Data for Sensors\n" + refused + "ERROR: The command to get data failed for sensor\n\n");
    r = run_http(service, {"health"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + refused + "ERROR: The command to get device data failed.\n\n");
    r = run_http(service, {"iom"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + refused + "ERROR: The command to get IOM port data failed.\n\n");
    // With the right password the same service answers.
    r = run_http(service, {"user=admin", "pass=other", "health"});
    EXPECT_EQ(r.exit_code, 0);
}

TEST(HttpE2e, IomSettingRefusedByTheEnclosureIsAFailure) {
    rest_service service(R"({"overrides": {"PUT /Storage/Devices/enc01/Ports/IOM1-MGMT": {"status": 412}}})");
    const auto r = run_http(service, {"iom=10.9.8.7"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + "ERROR: Could not set IOM to static configuration.\n\n");
}

TEST(HttpE2e, IomConfiguresTheLastPortAndRefusesUnsafePortIds) {
    rest_service two(R"({"port_ids": ["IOM1-MGMT", "IOM2-MGMT"]})");
    auto r = run_http(two, {"iom=10.0.0.9"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(two.requests().back().path, kDeviceUrl + "Ports/IOM2-MGMT");

    rest_service unsafe(R"({"overrides": {"GET /Storage/Devices/enc01/Ports/": {"body": {"Members": [{"ID": "../../Query"}]}}}})");
    r = run_http(unsafe, {"iom=dhcp"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kPrologue + "ERROR: The port id from the enclosure cannot be used in a URL\n"
                                 "ERROR: Could not retrieve the port's id.\n\n");
    EXPECT_EQ(unsafe.requests().size(), 2u);
}

TEST(HttpE2e, QueryFailures) {
    // Nothing listens.
    rest_service service;
    auto r = run_http(service, {}, "127.0.0.1:1");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "Cannot access: http://127.0.0.1:1/Query/\n\n");
    r = run_http(service, {"show"}, "127.0.0.1:1");
    EXPECT_EQ(r.out, "Cannot access: http://127.0.0.1:1/Query/\nERROR: Not able to retrieve the device name.\n\n");

    rest_service empty(R"({"overrides": {"GET /Query/": {"body": ""}}})");
    r = run_http(empty, {});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "ERROR: did not receive http data\n\n");
    r = run_http(empty, {"health"});
    EXPECT_EQ(r.out, "ERROR: did not receive http data\nERROR: Not able to retrieve the device name.\n\n");

    rest_service garbage(R"({"overrides": {"GET /Query/": {"body": "Service Unavailable"}}})");
    r = run_http(garbage, {"iom"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "ERROR: Not able to retrieve the device name.\n\n");
    r = run_http(garbage, {"iom=dhcp"});
    EXPECT_EQ(r.out, "ERROR: Not able to retrieve the device name\n\n");

    rest_service no_members(R"({"overrides": {"GET /Query/": {"body": {"Devices": {}}}}})");
    r = run_http(no_members, {"getlog"});
    EXPECT_EQ(r.out, "ERROR: Not able to retrieve the device name\n\n");

    rest_service dropped(R"({"drop": ["GET /Query/"]})");
    r = run_http(dropped, {"show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "Cannot access: http://" + dropped.address() +
                         "/Query/\nERROR: Not able to retrieve the device name.\n\n");

    // A device name that would change the URL path is refused.
    for (const char* name : {"../Query", "enc 01", "a/b", "enc\\u0001"}) {
        rest_service odd(std::string(R"({"device_name": ")") + name + "\"}");
        r = run_http(odd, {"show"});
        EXPECT_EQ(r.exit_code, 1) << name;
        EXPECT_EQ(r.out, "ERROR: The device name from the Query cannot be used in a URL\n"
                         "ERROR: Not able to retrieve the device name.\n\n")
            << name;
        EXPECT_EQ(odd.requests().size(), 1u) << name;
    }
}

TEST(HttpE2e, SlowAnswerIsWaitedFor) {
    rest_service service(R"({"slow": {"GET /Query/": 0.5}})");
    const auto r = run_http(service, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Name    : enc01\n"), std::string::npos);
}

}  // namespace
}  // namespace enctl
