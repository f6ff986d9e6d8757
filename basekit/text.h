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

// Texts a device or a REST service sends, fit for the terminal. One rule
// decides what could drive it: control characters (below 20h, 7Fh, and C1
// 80h-9Fh in their UTF-8 form) and bytes that are not well-formed UTF-8.
// visible_text shows each such byte, but those in `kept`, as the text "\xNN"
// (replies of many lines); printable_text replaces each with "?" (one value
// on a line; with `keep_lines`, LF and TAB stay).
std::string visible_text(std::string_view text, std::string_view kept = "\t\n");
std::string printable_text(std::string_view text, bool keep_lines = false);
// printable_text in place (a fixed-size record field keeps its length).
// Returns `text`.
char* make_printable(char* text) noexcept;

// Firmware version gates: the text (up to 63 characters) is cut into
// "-"-separated tokens and its first token compared with `value`: equal, or
// not less in byte order. Both answer false when the text is missing or has
// no token.
bool first_dash_token_equals(const char* text, const char* value) noexcept;
bool first_dash_token_at_least(const char* text, const char* value) noexcept;

}  // namespace enctl
