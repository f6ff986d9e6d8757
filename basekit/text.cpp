#include "basekit/text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace enctl {

namespace {

// Length of the well-formed, printable UTF-8 sequence at text[at] (C1 code
// points U+0080..U+009F count as control characters), or 0.
std::size_t printable_utf8_length(std::string_view text, std::size_t at) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return 0;
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (code <= 0x9F) return 0;
    return length;
}

// Calls put(byte) for each byte kept and replace(byte) for each that could
// drive a terminal (the bytes in `kept` always stay).
template <typename Put, typename Replace>
void filter_printable(std::string_view text, std::string_view kept, Put&& put, Replace&& replace) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 0x20 && c < 0x7F) || (c < 0x80 && kept.find(text[i]) != std::string_view::npos)) {
            put(text[i++]);
        } else if (const std::size_t n = c >= 0x80 ? printable_utf8_length(text, i) : 0) {
            for (std::size_t k = 0; k < n; ++k) put(text[i++]);
        } else {
            replace(c);
            ++i;
        }
    }
}

}  // namespace

std::string visible_text(std::string_view text, std::string_view kept) {
    std::string out;
    out.reserve(text.size());
    filter_printable(
        text, kept, [&](char c) { out.push_back(c); },
        [&](unsigned char c) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        });
    return out;
}

std::string printable_text(std::string_view text, bool keep_lines) {
    std::string out;
    out.reserve(text.size());
    const auto put = [&](char c) { out.push_back(c); };
    filter_printable(text, keep_lines ? "\t\n" : "", put, [&](unsigned char) { out.push_back('?'); });
    return out;
}

char* make_printable(char* text) noexcept {
    if (!text) return text;
    char* p = text;
    filter_printable(
        std::string_view(text), "", [&](char c) { *p++ = c; }, [&](unsigned char) { *p++ = '?'; });
    return text;
}

char* trim(char* text) noexcept {
    if (!text) return text;
    std::size_t lead = 0;
    while (text[lead] == ' ') ++lead;
    std::size_t length = std::strlen(text + lead);
    if (lead) std::memmove(text, text + lead, length + 1);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
    text[length] = '\0';
    return text;
}

int copy_before_delimiter(std::string_view text, char delimiter, std::span<char> out) noexcept {
    if (out.empty()) return 1;
    std::memset(out.data(), 0, out.size());
    const std::size_t at = text.find(delimiter);
    if (at == std::string_view::npos || at >= out.size()) return 1;
    std::memcpy(out.data(), text.data(), at);
    return 0;
}

std::size_t copy_first_line(std::string_view text, std::span<char> out) noexcept {
    if (out.empty()) return 0;
    std::size_t n = text.find_first_of("\r\n");
    if (n == std::string_view::npos) n = text.size();
    if (n > out.size() - 1) n = out.size() - 1;
    std::memcpy(out.data(), text.data(), n);
    out[n] = '\0';
    return n;
}

const char* next_line(const char* text) noexcept {
    if (!text) return nullptr;
    const char* lf = std::strchr(text, '\n');
    if (!lf || lf[1] == '\0') return nullptr;
    return lf + 1;
}

const char* skip_lines(const char* text, std::size_t count) noexcept {
    if (!text) return nullptr;
    while (count > 0 && *text != '\0') {
        if (*text == '\n') --count;
        ++text;
    }
    return text;
}

char* cut_non_printable(char* text) noexcept {
    if (!text) return text;
    for (char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 32 || c > 126) {
            *p = '\0';
            break;
        }
    }
    return text;
}

namespace {

// The first "-"-separated token of at most the first 63 characters of text,
// leading dashes skipped (as a strtok-style split does).
std::string_view first_dash_token(const char* text) noexcept {
    if (!text) return {};
    std::string_view copy(text, strnlen(text, 63));
    const std::size_t start = copy.find_first_not_of('-');
    if (start == std::string_view::npos) return {};
    copy.remove_prefix(start);
    return copy.substr(0, copy.find('-'));
}

}  // namespace

bool first_dash_token_equals(const char* text, const char* value) noexcept {
    const std::string_view token = first_dash_token(text);
    if (token.empty() || !value) return false;
    return token == std::string_view(value);
}

bool first_dash_token_at_least(const char* text, const char* value) noexcept {
    const std::string_view token = first_dash_token(text);
    if (token.empty() || !value) return false;
    return token.compare(std::string_view(value)) >= 0;
}

}  // namespace enctl
