// The enclosure's remembered state: how it starts, and its JSON form. The
// JSON is built by one function per area (the sections below); a new area of
// the model adds its function to kSections.
#include "sim/enclosure_state.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <memory>

#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

constexpr std::uint64_t kDefaultRtcSeconds = 1700000000;  // 2023-11-14 22:13:20 UTC

// Deterministic, mostly zero counters: a few phys of each expander have seen
// errors.
phy_counters initial_counters(std::uint32_t iom, std::uint32_t expander, std::uint32_t phy) {
    const std::uint32_t seed = phy * 7 + expander * 3 + iom * 5;
    phy_counters c;
    if (seed % 11 == 0) c.invalid_dwords = 3 * (phy + 1);
    if (seed % 13 == 0) c.disparity_errors = 2 * (phy + 1);
    if (seed % 17 == 0) c.loss_of_dword_sync = 1 + phy % 3;
    if (seed % 29 == 0) c.phy_reset_problems = 1;
    return c;
}

expander_state initial_expander(const enclosure& e, std::uint32_t iom, std::uint32_t expander) {
    expander_state x;
    for (std::uint32_t p = 0; p < e.phy_count(expander); ++p) x.phys.push_back(initial_counters(iom, expander, p));
    const char name = iom == 0 ? 'A' : 'B';
    char line[128];
    const char* const events[] = {"power on", "firmware started", "SAS link up", "enclosure services ready"};
    for (const char* what : events) {
        std::snprintf(line, sizeof line, "IOM %c expander %u: %s", name, expander, what);
        x.event_log.push_back(line);
    }
    if (expander == 0) {
        std::snprintf(line, sizeof line, "IOM %c expander 0: watchdog reset in task ses_main", name);
        x.crash_log.push_back(line);
    }
    return x;
}

std::string octets(const std::array<std::uint8_t, 4>& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string nickname_text(const std::array<std::uint8_t, 32>& n) {
    std::string text(n.begin(), n.end());
    return text.substr(0, text.find('\0'));
}

std::string expander_name(const enclosure& e, std::size_t index) {
    const std::uint32_t n = e.expander_count();
    return std::string(1, index / n == 0 ? 'A' : 'B') + std::to_string(index % n);
}

// The command line: commands received, error counters, log sizes.
void add_command_line(const enclosure& e, cJSON* o) {
    const enclosure_state& s = e.state();
    cJSON* commands = cJSON_AddArrayToObject(o, "cli_commands");
    for (const auto& c : s.cli_commands) cJSON_AddItemToArray(commands, cJSON_CreateString(c.c_str()));
    cJSON* counters = cJSON_AddObjectToObject(o, "error_counters");
    cJSON* logs = cJSON_AddObjectToObject(o, "logs");
    for (std::size_t i = 0; i < s.expanders.size(); ++i) {
        const expander_state& x = s.expanders[i];
        const std::string name = expander_name(e, i);
        cJSON* phys = cJSON_AddArrayToObject(counters, name.c_str());
        for (const auto& p : x.phys) {
            const int values[] = {static_cast<int>(p.invalid_dwords), static_cast<int>(p.disparity_errors),
                                  static_cast<int>(p.loss_of_dword_sync), static_cast<int>(p.phy_reset_problems)};
            cJSON_AddItemToArray(phys, cJSON_CreateIntArray(values, 4));
        }
        cJSON* log = cJSON_AddObjectToObject(logs, name.c_str());
        cJSON_AddNumberToObject(log, "events", static_cast<double>(x.event_log.size()));
        cJSON_AddNumberToObject(log, "crashes", static_cast<double>(x.crash_log.size()));
    }
}

// Settings the host changes: nickname, OOBM blocks, autosync, zoning, clock.
void add_settings(const enclosure& e, cJSON* o) {
    const enclosure_state& s = e.state();
    cJSON_AddStringToObject(o, "nickname", nickname_text(s.nickname).c_str());
    cJSON* oobm = cJSON_AddObjectToObject(o, "oobm");
    for (int iom = 0; iom < 2; ++iom) {
        const oobm_block& b = s.oobm[static_cast<std::size_t>(iom)];
        cJSON* block = cJSON_AddObjectToObject(oobm, iom == 0 ? "A" : "B");
        cJSON_AddStringToObject(block, "mode", b.mode == 0 ? "static" : b.mode == 1 ? "dhcp" : "other");
        cJSON_AddStringToObject(block, "ip", octets(b.ip).c_str());
        cJSON_AddStringToObject(block, "netmask", octets(b.netmask).c_str());
        cJSON_AddStringToObject(block, "gateway", octets(b.gateway).c_str());
    }
    cJSON_AddBoolToObject(o, "autosync", s.autosync);
    cJSON_AddNumberToObject(o, "zoning", s.zoning);
    cJSON_AddStringToObject(o, "zoning_file", s.zoning_file.c_str());
    cJSON_AddNumberToObject(o, "rtc_seconds", static_cast<double>(e.rtc_us() / 1000000));
}

void add_resets(const enclosure& e, cJSON* o) {
    const enclosure_state& s = e.state();
    cJSON* resets = cJSON_AddObjectToObject(o, "resets");
    cJSON_AddNumberToObject(resets, "enclosure", s.enclosure_resets);
    cJSON* iom = cJSON_AddObjectToObject(resets, "iom");
    for (const auto& [selector, count] : s.iom_resets) {
        char key[8];
        std::snprintf(key, sizeof key, "%02Xh", selector);
        cJSON_AddNumberToObject(iom, key, count);
    }
    cJSON_AddBoolToObject(o, "not_ready", s.not_ready_until_ms > e.now_ms());
}

using state_section = void (*)(const enclosure&, cJSON*);
constexpr state_section kSections[] = {add_settings, add_resets, add_firmware_state, add_command_line};

struct json_deleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};

}  // namespace

std::uint32_t enclosure::phy_count(std::uint32_t expander) const {
    if (!profile_->vendor_pages) return 0;
    switch (profile_->code) {
    case 1: return 68;
    case 2: return 36;
    default: return expander == 0 ? 48 : 68;
    }
}

std::uint64_t enclosure::rtc_us() const { return state_.rtc_us + (now_ms() - state_.rtc_set_at_ms) * 1000; }

void enclosure::init_state() {
    state_.zoning = spec_.zoning;
    state_.rtc_us = kDefaultRtcSeconds * 1000000;
    state_.oobm[0] = {0, {192, 168, 0, 10}, {255, 255, 255, 0}, {192, 168, 0, 1}};
    state_.oobm[1] = {0, {192, 168, 0, 11}, {255, 255, 255, 0}, {192, 168, 0, 1}};
    for (std::uint32_t iom = 0; iom < 2; ++iom)
        for (std::uint32_t k = 0; k < expander_count(); ++k) state_.expanders.push_back(initial_expander(*this, iom, k));
}

std::string enclosure_state_json(const enclosure& e) {
    std::unique_ptr<cJSON, json_deleter> root(cJSON_CreateObject());
    for (const state_section add : kSections) add(e, root.get());
    char* text = cJSON_Print(root.get());
    std::string out = text ? text : "";
    cJSON_free(text);
    return out + "\n";
}

}  // namespace enctl::sim
