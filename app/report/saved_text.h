// A text file that a log collection saved (the sg_ses rendering of an SES
// page, a command-line reply, a tool's version line), read back whole and
// looked at line by line as the health checks do. A line is the text up to
// its CR or LF, at most 1023 characters of it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace enctl {

inline constexpr std::size_t kSavedLineLength = 1023;
inline constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

class saved_text {
public:
    // The file's text up to its first NUL; none when it cannot be read.
    static std::optional<saved_text> read(const std::string& path);
    explicit saved_text(std::string text);

    std::string_view text() const { return text_; }
    std::size_t line_count() const { return starts_.size(); }
    // Line `index` (empty past the last line).
    std::string_view line(std::size_t index) const;
    // Offset of line `index` in the text (the text's size past the last line).
    std::size_t line_start(std::size_t index) const { return index < starts_.size() ? starts_[index] : text_.size(); }
    // The first line at or after `from` that contains `key`; kNoLine when none.
    std::size_t find_line(std::string_view key, std::size_t from = 0) const;

private:
    std::string text_;
    std::vector<std::size_t> starts_;
};

// A line (or any text) cut at its CR or LF and to 1023 characters.
std::string_view saved_line(std::string_view text);

// The text after the first `key` in `line`; none when the key is absent.
std::optional<std::string_view> text_after(std::string_view line, std::string_view key);

inline bool contains(std::string_view text, std::string_view key) {
    return text.find(key) != std::string_view::npos;
}

// `text` before its first `delimiter` (the whole text when it has none).
std::string_view cut_before(std::string_view text, char delimiter);

// Leading blanks and trailing white space removed (as basekit's trim).
std::string_view trimmed(std::string_view text);

}  // namespace enctl
