// The http operation's command line, in-process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rest/http_args.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

std::pair<int, std::string> parse(http_options& o, std::vector<std::string> words) {
    std::vector<const char*> ptrs;
    for (const auto& w : words) ptrs.push_back(w.c_str());
    int rc = -1;
    const std::string out = testing::console_output([&] { rc = http_parse_args(o, ptrs); });
    return {rc, out};
}

TEST(HttpArgs, Addresses) {
    for (const char* good : {"10.11.12.13", "10.11.12.13:8080", "0.0.0.0:1", "255.255.255.255:65535", "localhost",
                             "enclosure-7.lab.example", "shelf1:443", "a"})
        EXPECT_TRUE(http_address_is_valid(good)) << good;
    for (const char* bad : {"", ":80", "10.11.12.13:", "10.11.12.13:0", "10.11.12.13:65536", "10.11.12.13:8o",
                            "10.11.12.256", "10.11.12", "1.2.3.4.5", "010.1.1.1", "10.11.12.13/x", "host/Query",
                            "host?x", "host#x", "user@host", "user:pw@host", "ho st", "host\r\n", "-host", "host-",
                            "host..lab", "host.", "0x7f.1", "127.1", "[::1]", "1.2.3.4:80:90", "h%2fx",
                            "a.b.c.123"})
        EXPECT_FALSE(http_address_is_valid(bad)) << bad;
    EXPECT_FALSE(http_address_is_valid(std::string(64, 'a')));  // label longer than 63
    EXPECT_TRUE(http_ipv4_is_valid("192.168.0.1"));
    EXPECT_FALSE(http_ipv4_is_valid("192.168.0.1 "));
}

TEST(HttpArgs, IdentifiersFillTheRecord) {
    http_options o{};
    EXPECT_EQ(parse(o, {"http=10.11.12.13"}).first, 0);
    EXPECT_STREQ(o.address, "10.11.12.13");
    EXPECT_EQ(o.show + o.fw + o.getlog + o.health + o.iom_set + o.iom_show, 0u);

    EXPECT_EQ(parse(o, {"http=h", "pass=s3cr:t", "fw=/srv/fw image.bin"}).first, 0);
    EXPECT_EQ(o.fw, 1u);
    EXPECT_STREQ(o.fw_file, "/srv/fw image.bin");
    EXPECT_STREQ(o.password, "s3cr:t");
    EXPECT_STREQ(o.user, "");

    EXPECT_EQ(parse(o, {"http=h", "health=bad"}).first, 0);
    EXPECT_EQ(o.health + o.health_bad, 2u);
    EXPECT_EQ(parse(o, {"http=h", "health"}).first, 0);
    EXPECT_EQ(o.health_bad, 0u);
    EXPECT_EQ(parse(o, {"http=h", "iom=dhcp"}).first, 0);
    EXPECT_EQ(o.iom_set, 1u);
    EXPECT_STREQ(o.iom_value, "dhcp");
    EXPECT_EQ(parse(o, {"http=h", "iom=10.0.0.9"}).first, 0);
    EXPECT_STREQ(o.iom_value, "10.0.0.9");
    EXPECT_EQ(parse(o, {"http=h", "iom"}).first, 0);
    EXPECT_EQ(o.iom_show + o.iom_set, 1u);
    EXPECT_EQ(parse(o, {"http=h", "show=media"}).first, 0);
    EXPECT_EQ(o.show, 1u);
    EXPECT_STREQ(o.show_device, "media");
    EXPECT_EQ(parse(o, {"http=h", "getlog"}).first, 0);
    EXPECT_STREQ(o.getlog_dir, "");
}

TEST(HttpArgs, Refusals) {
    http_options o{};
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"http="}, "ERROR: \"http=\" needs an IPv4 address or a host name, optionally followed by :<port>\n\n"},
        {{"http=h/x"}, "ERROR: \"http=\" needs an IPv4 address or a host name, optionally followed by :<port>\n\n"},
        {{"http=h", "show", "health"}, "ERROR: Only one identifier may be given: \"health\" conflicts with \"show\"\n\n"},
        {{"http=h", "iom", "iom=dhcp"}, "ERROR: Only one identifier may be given: \"iom=dhcp\" conflicts with \"iom\"\n\n"},
        {{"http=h", "getlog", "getlog"}, "ERROR: Only one identifier may be given: \"getlog\" conflicts with \"getlog\"\n\n"},
        {{"http=h", "status"}, "ERROR: unknown argument status\n\n"},
        {{"http=h", "health=good"}, "ERROR: unknown argument health=good\n\n"},
        {{"http=h", "dir=/tmp"}, "ERROR: \"dir=\" is only valid with \"getlog\"\n\n"},
        {{"http=h", "getlog", "dir="}, "ERROR: The value for \"dir=\" cannot be empty\n\n"},
        {{"http=h", "getlog", "dir=/a", "dir=/b"}, "ERROR: \"dir=\" may be given only once\n\n"},
        {{"http=h", "user=a", "user=b"}, "ERROR: \"user=\" may be given only once\n\n"},
        {{"http=h", "pass=a", "pass=b"}, "ERROR: \"pass=\" may be given only once\n\n"},
        {{"http=h", "user=a:b"}, "ERROR: The value for \"user=\" may not hold ':' or control characters\n\n"},
        {{"http=h", "user=" + std::string(256, 'u')}, "ERROR: The value for \"user=\" must be less than 256 characters\n\n"},
        {{"http=h", "fw="}, "ERROR: The value for \"fw=\" cannot be empty\n\n"},
        {{"http=h", "fw=" + std::string(1024, 'f')}, "ERROR: The value for \"fw=\" must be less than 1024 characters\n\n"},
        {{"http=h", "show="}, "ERROR: The value for \"show=\" cannot be empty\n\n"},
        {{"http=h", "iom=10.0.0.256"}, "ERROR: \"iom=\" needs \"dhcp\" or an IPv4 address x.x.x.x with x 0-255\n\n"},
        {{"http=h", "iom=DHCP"}, "ERROR: \"iom=\" needs \"dhcp\" or an IPv4 address x.x.x.x with x 0-255\n\n"},
    };
    for (const auto& [words, message] : cases) EXPECT_EQ(parse(o, words), std::make_pair(1, message)) << words.back();
    // A valid host name and port that together do not fit the 256-byte record.
    std::string host;
    for (int i = 0; i < 3; ++i) host += std::string(63, 'h') + ".";
    host += std::string(59, 'x');  // 251 characters
    ASSERT_TRUE(http_address_is_valid(host + ":8080"));
    EXPECT_EQ(parse(o, {"http=" + host + ":8080"}).first, 1);
    EXPECT_EQ(parse(o, {"http=" + host + ":808"}).first, 0);
    EXPECT_EQ(std::string(o.address), host + ":808");
}

}  // namespace
}  // namespace enctl
