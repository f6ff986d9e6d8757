#include "sim/bytes.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace enctl::sim {

void put_padded(std::uint8_t* p, std::size_t n, std::string_view text, char pad) {
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : pad);
}

std::string padded(std::string_view text, std::size_t n) {
    std::string out(text.substr(0, n));
    out.resize(n, ' ');
    return out;
}

std::string hex16(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v));
    return buf;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::uint64_t> parse_hex_u64(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 16) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    return v;
}

std::optional<std::uint32_t> parse_number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool hex = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        hex = true;
    } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
        text.remove_suffix(1);
        hex = true;
    }
    if (text.empty() || text.size() > (hex ? 8u : 10u)) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = hex ? hex_digit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    }
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::optional<bytes> parse_hex_bytes(std::string_view text) {
    bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':' || c == '\n' || c == '\t' || c == '\r') {
            if (high >= 0) return std::nullopt;  // odd digit count inside a byte
            continue;
        }
        const int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<std::uint8_t>((high << 4) | d));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

std::string hex_lines(std::span<const std::uint8_t> data) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
        out += ((i % 16) == 15 || i + 1 == data.size()) ? '\n' : ' ';
    }
    return out;
}

}  // namespace enctl::sim
