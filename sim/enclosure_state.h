// What a simulated enclosure remembers for the life of the lab process: the
// settings the host changed, the counters and logs its commands act on, and
// what it was sent. `enctl-lab state` prints it as JSON (enclosure_state_json),
// so that tests assert on what the enclosure ended up with.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace enctl::sim {

class enclosure;

// Error counters of one expander phy, as "err_cnts a-b read" prints them.
struct phy_counters {
    std::uint32_t invalid_dwords = 0;
    std::uint32_t disparity_errors = 0;
    std::uint32_t loss_of_dword_sync = 0;
    std::uint32_t phy_reset_problems = 0;
};

// One expander of one IOM.
struct expander_state {
    std::vector<phy_counters> phys;
    std::vector<std::string> event_log;  // emptied by "flash erase 4"
    std::vector<std::string> crash_log;  // emptied by "flash erase 8"
};

// The OOBM network block of one IOM (mode page 23h subpage 01h).
struct oobm_block {
    std::uint8_t mode = 1;  // 0 static, 1 DHCP
    std::array<std::uint8_t, 4> ip{};
    std::array<std::uint8_t, 4> netmask{};
    std::array<std::uint8_t, 4> gateway{};
};

struct enclosure_state {
    // The command line (page ECh): every command received, in order, and what
    // the most recent one printed.
    std::vector<std::string> cli_commands;
    std::string cli_reply;
    // Expanders of IOM A, then of IOM B (expander_count per IOM).
    std::vector<expander_state> expanders;

    // Settings.
    std::uint32_t zoning = 0;                      // pre-defined configuration in force, 0 = disabled
    std::string zoning_file;                       // T10 zoning configuration in force by name ("" none)
    std::array<std::uint8_t, 32> nickname{};       // page 0Fh, zero-padded
    std::array<oobm_block, 2> oobm{};              // IOM A, IOM B
    bool autosync = false;                         // mode page 20h byte 14 (08h when on)

    // The clock: microseconds since the epoch at lab time rtc_set_at_ms.
    std::uint64_t rtc_us = 0;
    std::uint64_t rtc_set_at_ms = 0;

    // Resets taken on String Out page 04h: of the enclosure, and of an IOM by
    // the selector byte (00h IOM A, 01h IOM B, other codes as sent).
    std::uint32_t enclosure_resets = 0;
    std::map<std::uint8_t, std::uint32_t> iom_resets;
    // Until this lab time (ms) the enclosure answers NOT READY.
    std::uint64_t not_ready_until_ms = 0;
};

// The state of `e` as a JSON object (the output of `enctl-lab state`).
std::string enclosure_state_json(const enclosure& e);

}  // namespace enctl::sim
