// Small byte helpers of the lab: big-endian stores, hex text, padded ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "basekit/bytes.h"

namespace enctl::sim {

using bytes = std::vector<std::uint8_t>;

using enctl::put_be16;
using enctl::put_be32;
using enctl::put_be64;

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
