// Byte and text helpers of the command-set helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace enctl::cmdx {

inline std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}
inline std::uint64_t be64(const std::uint8_t* p) {
    return (static_cast<std::uint64_t>(be32(p)) << 32) | be32(p + 4);
}
inline void put_be16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void put_be24(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 16);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v);
}
inline void put_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// Leading blanks (spaces only) moved out, then trailing white space removed.
inline void trim(char* text) {
    std::size_t start = 0;
    while (text[start] == ' ') ++start;
    if (start) std::memmove(text, text + start, std::strlen(text + start) + 1);
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\n' ||
                     text[n - 1] == '\r' || text[n - 1] == '\v' || text[n - 1] == '\f'))
        text[--n] = '\0';
}

// Zeroes `out`, copies at most out.size() - 1 bytes of `bytes` and trims.
inline void copy_trimmed(std::span<char> out, std::span<const std::uint8_t> bytes) {
    if (out.empty()) return;
    std::memset(out.data(), 0, out.size());
    const std::size_t n = bytes.size() < out.size() - 1 ? bytes.size() : out.size() - 1;
    if (n) std::memcpy(out.data(), bytes.data(), n);
    trim(out.data());
}

// A length that fits the 32-bit fields of the command records.
inline std::uint32_t length32(std::size_t n) {
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

}  // namespace enctl::cmdx
