#include "basekit/text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace enctl {

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

std::string visible_text(std::string_view text, std::string_view kept) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || kept.find(c) != std::string_view::npos) {
            out += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        out += escaped;
    }
    return out;
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
