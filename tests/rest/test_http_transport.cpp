// The transfer layer against the test REST service, in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "rest/http_transport.h"
#include "tests/support/console_capture.h"
#include "tests/rest/rest_service.h"

namespace enctl {
namespace {

using testing::console_output;
using testing::rest_service;

// Set-up and tear-down of a run around each test; the tear-down's "\n" goes
// to the captured console of the test or to standard output.
class HttpTransport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(http_setup(), 0); }
    void TearDown() override {
        console_output([] { http_teardown(); });
    }
    static std::string url(const rest_service& s, const std::string& path) {
        return "http://" + s.address() + path;
    }
};

TEST_F(HttpTransport, ErrorStatusIsACompletedTransferWithItsDocument) {
    rest_service service;
    ASSERT_TRUE(service.running());
    std::uint32_t status = 0;
    EXPECT_EQ(http_data_get(url(service, "/Storage/Devices/enc01/Nope/").c_str(), "admin", "tovek", 1, 0, status), 0u);
    EXPECT_EQ(status, 404u);
    EXPECT_STREQ(g_http_body.text(), R"({"error": {"code": "NotFound", "message": "Resource not found"}})");
    EXPECT_EQ(g_http_body.size, std::strlen(g_http_body.text()));
}

TEST_F(HttpTransport, CredentialsOnlyWhenBothAreGivenAndBodiesAppendUntilReset) {
    rest_service service;
    std::uint32_t status = 0;
    const std::string query = url(service, "/Query/");
    ASSERT_EQ(http_data_get(query.c_str(), "", "", 1, 0, status), 0u);
    const std::string first = g_http_body.text();
    ASSERT_EQ(http_data_get(query.c_str(), "admin", "", 0, 0, status), 0u);
    EXPECT_EQ(std::string(g_http_body.text()), first + first);  // collect stays on until a reset
    http_buffer_reset(g_http_body);
    ASSERT_EQ(http_data_get(query.c_str(), "", "tovek", 0, 0, status), 0u);
    EXPECT_EQ(g_http_body.size, 0u);
    ASSERT_EQ(http_data_get(query.c_str(), "root", "secret", 1, 0, status), 0u);
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(requests[i].has_header("authorization")) << i;
    EXPECT_EQ(requests[3].header("authorization"), testing::basic_credentials("root", "secret"));
}

TEST_F(HttpTransport, EtagMustBeExactly32CharactersUnderTheExactHeaderName) {
    const std::string tag = "0123456789abcdef0123456789abcdef";
    rest_service service(R"({"overrides":{
        "GET /good": {"body": "{}", "headers": {"Etag": ")" + tag + R"("}},
        "GET /capital": {"body": "{}", "headers": {"ETag": ")" + tag + R"("}},
        "GET /short": {"body": "{}", "headers": {"Etag": ")" + tag.substr(1) + R"("}},
        "GET /long": {"body": "{}", "headers": {"Etag": ")" + tag + R"(0"}},
        "GET /quoted": {"body": "{}", "headers": {"Etag": "\")" + tag + R"(\""}}}})");
    char etag[kHttpEtagSize] = {};
    EXPECT_EQ(http_get_etag(url(service, "/capital").c_str(), "admin", "tovek", etag), 1);
    for (const char* path : {"/short", "/long", "/quoted"}) {
        http_buffer_reset(g_http_header);
        EXPECT_EQ(http_get_etag(url(service, path).c_str(), "admin", "tovek", etag), 1) << path;
    }
    EXPECT_EQ(etag[0], '\0');
    http_buffer_reset(g_http_header);
    EXPECT_EQ(http_get_etag(url(service, "/good").c_str(), "admin", "tovek", etag), 0);
    EXPECT_EQ(std::string(etag), tag);
    EXPECT_EQ(g_http_header.size, 0u);
    EXPECT_EQ(service.requests().back().header("authorization"), testing::basic_credentials("admin", "tovek"));
    EXPECT_EQ(http_get_etag("http://127.0.0.1:1/", "admin", "tovek", etag), 1);
}

TEST_F(HttpTransport, PutSendsJsonWithIfMatch) {
    rest_service service;
    std::uint32_t status = 0;
    const std::string body = R"({"FirmwareUpdate":true})";
    EXPECT_EQ(http_data_put(url(service, "/Storage/Devices/enc01/").c_str(), "admin", "tovek",
                            "ffffffffffffffffffffffffffffffff", body.c_str(), status),
              0u);
    EXPECT_EQ(status, 412u);  // stale tag: not a failure at this layer
    const auto r = service.requests().at(0);
    EXPECT_EQ(r.method, "PUT");
    EXPECT_EQ(r.header("content-type"), "application/json");
    EXPECT_EQ(r.header("if-match"), "ffffffffffffffffffffffffffffffff");
    EXPECT_EQ(r.header("authorization"), testing::basic_credentials("admin", "tovek"));
    EXPECT_EQ(r.body, body);
    EXPECT_EQ(g_http_body.size, 0u);  // the response went to the request's own buffer
}

TEST_F(HttpTransport, UploadOfAnEmptyFileAndOfSomeBytes) {
    rest_service service;
    for (const std::string& content : {std::string(), std::string("\x00\x01" "firmware" "\xff", 11) + std::string(3000, 'z')}) {
        const std::string path = service.dir() + "/image.bin";
        testing::write_file(path, content);
        unique_file file(std::fopen(path.c_str(), "rb"));
        http_transfer transfer;
        transfer.file = file.get();
        transfer.total = transfer.count = static_cast<std::uint32_t>(content.size());
        transfer.progress = 1;
        std::snprintf(transfer.file_name, sizeof transfer.file_name, "%s", path.c_str());
        std::uint32_t status = 0;
        unsigned result = 1;
        const std::string out = console_output([&] {
            result = http_file_post(url(service, "/Storage/Devices/enc01/OperatingSystem/").c_str(), "admin", "tovek",
                                    transfer, status);
        });
        EXPECT_EQ(result, 0u);
        const std::string done = "\r|-- Upload completed: " + std::to_string(content.size() / 1024) +
                                 " KB                             \n";
        if (content.empty())
            EXPECT_EQ(out, done);
        else
            EXPECT_EQ(out, "\r|-- Uploading in progress: 0 KB left          " + done);
        const auto r = service.requests().back();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.header("authorization"), testing::basic_credentials("admin", "tovek"));
        EXPECT_FALSE(r.has_header("expect"));
        EXPECT_EQ(r.header("content-type").rfind("multipart/form-data; boundary=", 0), 0u);
        ASSERT_EQ(r.parts.size(), 1u);
        EXPECT_EQ(r.parts[0].name, "FirmwareFile");
        EXPECT_EQ(r.parts[0].filename, path);
        EXPECT_EQ(r.parts[0].data, content);
        EXPECT_EQ(status, content.empty() ? 400u : 200u);
    }
}

TEST_F(HttpTransport, DownloadReportsWholeKibAndFailuresNameTheUrl) {
    rest_service service(R"({"log_bytes": 1023})");
    const std::string path = service.dir() + "/log.bin";
    unique_file file(std::fopen(path.c_str(), "wb"));
    http_transfer transfer;
    transfer.file = file.get();
    transfer.progress = 1;
    std::uint32_t status = 0;
    const std::string out = console_output([&] {
        EXPECT_EQ(http_file_get(url(service, "/Storage/Devices/enc01/LogsFetch").c_str(), "admin", "tovek", transfer,
                                status),
                  0u);
    });
    file.reset();
    EXPECT_EQ(out, "\r|-- Downloading in progress: 0 KB\r|-- Download completed: 0 KB                             \n");
    const std::string log = testing::read_file(path);
    ASSERT_EQ(log.size(), 1023u);
    for (std::size_t i = 0; i < log.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(log[i]), (i * 7 + 3) % 256) << i;

    const std::string refused = console_output([&] {
        EXPECT_NE(http_file_get("http://127.0.0.1:1/LogsFetch", "admin", "tovek", transfer, status), 0u);
    });
    EXPECT_EQ(refused, "Cannot access: http://127.0.0.1:1/LogsFetch\n");
}

TEST_F(HttpTransport, DroppedConnectionFailsAndSlowAnswerCompletes) {
    rest_service service(R"({"drop": ["GET /Query/"], "slow": {"GET /slow": 0.3},
        "overrides": {"GET /slow": {"body": "{\"late\":1}"}}})");
    std::uint32_t status = 0;
    EXPECT_NE(http_data_get(url(service, "/Query/").c_str(), "", "", 1, 0, status), 0u);
    http_buffer_reset(g_http_body);
    EXPECT_EQ(http_data_get(url(service, "/slow").c_str(), "admin", "tovek", 1, 0, status), 0u);
    EXPECT_STREQ(g_http_body.text(), R"({"late":1})");
}

TEST(HttpBuffer, GrowsWhenTheBodyReachesTheCapacityAndResetKeepsTheAllocation) {
    http_buffer buffer;
    buffer.collect = 1;
    std::string chunk(kHttpBodyStep, 'x');
    EXPECT_EQ(http_data_callback(chunk.data(), 1, chunk.size() - 1, &buffer), chunk.size() - 1);
    EXPECT_EQ(buffer.capacity, kHttpBodyStep);
    EXPECT_EQ(http_data_callback(chunk.data(), 1, 1, &buffer), 1u);  // the 0 byte no longer fits
    EXPECT_EQ(buffer.capacity, 2 * kHttpBodyStep);
    EXPECT_EQ(buffer.size, kHttpBodyStep);
    EXPECT_EQ(std::strlen(buffer.text()), kHttpBodyStep);
    http_buffer_reset(buffer);
    EXPECT_EQ(buffer.capacity, 2 * kHttpBodyStep);
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_EQ(buffer.collect, 0u);
    EXPECT_EQ(http_data_callback(chunk.data(), 1, 10, &buffer), 10u);  // dropped
    EXPECT_EQ(buffer.size, 0u);

    http_buffer headers;
    headers.collect = 1;
    EXPECT_EQ(http_header_callback(chunk.data(), 1, 5000, &headers), 5000u);
    EXPECT_EQ(headers.capacity, 2 * kHttpHeaderStep);
}

TEST(HttpTransferCallbacks, ShortWriteFailsTheDownload) {
    const std::string path = (std::filesystem::temp_directory_path() / "enctl-ro-test").string();
    testing::write_file(path, "x");
    unique_file readonly(std::fopen(path.c_str(), "rb"));
    http_transfer transfer;
    transfer.file = readonly.get();
    char data[16] = {};
    EXPECT_EQ(http_write_callback(data, 1, sizeof data, &transfer), 0u);
    readonly.reset();
    std::remove(path.c_str());
}

}  // namespace
}  // namespace enctl
