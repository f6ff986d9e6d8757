// The reply decoding of page ECh shared by the console display and the log
// capture: lines, NUL bytes, the page length against the bytes received, and
// lines of any length printed whole and safe for a terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ops/cli_channel.h"
#include "tests/support/console_capture.h"

namespace enctl::testing {
namespace {

// Page ECh with `text` from byte 4 and the page length `length` (the text's
// own length when negative).
std::vector<std::uint8_t> reply_page(std::string_view text, long length = -1) {
    std::vector<std::uint8_t> page(4 + text.size(), 0);
    page[0] = 0xEC;
    const auto n = static_cast<std::uint32_t>(length < 0 ? static_cast<long>(text.size()) : length);
    page[2] = static_cast<std::uint8_t>(n >> 8);
    page[3] = static_cast<std::uint8_t>(n);
    std::copy(text.begin(), text.end(), page.begin() + 4);
    return page;
}

std::vector<std::string> lines_of(const std::vector<std::uint8_t>& page) {
    std::vector<std::string> lines;
    const std::size_t n = for_each_cli_reply_line(page, [&](std::string_view line) { lines.emplace_back(line); });
    EXPECT_EQ(n, lines.size());
    return lines;
}

using lines = std::vector<std::string>;

TEST(CliChannel, ReplyTextIsCutIntoLines) {
    EXPECT_EQ(lines_of(reply_page("")), lines{});
    EXPECT_EQ(lines_of(reply_page("abc\ndef")), lines{"abc\n"});  // the text after the last LF is dropped
    EXPECT_EQ(lines_of(reply_page(std::string("ab\0c\n\0\0x\n", 9))), (lines{"abc\n", "x\n"}));
    EXPECT_EQ(lines_of(reply_page("one\ntwo\n", 4)), lines{"one\n"});  // the page length ends the text
    // A page length beyond the bytes received: the walk stops at the bytes.
    EXPECT_EQ(lines_of(reply_page("one\ntwo\n", 0xFFFF)), (lines{"one\n", "two\n"}));
    EXPECT_EQ(lines_of({0xEC, 0x00}), lines{});
}

TEST(CliChannel, LinesArePrintedWholeAndVerbatimButForControlCharacters) {
    const std::string long_line = std::string(5000, 'x') + "%s%n\n";
    const std::string out = console_output([&] {
        for_each_cli_reply_line(reply_page(long_line + "tab\tbell\a esc\x1B[2J\n"), print_cli_line);
    });
    EXPECT_EQ(out, long_line + "tab\tbell\\x07 esc\\x1B[2J\n");
    EXPECT_EQ(console_output([] { print_cli_line("quiet\n"); }, 1), "");
}

}  // namespace
}  // namespace enctl::testing
