// The operations' own argument parsers: each case's result, message and the
// option record it leaves, as transcripts in app/golden/args_<operation>.txt.
#include <gtest/gtest.h>

#include <string>

#include "app/discovery/show_options.h"
#include "app/getlog/getlog_options.h"
#include "app/ops/diag_options.h"
#include "app/ops/fw_options.h"
#include "app/ops/iom_options.h"
#include "app/ops/rcli_options.h"
#include "app/ops/zone_options.h"
#include "rest/http_args.h"
#include "tests/app/arg_table.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

using testing::expect_golden;
using testing::parse_transcript;
using testing::set_flags;

std::string octets(const std::uint32_t (&v)[4]) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

std::string repeat(std::size_t count, char c) { return std::string(count, c); }

TEST(OpArgs, ShowAndRcli) {
    expect_golden(parse_transcript(show_parse_args, [](const show_options& o) { return std::to_string(o.handles); },
                                   {{}, {"handles"}, {"handle"}, {"handles", "x"}}),
                  "app/golden/args_show.txt");
    expect_golden(parse_transcript(rcli_parse_args, [](const rcli_options& o) { return std::string(o.command); },
                                   {{"show drives"}, {repeat(255, 'c')}, {repeat(256, 'c')}, {""}, {}, {"a", "b"}}),
                  "app/golden/args_rcli.txt");
}

TEST(OpArgs, Iom) {
    const auto fields = [](const iom_options& o) {
        return set_flags(o, {{"show", &iom_options::show}, {"read", &iom_options::read}, {"write", &iom_options::write}}) +
               (o.write ? std::to_string(o.iom) + " dhcp=" + std::to_string(o.dhcp) + " " + octets(o.ip) + " " +
                              octets(o.netmask) + " " + octets(o.gateway)
                        : "");
    };
    expect_golden(parse_transcript(iom_parse_args, fields,
                                   {{}, {"oobm"}, {"oobm=A,192.168.0.10,255.255.255.0,192.168.0.1"},
                                    {"oobm=B,0.0.0.0,0.0.0.0,0.0.0.0"}, {"oobm=A,,1..2.3.4,0.0.0.0,0.0.0.0"},
                                    {"oobm=a,1.1.1.1,1.1.1.1,1.1.1.1"}, {"oobm=AB,1.1.1.1,1.1.1.1,1.1.1.1"},
                                    {"oobm=A,1.1.256.1,1.1.1.1,1.1.1.1"}, {"oobm=A,1.1.1,1.1.1.1,1.1.1.1"},
                                    {"oobm=A,1.1.1.1.9,1.1.1.1,1.1.1.1"}, {"oobm=A,1.1.1.1,1.1.1.x,1.1.1.1"},
                                    {"oobm=A,1.1.1.1,1.1.1.1,-1.1.1.1"}, {"oobm=A,1.1.1.1,1.1.1.1"},
                                    {"oobm=A,1.1.1.1,1.1.1.1,1.1.1.1,9"}, {"oobm="},
                                    {"oobm=A,1.1.1.1,1.1.1.1," + repeat(300, '1')}, {"oobmx"}, {"oobm", "x"}}),
                  "app/golden/args_iom.txt");
}

TEST(OpArgs, FwAndZone) {
    const auto fw_fields = [](const fw_options& o) {
        return set_flags(o, {{"status", &fw_options::status}, {"download", &fw_options::download},
                             {"activate", &fw_options::activate}, {"reset", &fw_options::reset},
                             {"nostatdelay", &fw_options::nostatdelay}}) + o.file;
    };
    expect_golden(parse_transcript(fw_parse_args, fw_fields,
                                   {{"status"}, {"activate"}, {"reset"},
                                    {"download_activate", "M7310-P.bin", "-nostatdelay"}, {"download_reset", "f"},
                                    {"download", repeat(1023, 'p')}, {"download", repeat(1024, 'p')}, {},
                                    {"status", "x"}, {"download"}, {"download", "f", "-nostatdelay", "x"},
                                    {"download", "f", "-fast"}, {"upgrade"}}),
                  "app/golden/args_fw.txt");
    const auto zone_fields = [](const zone_options& o) {
        return set_flags(o, {{"config", &zone_options::config}, {"reset", &zone_options::reset},
                             {"status", &zone_options::status}, {"file", &zone_options::file}}) +
               std::to_string(o.config_value) + " " + o.file_path;
    };
    // A value outside 0..3 is kept (the run refuses it), never wrapped into 0..3.
    expect_golden(parse_transcript(zone_parse_args, zone_fields,
                                   {{"config=2"}, {"config=256"}, {"config=4294967296"}, {"config=-1"}, {"status"},
                                    {"reset"}, {"file=M7310-P01.bin"}, {"config="}, {"config=1x"}, {"config=x"},
                                    {"file="}, {"file=" + repeat(1024, 'f')}, {"reset", "status"}, {"stat"}}),
                  "app/golden/args_zone.txt");
}

TEST(OpArgs, Diag) {
    const auto fields = [](const diag_options& o) {
        return set_flags(o, {{"show_nickname", &diag_options::show_nickname},
                             {"set_nickname", &diag_options::set_nickname},
                             {"clear_event_log", &diag_options::clear_event_log},
                             {"clear_crash_log", &diag_options::clear_crash_log},
                             {"reset_enclosure", &diag_options::reset_enclosure},
                             {"reset_iom_a", &diag_options::reset_iom_a}, {"reset_iom_b", &diag_options::reset_iom_b},
                             {"show_timestamp", &diag_options::show_timestamp},
                             {"set_timestamp", &diag_options::set_timestamp},
                             {"enable_autosync", &diag_options::enable_autosync},
                             {"disable_autosync", &diag_options::disable_autosync}}) +
               o.nickname + "|" + o.timestamp;
    };
    expect_golden(parse_transcript(diag_parse_args, fields,
                                   {{"nickname"}, {"nickname="}, {"nickname=DC2 Cage2"}, {"clear-eventlog"},
                                    {"clear-crashevent"}, {"reset-enc"}, {"reset-iom-a"}, {"reset-iom-b"},
                                    {"timestamp"}, {"timestamp=0x5f000000"}, {"autosync-enable"},
                                    {"autosync-disable"}, {"timestamp="}, {"timestamp=" + repeat(256, '1')},
                                    {"reset-iom-c"}, {}}),
                  "app/golden/args_diag.txt");
}

TEST(OpArgs, Getlog) {
    const auto fields = [](const getlog_options& o) {
        return set_flags(o, {{"common", &getlog_options::common}, {"vendor", &getlog_options::vendor},
                             {"vendor_iom", &getlog_options::vendor_iom}, {"light", &getlog_options::system_light},
                             {"heavy", &getlog_options::system_heavy}, {"pack", &getlog_options::pack},
                             {"drives", &getlog_options::drives}, {"noprompt", &getlog_options::drives_noprompt},
                             {"health", &getlog_options::health}, {"handles", &getlog_options::device_handles},
                             {"own", &getlog_options::own_displays}}) +
               std::to_string(o.timeout) + " " + o.pack_directory;
    };
    expect_golden(parse_transcript(getlog_parse_args, fields,
                                   {{"all-noprompt"}, {"all"}, {"vendor", "timeout=5", "timeout=-3", "system"},
                                    {"vendor-iom", "pack=/tmp"}, {"drives"}, {}, {"pack"}, {"timeout=30"},
                                    {"common", "bogus"}, {"common", "timeout="}, {"common", "timeout=5s"},
                                    {"common", "timeout=x"}, {"common", "timeout=99999999999"},
                                    {"common", "pack=/no/such/dir"}, {"common", "pack="}}),
                  "app/golden/args_getlog.txt");
}

TEST(OpArgs, Http) {
    const auto fields = [](const http_options& o) {
        return std::string(o.address) + " " + o.user + ":" + o.password + " " +
               set_flags(o, {{"fw", &http_options::fw}, {"getlog", &http_options::getlog},
                             {"health", &http_options::health}, {"bad", &http_options::health_bad},
                             {"iom_set", &http_options::iom_set}, {"iom_show", &http_options::iom_show},
                             {"show", &http_options::show}}) +
               o.fw_file + o.getlog_dir + o.iom_value + o.show_device;
    };
    // A valid host name of 251 characters: with ":808" it fits the 256-byte field, with ":8080" not.
    const std::string host = repeat(63, 'h') + "." + repeat(63, 'h') + "." + repeat(63, 'h') + "." + repeat(59, 'x');
    expect_golden(
        parse_transcript(http_parse_args, fields,
                         {{"http=10.11.12.13"}, {"http=10.0.0.7:8443", "user=root", "getlog", "dir=/var/tmp/logs"},
                          {"http=h", "pass=s3cr:t", "fw=/srv/fw image.bin"}, {"http=h", "health=bad"},
                          {"http=h", "health"}, {"http=h", "iom=dhcp"}, {"http=h", "iom=10.0.0.9"}, {"http=h", "iom"},
                          {"http=h", "show=media"}, {"http=" + host + ":808"}, {"http=" + host + ":8080"}, {"http="},
                          {"http=h/x"}, {"http=h", "show", "health"}, {"http=h", "iom", "iom=dhcp"},
                          {"http=h", "getlog", "getlog"}, {"http=h", "status"}, {"http=h", "health=good"},
                          {"http=h", "dir=/tmp"}, {"http=h", "getlog", "dir="}, {"http=h", "getlog", "dir=/a", "dir=/b"},
                          {"http=h", "user=a", "user=b"}, {"http=h", "pass=a", "pass=b"}, {"http=h", "user=a:b"},
                          {"http=h", "user=" + repeat(256, 'u')}, {"http=h", "fw="}, {"http=h", "fw=" + repeat(1024, 'f')},
                          {"http=h", "show="}, {"http=h", "iom=10.0.0.256"}, {"http=h", "iom=DHCP"}}),
        "app/golden/args_http.txt");
}

TEST(OpArgs, HttpAddresses) {
    for (const char* good : {"10.11.12.13", "10.11.12.13:8080", "0.0.0.0:1", "255.255.255.255:65535", "localhost",
                             "enclosure-7.lab.example", "shelf1:443", "a"})
        EXPECT_TRUE(http_address_is_valid(good)) << good;
    for (const char* bad : {"", ":80", "10.11.12.13:", "10.11.12.13:0", "10.11.12.13:65536", "10.11.12.13:8o",
                            "10.11.12.256", "10.11.12", "1.2.3.4.5", "010.1.1.1", "10.11.12.13/x", "host/Query",
                            "host?x", "host#x", "user@host", "user:pw@host", "ho st", "host\r\n", "-host", "host-",
                            "host..lab", "host.", "0x7f.1", "127.1", "[::1]", "1.2.3.4:80:90", "h%2fx", "a.b.c.123"})
        EXPECT_FALSE(http_address_is_valid(bad)) << bad;
    EXPECT_FALSE(http_address_is_valid(std::string(64, 'a')));  // label longer than 63
    EXPECT_TRUE(http_ipv4_is_valid("192.168.0.1"));
    EXPECT_FALSE(http_ipv4_is_valid("192.168.0.1 "));
}

}  // namespace
}  // namespace enctl
