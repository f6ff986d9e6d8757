// Small text helpers shared by the parsers of replies, identification strings
// and firmware revisions. They work on NUL-terminated texts in fixed buffers,
// as the records of this program keep them.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace enctl {

// Remove leading blanks (spaces only) by moving the text left, then remove
// trailing white space. Returns `text`.
char* trim(char* text) noexcept;

// Copy the text before the first `delimiter` into `out`, which is zeroed
// first. Returns 1 when the delimiter is absent or the prefix (with its
// terminator) does not fit, else 0.
int copy_before_delimiter(std::string_view text, char delimiter, std::span<char> out) noexcept;

// Copy `text` up to its first CR or LF into `out`, cut to out.size() - 1
// characters and terminated. Returns the characters copied.
std::size_t copy_first_line(std::string_view text, std::span<char> out) noexcept;

// The position after the next LF, or nullptr when there is no further line.
const char* next_line(const char* text) noexcept;

// Advance past `count` LF characters, stopping at the terminator.
const char* skip_lines(const char* text, std::size_t count) noexcept;

// End the text at its first byte outside 32..126. Returns `text`.
char* cut_non_printable(char* text) noexcept;

// `text` safe to show on a terminal: every control character (and DEL) but
// those in `kept` becomes the visible text "\xNN". Texts that a device sends
// are shown through it.
std::string visible_text(std::string_view text, std::string_view kept = "\t\n");

// Firmware version gates: the text (up to 63 characters) is cut into
// "-"-separated tokens and its first token compared with `value`: equal, or
// not less in byte order. Both answer false when the text is missing or has
// no token.
bool first_dash_token_equals(const char* text, const char* value) noexcept;
bool first_dash_token_at_least(const char* text, const char* value) noexcept;

}  // namespace enctl
