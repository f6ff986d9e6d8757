// The operations' argument parsers and usage texts, in-process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/discovery/show_options.h"
#include "app/getlog/getlog_options.h"
#include "app/ops/diag_options.h"
#include "app/ops/fw_options.h"
#include "app/ops/iom_options.h"
#include "app/ops/rcli_options.h"
#include "app/ops/zone_options.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

using testing::console_output;

// Words as the front end hands them over.
struct words {
    words(std::initializer_list<std::string> list) : text(list) {
        for (const auto& w : text) ptrs.push_back(w.c_str());
    }
    operator std::span<const char* const>() const { return ptrs; }
    std::vector<std::string> text;
    std::vector<const char*> ptrs;
};

template <typename Options, typename Parse>
std::pair<int, std::string> parse(Options& options, Parse parse_fn, const words& args) {
    int rc = -1;
    const std::string out = console_output([&] { rc = parse_fn(options, args); });
    return {rc, out};
}

const char* const kIllegalCount = "ERROR: Illegal number of arguments\n\n";
const char* const kInvalidValue = "\nERROR: Invalid argument value.\n\n";

TEST(ShowArgs, HandlesOnlyAlone) {
    show_options o{};
    EXPECT_EQ(parse(o, show_parse_args, {}).first, 0);
    EXPECT_EQ(o.handles, 0u);
    EXPECT_EQ(parse(o, show_parse_args, {"handles"}).first, 0);
    EXPECT_EQ(o.handles, 1u);
    EXPECT_EQ(parse(o, show_parse_args, {"handle"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, show_parse_args, {"handles", "x"}).first, 1);
    EXPECT_EQ(o.handles, 0u);  // cleared even on failure
}

TEST(RcliArgs, CommandLengthBounds) {
    rcli_options o{};
    EXPECT_EQ(parse(o, rcli_parse_args, {}), std::make_pair(1, std::string(kIllegalCount)));
    EXPECT_EQ(parse(o, rcli_parse_args, {"a", "b"}), std::make_pair(1, std::string(kIllegalCount)));
    const std::string max(255, 'c');
    EXPECT_EQ(parse(o, rcli_parse_args, {max}).first, 0);
    EXPECT_EQ(std::string(o.command), max);
    EXPECT_EQ(parse(o, rcli_parse_args, {std::string(256, 'c')}), std::make_pair(1, std::string()));
    EXPECT_EQ(o.command[0], '\0');
    EXPECT_EQ(parse(o, rcli_parse_args, {""}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, rcli_parse_args, {"show drives"}).first, 0);
    EXPECT_STREQ(o.command, "show drives");
}

TEST(RcliArgs, UsageNamesTheLimit) {
    EXPECT_EQ(console_output(rcli_usage),
              "Usage:\n    rcli <command string>\n\nArguments:\n    <command string>\n"
              "        Any of the commands allowed by the enclosure firmware.\n"
              "        Specify in quotes if the command has spaces.\n"
              "        Maximum command length is 256 characters.\n\nExample:\n    rcli \"show drives\"\n\n");
}

TEST(IomArgs, StaticAndDhcpValues) {
    iom_options o{};
    EXPECT_EQ(parse(o, iom_parse_args, {}).first, 0);
    EXPECT_EQ(o.show, 1u);
    EXPECT_EQ(parse(o, iom_parse_args, {"oobm"}).first, 0);
    EXPECT_EQ(o.read, 1u);
    EXPECT_EQ(o.show, 0u);

    EXPECT_EQ(parse(o, iom_parse_args, {"oobm=A,192.168.0.10,255.255.255.0,192.168.0.1"}).first, 0);
    EXPECT_EQ(o.write, 1u);
    EXPECT_EQ(o.iom, 1);
    EXPECT_EQ(o.dhcp, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(o.ip, o.ip + 4), (std::vector<std::uint32_t>{192, 168, 0, 10}));
    EXPECT_EQ(std::vector<std::uint32_t>(o.netmask, o.netmask + 4), (std::vector<std::uint32_t>{255, 255, 255, 0}));
    EXPECT_EQ(std::vector<std::uint32_t>(o.gateway, o.gateway + 4), (std::vector<std::uint32_t>{192, 168, 0, 1}));

    EXPECT_EQ(parse(o, iom_parse_args, {"oobm=B,0.0.0.0,0.0.0.0,0.0.0.0"}).first, 0);
    EXPECT_EQ(o.iom, 2);
    EXPECT_EQ(o.dhcp, 1);
    // Empty tokens and parts are skipped as a strtok-style split does.
    EXPECT_EQ(parse(o, iom_parse_args, {"oobm=A,,1..2.3.4,0.0.0.0,0.0.0.0"}).first, 0);
    EXPECT_EQ(o.ip[1], 2u);
}

TEST(IomArgs, RefusedValues) {
    iom_options o{};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"oobm=a,1.1.1.1,1.1.1.1,1.1.1.1", "ERROR: illegal IOM value\n\n"},
        {"oobm=AB,1.1.1.1,1.1.1.1,1.1.1.1", "ERROR: illegal IOM value\n\n"},
        {"oobm=A,1.1.256.1,1.1.1.1,1.1.1.1", "ERROR: illegal IP address value\n\n"},
        {"oobm=A,1.1.1,1.1.1.1,1.1.1.1", "ERROR: illegal IP address value\n\n"},
        {"oobm=A,1.1.1.1,1.1.1.x,1.1.1.1", "ERROR: illegal subnet mask address value\n\n"},
        {"oobm=A,1.1.1.1,1.1.1.1,-1.1.1.1", "ERROR: illegal gateway address value\n\n"},
        {"oobm=A,1.1.1.1.9,1.1.1.1,1.1.1.1", "ERROR: illegal IP address value\n\n"},
        {"oobm=A,1.1.1.1,1.1.1.1", "\n"},
        {"oobm=A,1.1.1.1,1.1.1.1,1.1.1.1,9", "\n"},
        {"oobm=", "\n"},
        {"oobm=A,1.1.1.1,1.1.1.1," + std::string(300, '1'),
         "ERROR: The value for \"oobm=\" must be less than 256 characters\n\n"},
        {"oobmx", ""},
    };
    for (const auto& [arg, message] : cases) EXPECT_EQ(parse(o, iom_parse_args, {arg}), std::make_pair(1, message)) << arg;
    EXPECT_EQ(parse(o, iom_parse_args, {"oobm", "x"}), std::make_pair(1, std::string(kIllegalCount)));
}

TEST(FwArgs, Requests) {
    fw_options o{};
    EXPECT_EQ(parse(o, fw_parse_args, {"status"}).first, 0);
    EXPECT_EQ(o.status, 1u);
    EXPECT_EQ(parse(o, fw_parse_args, {"download_activate", "M7310-P.bin", "-nostatdelay"}).first, 0);
    EXPECT_EQ(o.download + o.activate + o.nostatdelay, 3u);
    EXPECT_EQ(o.reset, 0u);
    EXPECT_STREQ(o.file, "M7310-P.bin");
    EXPECT_EQ(parse(o, fw_parse_args, {"download_reset", "f"}).first, 0);
    EXPECT_EQ(o.download + o.reset, 2u);
    EXPECT_EQ(o.nostatdelay, 0u);
    const std::string longest(1023, 'p');
    EXPECT_EQ(parse(o, fw_parse_args, {"download", longest}).first, 0);
    EXPECT_EQ(std::string(o.file), longest);
}

TEST(FwArgs, Refusals) {
    fw_options o{};
    EXPECT_EQ(parse(o, fw_parse_args, {}), std::make_pair(1, std::string(kIllegalCount)));
    EXPECT_EQ(parse(o, fw_parse_args, {"status", "x"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, fw_parse_args, {"download"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, fw_parse_args, {"download", "f", "-nostatdelay", "x"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, fw_parse_args, {"download", std::string(1024, 'p')}),
              std::make_pair(1, std::string("ERROR: <file> cannot be more than 1024 characters\n\n")));
    EXPECT_EQ(parse(o, fw_parse_args, {"download", "f", "-fast"}),
              std::make_pair(1, std::string("ERROR: unknown argument -fast\n\n")));
    EXPECT_EQ(parse(o, fw_parse_args, {"upgrade"}), std::make_pair(1, std::string("ERROR: unknown argument upgrade\n\n")));
}

TEST(ZoneArgs, ConfigValuesAreKeptAsTyped) {
    zone_options o{};
    EXPECT_EQ(parse(o, zone_parse_args, {"config=2"}).first, 0);
    EXPECT_EQ(o.config, 1u);
    EXPECT_EQ(o.config_value, 2);
    EXPECT_EQ(parse(o, zone_parse_args, {"config=256"}).first, 0);
    EXPECT_EQ(o.config_value, 256);  // refused later as outside 0-3, never wrapped to 0
    EXPECT_EQ(parse(o, zone_parse_args, {"config=4294967296"}).first, 0);
    EXPECT_EQ(o.config_value, INT32_MAX);
    EXPECT_EQ(parse(o, zone_parse_args, {"config=-1"}).first, 0);
    EXPECT_EQ(o.config_value, -1);
    for (const char* bad : {"config=", "config=1x", "config=x", "file="})
        EXPECT_EQ(parse(o, zone_parse_args, {bad}), std::make_pair(1, std::string(kInvalidValue))) << bad;
    EXPECT_EQ(parse(o, zone_parse_args, {"status"}).first, 0);
    EXPECT_EQ(o.status, 1u);
    EXPECT_EQ(o.config, 0u);
    EXPECT_EQ(parse(o, zone_parse_args, {"file=M7310-P01.bin"}).first, 0);
    EXPECT_STREQ(o.file_path, "M7310-P01.bin");
    EXPECT_EQ(parse(o, zone_parse_args, {"file=" + std::string(1024, 'f')}),
              std::make_pair(1, std::string("\nERROR: The value for \"file=\" must be less than 1024 characters\n\n")));
    EXPECT_EQ(parse(o, zone_parse_args, {"reset", "status"}), std::make_pair(1, std::string(kIllegalCount)));
    EXPECT_EQ(parse(o, zone_parse_args, {"stat"}), std::make_pair(1, std::string()));
}

TEST(DiagArgs, Identifiers) {
    diag_options o{};
    EXPECT_EQ(parse(o, diag_parse_args, {"nickname="}).first, 0);
    EXPECT_EQ(o.set_nickname, 1u);
    EXPECT_STREQ(o.nickname, "");
    EXPECT_EQ(parse(o, diag_parse_args, {"nickname=DC2 Cage2"}).first, 0);
    EXPECT_STREQ(o.nickname, "DC2 Cage2");
    EXPECT_EQ(parse(o, diag_parse_args, {"nickname"}).first, 0);
    EXPECT_EQ(o.show_nickname + o.set_nickname, 1u);
    EXPECT_EQ(parse(o, diag_parse_args, {"timestamp=0x5f000000"}).first, 0);
    EXPECT_STREQ(o.timestamp, "0x5f000000");
    EXPECT_EQ(parse(o, diag_parse_args, {"timestamp="}), std::make_pair(1, std::string(kInvalidValue)));
    EXPECT_EQ(parse(o, diag_parse_args, {"timestamp=" + std::string(256, '1')}),
              std::make_pair(1, std::string(kInvalidValue)));
    EXPECT_EQ(parse(o, diag_parse_args, {"reset-iom-c"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, diag_parse_args, {}), std::make_pair(1, std::string(kIllegalCount)));

    const std::vector<std::pair<std::string, std::uint32_t diag_options::*>> flags = {
        {"clear-eventlog", &diag_options::clear_event_log},   {"clear-crashevent", &diag_options::clear_crash_log},
        {"reset-enc", &diag_options::reset_enclosure},        {"reset-iom-a", &diag_options::reset_iom_a},
        {"reset-iom-b", &diag_options::reset_iom_b},          {"timestamp", &diag_options::show_timestamp},
        {"autosync-enable", &diag_options::enable_autosync},  {"autosync-disable", &diag_options::disable_autosync},
    };
    for (const auto& [word, flag] : flags) {
        EXPECT_EQ(parse(o, diag_parse_args, {word}).first, 0) << word;
        EXPECT_EQ(o.*flag, 1u) << word;
        EXPECT_EQ(o.show_nickname + o.set_nickname + o.clear_event_log + o.clear_crash_log + o.reset_enclosure +
                      o.reset_iom_a + o.reset_iom_b + o.show_timestamp + o.set_timestamp + o.enable_autosync +
                      o.disable_autosync,
                  1u)
            << word;
    }
}

TEST(GetlogArgs, FlagSets) {
    getlog_options o{};
    EXPECT_EQ(parse(o, getlog_parse_args, {"all-noprompt"}).first, 0);
    EXPECT_EQ(o.drives_noprompt + o.system_heavy + o.system_light + o.common + o.pack + o.health + o.device_handles +
                  o.vendor + o.own_displays,
              9u);
    EXPECT_EQ(o.drives + o.vendor_iom, 0u);
    EXPECT_EQ(o.timeout, 60);
    EXPECT_EQ(parse(o, getlog_parse_args, {"all"}).first, 0);
    EXPECT_EQ(o.drives, 1u);
    EXPECT_EQ(o.drives_noprompt, 0u);
    EXPECT_EQ(parse(o, getlog_parse_args, {"vendor", "timeout=5", "timeout=-3", "system"}).first, 0);
    EXPECT_EQ(o.vendor + o.own_displays + o.system_heavy + o.system_light, 4u);
    EXPECT_EQ(o.timeout, -3);
    EXPECT_EQ(parse(o, getlog_parse_args, {"vendor-iom", "pack=/tmp"}).first, 0);
    EXPECT_EQ(o.pack, 1u);
    EXPECT_STREQ(o.pack_directory, "/tmp");
}

TEST(GetlogArgs, Refusals) {
    getlog_options o{};
    EXPECT_EQ(parse(o, getlog_parse_args, {}),
              std::make_pair(1, std::string("ERROR: Must specify at least one operation\n\n")));
    EXPECT_EQ(parse(o, getlog_parse_args, {"pack"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, getlog_parse_args, {"timeout=30"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, getlog_parse_args, {"common", "bogus"}), std::make_pair(1, std::string()));
    EXPECT_EQ(parse(o, getlog_parse_args, {"common", "timeout="}),
              std::make_pair(1, std::string("\nERROR: Argument value for \"timeout\" cannot be empty.\n\n")));
    for (const char* bad : {"timeout=5s", "timeout=x", "timeout=99999999999"})
        EXPECT_EQ(parse(o, getlog_parse_args, {"common", bad}),
                  std::make_pair(1, std::string("\nERROR: Invalid argument value for \"timeout\".\n\n")))
            << bad;
    const std::string missing("\nERROR: The specified path does not exist\n\n");
    EXPECT_EQ(parse(o, getlog_parse_args, {"common", "pack=/no/such/dir"}), std::make_pair(2, missing));
    EXPECT_EQ(parse(o, getlog_parse_args, {"common", "pack="}), std::make_pair(2, missing));
}

}  // namespace
}  // namespace enctl
