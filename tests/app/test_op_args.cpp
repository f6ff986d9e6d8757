// The operations' own argument parsers: the cases of
// app/golden/args_<operation>.txt with their result, message and the option
// record they leave.
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

namespace enctl {
namespace {

using testing::expect_parse_transcript;
using testing::set_flags;

std::string octets(const std::uint32_t (&v)[4]) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

TEST(OpArgs, ShowAndRcli) {
    expect_parse_transcript<show_options>(
        show_parse_args, [](const show_options& o) { return std::to_string(o.handles); }, "app/golden/args_show.txt");
    expect_parse_transcript<rcli_options>(
        rcli_parse_args, [](const rcli_options& o) { return std::string(o.command); }, "app/golden/args_rcli.txt");
}

TEST(OpArgs, Iom) {
    expect_parse_transcript<iom_options>(
        iom_parse_args,
        [](const iom_options& o) {
            return set_flags(o, {{"show", &iom_options::show}, {"read", &iom_options::read},
                                 {"write", &iom_options::write}}) +
                   (o.write ? std::to_string(o.iom) + " dhcp=" + std::to_string(o.dhcp) + " " + octets(o.ip) + " " +
                                  octets(o.netmask) + " " + octets(o.gateway)
                            : "");
        },
        "app/golden/args_iom.txt");
}

TEST(OpArgs, FwAndZone) {
    expect_parse_transcript<fw_options>(
        fw_parse_args,
        [](const fw_options& o) {
            return set_flags(o, {{"status", &fw_options::status}, {"download", &fw_options::download},
                                 {"activate", &fw_options::activate}, {"reset", &fw_options::reset},
                                 {"nostatdelay", &fw_options::nostatdelay}}) + o.file;
        },
        "app/golden/args_fw.txt");
    // A value outside 0..3 is kept (the run refuses it), never wrapped into 0..3.
    expect_parse_transcript<zone_options>(
        zone_parse_args,
        [](const zone_options& o) {
            return set_flags(o, {{"config", &zone_options::config}, {"reset", &zone_options::reset},
                                 {"status", &zone_options::status}, {"file", &zone_options::file}}) +
                   std::to_string(o.config_value) + " " + o.file_path;
        },
        "app/golden/args_zone.txt");
}

TEST(OpArgs, Diag) {
    expect_parse_transcript<diag_options>(
        diag_parse_args,
        [](const diag_options& o) {
            using d = diag_options;
            return set_flags(o, {{"show_nickname", &d::show_nickname}, {"set_nickname", &d::set_nickname},
                                 {"clear_event_log", &d::clear_event_log}, {"clear_crash_log", &d::clear_crash_log},
                                 {"reset_enclosure", &d::reset_enclosure}, {"reset_iom_a", &d::reset_iom_a},
                                 {"reset_iom_b", &d::reset_iom_b}, {"show_timestamp", &d::show_timestamp},
                                 {"set_timestamp", &d::set_timestamp}, {"enable_autosync", &d::enable_autosync},
                                 {"disable_autosync", &d::disable_autosync}}) +
                   o.nickname + "|" + o.timestamp;
        },
        "app/golden/args_diag.txt");
}

TEST(OpArgs, Getlog) {
    expect_parse_transcript<getlog_options>(
        getlog_parse_args,
        [](const getlog_options& o) {
            using g = getlog_options;
            return set_flags(o, {{"common", &g::common}, {"vendor", &g::vendor}, {"vendor_iom", &g::vendor_iom},
                                 {"light", &g::system_light}, {"heavy", &g::system_heavy}, {"pack", &g::pack},
                                 {"drives", &g::drives}, {"noprompt", &g::drives_noprompt}, {"health", &g::health},
                                 {"handles", &g::device_handles}, {"own", &g::own_displays}}) +
                   std::to_string(o.timeout) + " " + o.pack_directory;
        },
        "app/golden/args_getlog.txt");
}

// Addresses become the host part of every URL: nothing that could change a
// URL's meaning passes. A host name of 251 characters fits the 256-byte field
// with ":808", not with ":8080".
TEST(OpArgs, Http) {
    expect_parse_transcript<http_options>(
        http_parse_args,
        [](const http_options& o) {
            return std::string(o.address) + " " + o.user + ":" + o.password + " " +
                   set_flags(o, {{"fw", &http_options::fw}, {"getlog", &http_options::getlog},
                                 {"health", &http_options::health}, {"bad", &http_options::health_bad},
                                 {"iom_set", &http_options::iom_set}, {"iom_show", &http_options::iom_show},
                                 {"show", &http_options::show}}) +
                   o.fw_file + o.getlog_dir + o.iom_value + o.show_device;
        },
        "app/golden/args_http.txt");
}

}  // namespace
}  // namespace enctl
