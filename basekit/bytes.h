// Byte helpers shared by the command builders and parsers: big-endian
// readers and stores, the smaller of two counts, byte-pair swap (ATA identify strings)
// and UTF-16LE to narrow text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

// Read 2, 4 or 8 bytes most significant first. The caller guarantees the
// bytes are there (parsers bound their walks by the received count first).
constexpr std::uint16_t be16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
constexpr std::uint32_t be32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}
constexpr std::uint64_t be64(const std::uint8_t* p) noexcept {
    return (std::uint64_t{be32(p)} << 32) | be32(p + 4);
}

// Store 2, 3, 4 or 8 bytes most significant first (command and page fields).
constexpr void put_be16(std::uint8_t* p, std::uint32_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
constexpr void put_be24(std::uint8_t* p, std::uint32_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v >> 16);
    put_be16(p + 1, v);
}
constexpr void put_be32(std::uint8_t* p, std::uint32_t v) noexcept {
    put_be16(p, v >> 16);
    put_be16(p + 2, v);
}
constexpr void put_be64(std::uint8_t* p, std::uint64_t v) noexcept {
    put_be32(p, static_cast<std::uint32_t>(v >> 32));
    put_be32(p + 4, static_cast<std::uint32_t>(v));
}

// The smaller of two u32.
constexpr std::uint32_t minimum(std::uint32_t a, std::uint32_t b) noexcept { return a < b ? a : b; }

// Exchange each pair of adjacent bytes in place; an odd last byte stays.
void swap_byte_pairs(std::span<std::uint8_t> bytes) noexcept;

// Copy every other byte of a UTF-16LE buffer of `wide.size()` bytes: size/2
// characters are written to `narrow` (bounded by its size; the caller leaves
// room for a terminator when it wants one). Returns the characters written.
std::size_t wide_to_narrow(std::span<const std::uint8_t> wide, std::span<char> narrow) noexcept;

}  // namespace enctl
