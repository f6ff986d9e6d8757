// Helpers of the lab's unit tests: running commands on a model in-process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device.h"

namespace enctl::sim::testing {

inline scsi_result run(device& d, std::vector<std::uint8_t> cdb, std::uint32_t capacity = 16384,
                       std::vector<std::uint8_t> out = {}) {
    scsi_command c;
    c.cdb = cdb;
    c.data_out = out;
    c.data_in_capacity = capacity;
    return d.scsi(c);
}

inline std::vector<std::uint8_t> inquiry_cdb(int page = -1, std::uint16_t alloc = 4096) {
    return {0x12, static_cast<std::uint8_t>(page >= 0 ? 1 : 0), static_cast<std::uint8_t>(page >= 0 ? page : 0),
            static_cast<std::uint8_t>(alloc >> 8), static_cast<std::uint8_t>(alloc), 0};
}

inline std::vector<std::uint8_t> receive_diag_cdb(std::uint8_t page, std::uint16_t alloc = 16384) {
    return {0x1C, 0x01, page, static_cast<std::uint8_t>(alloc >> 8), static_cast<std::uint8_t>(alloc), 0};
}

inline std::string text_at(const bytes& b, std::size_t at, std::size_t n) {
    std::string s;
    for (std::size_t i = at; i < at + n && i < b.size(); ++i) s += static_cast<char>(b[i]);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// Sense key, ASC and ASCQ of fixed-format sense.
inline std::uint32_t sense_code(const scsi_result& r) {
    if (r.sense.size() < 14) return 0xFFFFFFFF;
    return (std::uint32_t{r.sense[2]} << 16) | (std::uint32_t{r.sense[12]} << 8) | r.sense[13];
}

}  // namespace enctl::sim::testing
