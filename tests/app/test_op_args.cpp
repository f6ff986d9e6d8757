// The operations' own argument parsers: the cases of
// app/golden/args_<operation>.txt with their result, message and the fields
// of the option record they leave (written by the functions below).
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

using testing::set_flags;

std::string octets(const std::uint32_t (&v)[4]) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

std::string show_fields(const show_options& o) { return std::to_string(o.handles); }
std::string rcli_fields(const rcli_options& o) { return o.command; }

std::string iom_fields(const iom_options& o) {
    using i = iom_options;
    const std::string flags = set_flags(o, {{"show", &i::show}, {"read", &i::read}, {"write", &i::write}});
    if (!o.write) return flags;
    return flags + std::to_string(o.iom) + " dhcp=" + std::to_string(o.dhcp) + " " + octets(o.ip) + " " +
           octets(o.netmask) + " " + octets(o.gateway);
}

std::string fw_fields(const fw_options& o) {
    using f = fw_options;
    return set_flags(o, {{"status", &f::status}, {"download", &f::download}, {"activate", &f::activate},
                         {"reset", &f::reset}, {"nostatdelay", &f::nostatdelay}}) + o.file;
}

// A value outside 0..3 is kept (the run refuses it), never wrapped into 0..3.
std::string zone_fields(const zone_options& o) {
    using z = zone_options;
    return set_flags(o, {{"config", &z::config}, {"reset", &z::reset}, {"status", &z::status}, {"file", &z::file}}) +
           std::to_string(o.config_value) + " " + o.file_path;
}

std::string diag_fields(const diag_options& o) {
    using d = diag_options;
    return set_flags(o, {{"show_nickname", &d::show_nickname}, {"set_nickname", &d::set_nickname},
                         {"clear_event_log", &d::clear_event_log}, {"clear_crash_log", &d::clear_crash_log},
                         {"reset_enclosure", &d::reset_enclosure}, {"reset_iom_a", &d::reset_iom_a},
                         {"reset_iom_b", &d::reset_iom_b}, {"show_timestamp", &d::show_timestamp},
                         {"set_timestamp", &d::set_timestamp}, {"enable_autosync", &d::enable_autosync},
                         {"disable_autosync", &d::disable_autosync}}) +
           o.nickname + "|" + o.timestamp;
}

std::string getlog_fields(const getlog_options& o) {
    using g = getlog_options;
    return set_flags(o, {{"common", &g::common}, {"vendor", &g::vendor}, {"vendor_iom", &g::vendor_iom},
                         {"light", &g::system_light}, {"heavy", &g::system_heavy}, {"pack", &g::pack},
                         {"drives", &g::drives}, {"noprompt", &g::drives_noprompt}, {"health", &g::health},
                         {"handles", &g::device_handles}, {"own", &g::own_displays}}) +
           std::to_string(o.timeout) + " " + o.pack_directory;
}

// The address becomes the host part of every URL: nothing that could change a
// URL's meaning passes. A host name of 251 characters fits the 256-byte field
// with ":808", not with ":8080".
std::string http_fields(const http_options& o) {
    using h = http_options;
    return std::string(o.address) + " " + o.user + ":" + o.password + " " +
           set_flags(o, {{"fw", &h::fw}, {"getlog", &h::getlog}, {"health", &h::health}, {"bad", &h::health_bad},
                         {"iom_set", &h::iom_set}, {"iom_show", &h::iom_show}, {"show", &h::show}}) +
           o.fw_file + o.getlog_dir + o.iom_value + o.show_device;
}

TEST(OpArgs, Transcripts) {
    testing::expect_parse_transcript(show_parse_args, show_fields, "app/golden/args_show.txt");
    testing::expect_parse_transcript(rcli_parse_args, rcli_fields, "app/golden/args_rcli.txt");
    testing::expect_parse_transcript(iom_parse_args, iom_fields, "app/golden/args_iom.txt");
    testing::expect_parse_transcript(fw_parse_args, fw_fields, "app/golden/args_fw.txt");
    testing::expect_parse_transcript(zone_parse_args, zone_fields, "app/golden/args_zone.txt");
    testing::expect_parse_transcript(diag_parse_args, diag_fields, "app/golden/args_diag.txt");
    testing::expect_parse_transcript(getlog_parse_args, getlog_fields, "app/golden/args_getlog.txt");
    testing::expect_parse_transcript(http_parse_args, http_fields, "app/golden/args_http.txt");
}

}  // namespace
}  // namespace enctl
