// Small byte helpers of the lab: big-endian stores, hex text, padded ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace enctl::sim {

using bytes = std::vector<std::uint8_t>;

inline void put_be16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void put_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline void put_be64(std::uint8_t* p, std::uint64_t v) {
    put_be32(p, static_cast<std::uint32_t>(v >> 32));
    put_be32(p + 4, static_cast<std::uint32_t>(v));
}
inline std::uint32_t get_be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
inline std::uint32_t get_be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Writes `text` into `n` bytes at `p`, padded with `pad` (blank for SCSI
// strings, NUL for fixed C strings), cut when longer.
void put_padded(std::uint8_t* p, std::size_t n, std::string_view text, char pad = ' ');

// `text` padded with blanks (or cut) to exactly `n` characters.
std::string padded(std::string_view text, std::size_t n);

// "50E1AB0000001000" <-> 64-bit number. Parsing accepts an optional 0x and
// needs 1 to 16 hex digits.
std::string hex16(std::uint64_t v);
std::optional<std::uint64_t> parse_hex_u64(std::string_view text);

// Number in decimal, or hex with 0x prefix or h suffix ("0x1C", "1Ch").
std::optional<std::uint32_t> parse_number(std::string_view text);

// Hex byte list as in "70 00 05" or "700005" (blanks, colons and commas ignored).
std::optional<bytes> parse_hex_bytes(std::string_view text);

// The bytes as lines of 16 two-digit hex bytes (the form sg_ses --inhex reads).
std::string hex_lines(std::span<const std::uint8_t> data);

}  // namespace enctl::sim
