// The transfer layer against the test REST service, in process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rest/http_transport.h"
#include "tests/rest/rest_service.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

using testing::console_output;
using testing::rest_service;

// Set-up and tear-down of a run around each test.
class HttpTransport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(http_setup(), 0); }
    void TearDown() override {
        console_output([] { http_teardown(); });
    }
    static std::string url(const rest_service& s, const std::string& path) { return "http://" + s.address() + path; }
};

// One rule for every request kind, here for a GET: an answer of 400 or more
// fails the request, its status and error document kept; 399 succeeds. (The
// other kinds fail so in the fw, getlog and iom scenarios.)
TEST_F(HttpTransport, ErrorStatusFromFourHundredFailsTheRequest) {
    rest_service service(R"({"answers": {"GET /400": {"status": 400, "body": "{\"error\":1}"},
        "GET /399": {"status": 399, "body": "{}"}}})");
    std::uint32_t status = 0;
    EXPECT_EQ(http_data_get(url(service, "/400").c_str(), "a", "b", 1, 0, status), unsigned{CURLE_HTTP_RETURNED_ERROR});
    EXPECT_EQ(status, 400u);
    EXPECT_STREQ(g_http_body.text(), "{\"error\":1}");
    http_buffer_reset(g_http_body);
    EXPECT_EQ(http_data_get(url(service, "/399").c_str(), "a", "b", 1, 0, status), 0u);
    EXPECT_EQ(status, 399u);
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
    EXPECT_EQ(service.new_requests(), "> GET /Query/ -\n> GET /Query/ -\n> GET /Query/ -\n> GET /Query/ root:secret\n");
}

// The tag is the value of a header line named ETag (any case) of the final
// response, exactly 32 characters: not text inside another header, not a hint
// of a 103 Early Hints response, not quoted.
TEST_F(HttpTransport, EtagIsTheExactly32CharacterValueOfTheFinalResponsesEtagHeader) {
    const std::string tag = "0123456789abcdef0123456789abcdef";
    const std::string rejected = "{\"body\": \"{}\", \"headers\": {\"Etag\": \"" + tag.substr(1) + "\"}}, " +
                                 "{\"body\": \"{}\", \"headers\": {\"Etag\": \"" + tag + "0\"}}, " +
                                 "{\"body\": \"{}\", \"headers\": {\"Etag\": \"\\\"" + tag + "\\\"\"}}, " +
                                 "{\"body\": \"{}\", \"headers\": {\"X-Note\": \"Etag: " + tag + "\"}}, " +
                                 "{\"body\": \"{}\", \"early\": {\"Etag\": \"" + tag + "\"}, \"headers\": {\"X-Etag\": \"" + tag + "\"}}";
    const std::string accepted = "{\"body\": \"{}\", \"headers\": {\"ETag\": \"" + tag + "\"}}, " +
                                 "{\"body\": \"{}\", \"early\": {\"Etag\": \"x\"}, \"headers\": {\"etag\": \"" + tag + "\"}}";
    rest_service service("{\"answers\": {\"GET /no\": [" + rejected + "], \"GET /yes\": [" + accepted + "]}}");
    char etag[kHttpEtagSize] = {};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(http_get_etag(url(service, "/no").c_str(), "admin", "tovek", etag), 1) << i;
    EXPECT_EQ(etag[0], '\0');
    for (int i = 0; i < 2; ++i) {
        etag[0] = '\0';
        EXPECT_EQ(http_get_etag(url(service, "/yes").c_str(), "admin", "tovek", etag), 0) << i;
        EXPECT_EQ(std::string(etag), tag);
        EXPECT_EQ(g_http_header.size, 0u);
    }
    EXPECT_EQ(http_get_etag("http://127.0.0.1:1/", "admin", "tovek", etag), 1);
}

// A document above the cap ends its transfer (the body is never held); the
// password never shows in debug output.
TEST_F(HttpTransport, OversizedDocumentIsRefusedAndDebugOutputMasksThePassword) {
    rest_service service(R"({"answers": {"GET /big": {"body": "{}", "pad": 16777214},
        "GET /bigger": {"body": "{}", "pad": 16777215}}})");
    std::uint32_t status = 0;
    EXPECT_EQ(http_data_get(url(service, "/big").c_str(), "", "", 1, 0, status), 0u);
    EXPECT_EQ(g_http_body.size, kHttpDocumentLimit);
    http_buffer_reset(g_http_body);
    std::string out = console_output([&] {
        EXPECT_EQ(http_data_get(url(service, "/bigger").c_str(), "", "", 1, 0, status), unsigned{CURLE_WRITE_ERROR});
    });
    EXPECT_EQ(out, "ERROR: The response is larger than 16 MiB and is refused\n");
    EXPECT_LE(g_http_body.size, kHttpDocumentLimit);
    http_buffer_reset(g_http_body);
    out = console_output([&] { http_data_get(url(service, "/Query/").c_str(), "admin", "s3cret", 1, 0, status); },
                         kVerbosityDebug);
    EXPECT_NE(out.find("user=admin pass=********\n"), std::string::npos);
    EXPECT_EQ(out.find("s3cret"), std::string::npos);
}

TEST(HttpBuffer, GrowsWhenTheBodyReachesTheCapacityAndResetKeepsTheAllocation) {
    http_buffer buffer;
    buffer.collect = 1;
    std::string chunk(kHttpBodyStep, 'x');
    EXPECT_EQ(http_data_callback(chunk.data(), 1, chunk.size() - 1, &buffer), chunk.size() - 1);
    EXPECT_EQ(buffer.capacity, kHttpBodyStep);
    EXPECT_EQ(http_data_callback(chunk.data(), 1, 1, &buffer), 1u);  // the 0 byte no longer fits
    EXPECT_EQ(buffer.capacity, 2 * kHttpBodyStep);
    EXPECT_EQ(std::strlen(buffer.text()), kHttpBodyStep);
    http_buffer_reset(buffer);
    EXPECT_EQ(buffer.capacity, 2 * kHttpBodyStep);
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_EQ(http_data_callback(chunk.data(), 1, 10, &buffer), 10u);  // dropped: collect is off
    EXPECT_EQ(buffer.size, 0u);

    http_buffer headers;
    headers.collect = 1;
    EXPECT_EQ(http_header_callback(chunk.data(), 1, 5000, &headers), 5000u);
    EXPECT_EQ(headers.capacity, 2 * kHttpHeaderStep);
}

TEST(HttpTransferCallbacks, ShortWriteFailsTheDownload) {
    testing::scratch_dir scratch;
    const std::string path = scratch.path() + "/read-only";
    testing::write_file(path, "x");
    unique_file readonly(std::fopen(path.c_str(), "rb"));
    http_transfer transfer;
    transfer.file = readonly.get();
    char data[16] = {};
    EXPECT_EQ(http_write_callback(data, 1, sizeof data, &transfer), 0u);
}

}  // namespace
}  // namespace enctl
