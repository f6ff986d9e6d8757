#include "sim/enclosure_logs.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sim/enclosure.h"
#include "sim/tar_gz.h"

namespace enctl::sim {

namespace {

constexpr const char* kLogNames[] = {"consolelog", "crashlog", "eventlog"};
// Time stamp of the bundle's members: 2026-01-01 00:00:00 UTC.
constexpr std::uint64_t kBundleTime = 1767225600;
constexpr std::uint32_t kEventsPerLog = 20;
constexpr std::uint32_t kEventsPerPage = 8;
constexpr std::size_t kEventSize = 32;
constexpr std::size_t kDumpSize = 2048;

// The firmware gate of the enclosure's own firmware: the revision's first
// "-" token compared as text.
bool firmware_at_least(const enclosure& e, std::string_view threshold) {
    std::string_view fw = e.spec().firmware;
    while (!fw.empty() && fw.front() == '-') fw.remove_prefix(1);
    const std::string_view token = fw.substr(0, fw.find('-'));
    return !token.empty() && token.compare(threshold) >= 0;
}

bytes text_page(std::uint8_t code, std::string_view text) {
    bytes d(4 + text.size(), 0);
    d[0] = code;
    put_be16(&d[2], static_cast<std::uint32_t>(text.size()));
    std::copy(text.begin(), text.end(), d.begin() + 4);
    return d;
}

// NUL-terminated strings, some separated by more than one NUL.
bytes string_page(std::uint8_t code, const std::vector<std::string>& strings) {
    std::string body;
    for (std::size_t i = 0; i < strings.size(); ++i) {
        body += strings[i];
        body.append(i % 3 == 2 ? 2 : 1, '\0');
    }
    return text_page(code, body);
}

const ses_element_type* find_type(const enclosure& e, std::uint8_t code) {
    for (const auto& t : e.types())
        if (t.code == code) return &t;
    return nullptr;
}

std::string iom_state(const enclosure& e) {
    return e.spec().dual_iom && !e.profile().single_always ? "dual" : "single";
}

bytes dump_page(const enclosure& e, std::uint8_t code, int which) {
    const std::uint32_t read = ++e.logs().dump_reads[which];
    bytes d(kDumpSize, 0);
    d[0] = code;
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    char head[64];
    std::snprintf(head, sizeof head, "DUMP %s read %u", which == 0 ? "primary" : "secondary", read);
    put_padded(&d[4], 28, head, '\0');
    for (std::size_t i = 32; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>((i * 7 + read * 13 + static_cast<std::size_t>(which)) & 0xFF);
    return d;
}

// After an event log request the page hands out the events, eight a page;
// then, and before any request, it carries no event.
bytes event_page(const enclosure& e, std::uint8_t code, int which) {
    auto& logs = e.logs();
    bytes d(4, 0);
    d[0] = code;
    if (logs.events_requested[which]) {
        std::uint32_t& next = logs.events_handed_out[which];
        const std::uint32_t last = std::min(kEventsPerLog, next + kEventsPerPage);
        for (; next < last; ++next) {
            bytes ev(kEventSize, 0);
            put_be32(&ev[0], 1000 + 60 * next);  // seconds since power on
            put_be16(&ev[4], 0x100 + next);       // event code
            ev[6] = next % 5 == 0 ? 2 : 1;        // severity
            char text[32];
            std::snprintf(text, sizeof text, "%s event %u", which == 0 ? "IOM" : "EXP", next + 1);
            put_padded(&ev[8], 24, text, '\0');
            d.insert(d.end(), ev.begin(), ev.end());
        }
    }
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    return d;
}

// The bundle: the help text and every expander log.
bytes build_bundle(const enclosure& e) {
    std::vector<archive_member> members;
    members.push_back({"bundle/help_text.txt", e.help_text()});
    for (std::uint8_t type = 1; type <= 3; ++type)
        for (std::uint32_t x = 0; x < e.profile().expanders_per_iom; ++x)
            members.push_back({"bundle/" + std::string(kLogNames[type - 1]) + "_exp_" + std::to_string(x) + ".log",
                               expander_log_text(e, type, x)});
    return build_tar_gz(members, kBundleTime);
}

scsi_result not_ready_in_progress() { return check_condition(0x02, 0x04, 0x07); }

// The long form (12 bytes, byte 2 06h): byte 3 the step (3 start packing the
// bundle, 4 its size, 2 the next piece), byte 5 the log type (4, the bundle),
// bytes 7-8 the length. The first size request after the start finds the
// bundle still being packed (NOT READY, operation in progress).
scsi_result bundle_command(enclosure& e, const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (!firmware_at_least(e, "3000")) return invalid_field_in_cdb();
    if (c[5] != 4 || c[4] >= e.profile().expanders_per_iom) return invalid_field_in_cdb();
    auto& logs = e.logs();
    const std::uint32_t length = be16(&c[7]);
    switch (c[3]) {
    case 3:
        logs.bundle_started = true;
        logs.bundle_size_asks = 0;
        logs.bundle = build_bundle(e);
        logs.bundle_read = 0;
        return {};
    case 4: {
        if (!logs.bundle_started) return check_condition(0x05, 0x2C, 0x00);  // command sequence error
        if (++logs.bundle_size_asks < 2) return not_ready_in_progress();
        bytes d(4, 0);
        put_be32(&d[0], static_cast<std::uint32_t>(logs.bundle.size()));
        return good_data(std::move(d), length, cmd);
    }
    case 2: {
        if (!logs.bundle_started) return check_condition(0x05, 0x2C, 0x00);
        if (logs.bundle_size_asks < 2) return not_ready_in_progress();
        const std::size_t n = std::min<std::size_t>(length, logs.bundle.size() - logs.bundle_read);
        const auto from = logs.bundle.begin() + static_cast<std::ptrdiff_t>(logs.bundle_read);
        logs.bundle_read += n;
        return good_data(bytes(from, from + static_cast<std::ptrdiff_t>(n)), length, cmd);
    }
    default:
        return invalid_field_in_cdb();
    }
}

}  // namespace

std::string expander_log_text(const enclosure& e, std::uint8_t log_type, std::uint32_t expander) {
    const std::uint32_t size = kExpanderLogSizes[log_type - 1];
    std::string text;
    if (log_type == 1) {
        // The console: what the expander printed, as far back as the log holds.
        static constexpr const char* kMessages[] = {
            "phy link up, 12.0 Gbps",    "SES page 02h read",  "zone manager idle",       "temperature poll complete",
            "fan speed adjusted",        "drive slot power on", "broadcast change sent",  "heartbeat from peer IOM",
        };
        char line[160];
        for (std::uint32_t n = 0; text.size() < size; ++n) {
            std::snprintf(line, sizeof line, "[%08u] %s exp %u consolelog: %s\n", 1000 + 37 * n,
                          e.spec().serial.c_str(), expander, kMessages[(n + expander) % std::size(kMessages)]);
            text += line;
        }
    } else {
        // The crash and event logs hold what the expander recorded (emptied by
        // "flash erase"); the rest of the log's space is zero.
        const std::size_t index = static_cast<std::size_t>(std::max(e.attached_iom(), 0)) * e.expander_count() + expander;
        const auto& recorded = e.state().expanders;
        if (index < recorded.size())
            for (const auto& line : log_type == 2 ? recorded[index].crash_log : recorded[index].event_log)
                text += line + "\n";
    }
    text.resize(size, '\0');
    return text;
}

bytes build_information_page(const enclosure& e) {
    const auto& s = e.spec();
    return string_page(0xEA, {"  Enclosure information  ", "Product: " + s.product_id, "Serial: " + s.serial,
                              "Firmware: " + s.firmware, "OOBM: " + s.oobm_version, "IOM: " + iom_state(e),
                              "Power on hours: 8754\t "});
}

bytes build_expander_status_page(const enclosure& e) {
    std::vector<std::string> strings = {"Expander status"};
    if (const auto* t = find_type(e, ses_sas_expander))
        for (const auto& el : t->elements) strings.push_back(el.text + ": running, 0 resets");
    return string_page(0xED, strings);
}

bytes build_environment_page(const enclosure& e) {
    std::vector<std::string> strings = {"Environment history"};
    char line[96];
    if (const auto* t = find_type(e, ses_temperature))
        for (const auto& el : t->elements) {
            const int now = int{el.status[2]} - 20;
            std::snprintf(line, sizeof line, "%s: now %d C, highest %d C, lowest %d C", el.text.c_str(), now, now + 7,
                          now - 12);
            strings.push_back(line);
        }
    if (const auto* t = find_type(e, ses_cooling))
        for (const auto& el : t->elements) {
            std::snprintf(line, sizeof line, "%s: %u rpm", el.text.c_str(),
                          10u * ((el.status[1] & 0x07u) << 8 | el.status[2]));
            strings.push_back(line);
        }
    return string_page(0x17, strings);
}

bytes build_debug_text_page(const enclosure& e) {
    const auto& s = e.spec();
    return text_page(0xEB, "Debug information\nSerial: " + s.serial + "\nFirmware: " + s.firmware +
                               "\nWatchdog resets: 0\nLast assert: none\n");
}

bytes build_primary_dump_page(const enclosure& e) { return dump_page(e, 0x87, 0); }
bytes build_secondary_dump_page(const enclosure& e) { return dump_page(e, 0x97, 1); }
bytes build_primary_event_page(const enclosure& e) { return event_page(e, 0x85, 0); }
bytes build_secondary_event_page(const enclosure& e) { return event_page(e, 0x95, 1); }

std::uint32_t take_event_log_request(enclosure& e, std::span<const std::uint8_t> page) {
    const int which = page[0] == 0x85 ? 0 : 1;
    e.logs().events_requested[which] = true;
    e.logs().events_handed_out[which] = 0;
    return 0;
}

scsi_result expander_log_command(enclosure& e, const scsi_command& cmd) {
    const auto& c = cmd.cdb;
    if (e.profile().code < 5) return invalid_opcode();
    if (c.size() == 12 && c[2] == 0x06) return bundle_command(e, cmd);
    if (c.size() != 10) return invalid_field_in_cdb();
    // The short form: byte 1 the expander (bits 1-0), byte 2 the log type,
    // bytes 3-5 the offset, bytes 6-8 the length.
    if (!firmware_at_least(e, "2040")) return invalid_opcode();
    const std::uint8_t type = c[2];
    const std::uint32_t expander = c[1] & 0x03;
    if (type < 1 || type > 3 || expander >= e.profile().expanders_per_iom) return invalid_field_in_cdb();
    const std::uint32_t offset = (std::uint32_t{c[3]} << 16) | be16(&c[4]);
    const std::uint32_t length = (std::uint32_t{c[6]} << 16) | be16(&c[7]);
    const std::string text = expander_log_text(e, type, expander);
    const std::string_view piece = offset < text.size() ? std::string_view(text).substr(offset, length) : "";
    return good_data(bytes(piece.begin(), piece.end()), length, cmd);
}

}  // namespace enctl::sim
