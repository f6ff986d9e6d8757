#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "basekit/bytes.h"
#include "basekit/text.h"

namespace enctl {
namespace {

TEST(Bytes, BigEndianReaders) {
    const std::uint8_t b[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
    EXPECT_EQ(be16(b), 0x0102u);
    EXPECT_EQ(be32(b), 0x01020304u);
    EXPECT_EQ(be64(b), 0x01020304050607F8ull);
    EXPECT_EQ(be32(b + 4), 0x050607F8u);
    EXPECT_EQ(minimum(7, 3), 3u);
}

TEST(Bytes, SwapPairsLeavesOddLastByte) {
    std::uint8_t s[] = {'B', 'A', 'D', 'C', 'E'};
    swap_byte_pairs(s);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s), 5), "ABCDE");
}

TEST(Bytes, WideToNarrowTakesEveryOtherByteAndStaysInBounds) {
    const std::uint8_t wide[] = {'d', 0, 'i', 0, 's', 0, 'k', 0, '1'};
    std::array<char, 8> out{};
    EXPECT_EQ(wide_to_narrow(wide, out), 4u);
    EXPECT_STREQ(out.data(), "disk");
    std::array<char, 2> small{};
    EXPECT_EQ(wide_to_narrow(wide, small), 2u);
    EXPECT_EQ(std::string(small.data(), 2), "di");
}

TEST(Text, TrimRemovesLeadingSpacesOnlyAndTrailingWhiteSpace) {
    char a[] = "   SEAGATE \t\r\n";
    EXPECT_STREQ(trim(a), "SEAGATE");
    char b[] = "\tX ";  // a leading tab is not a blank
    EXPECT_STREQ(trim(b), "\tX");
    char c[] = "    ";
    EXPECT_STREQ(trim(c), "");
}

TEST(Text, CopyBeforeDelimiter) {
    std::array<char, 8> out{};
    EXPECT_EQ(copy_before_delimiter("2043-003", '-', out), 0);
    EXPECT_STREQ(out.data(), "2043");
    EXPECT_EQ(copy_before_delimiter("2043", '-', out), 1);  // absent
    EXPECT_STREQ(out.data(), "");
    EXPECT_EQ(copy_before_delimiter("12345678-1", '-', out), 1);  // does not fit
    EXPECT_EQ(copy_before_delimiter("1234567-1", '-', out), 0);
    EXPECT_STREQ(out.data(), "1234567");
}

TEST(Text, LinesAndCuts) {
    std::array<char, 6> line{};
    EXPECT_EQ(copy_first_line("abc\r\ndef", line), 3u);
    EXPECT_STREQ(line.data(), "abc");
    EXPECT_EQ(copy_first_line("abcdefgh", line), 5u);
    EXPECT_STREQ(line.data(), "abcde");

    const char* text = "one\ntwo\nthree";
    EXPECT_STREQ(next_line(text), "two\nthree");
    EXPECT_EQ(next_line("last"), nullptr);
    EXPECT_EQ(next_line("last\n"), nullptr);
    EXPECT_STREQ(skip_lines(text, 2), "three");
    EXPECT_STREQ(skip_lines(text, 9), "");

    char id[] = "ST4000\x01junk";
    EXPECT_STREQ(cut_non_printable(id), "ST4000");
    char high[] = "ab\x80" "cd";
    EXPECT_STREQ(cut_non_printable(high), "ab");
}

// Device and REST texts reach the terminal only without control characters:
// C0, DEL, C1 (UTF-8 form) and malformed UTF-8 each become "?", one per byte.
TEST(Text, PrintableTextReplacesWhatCouldDriveTheTerminal) {
    const std::pair<std::string, std::string> cases[] = {
        {"SN\x1b[2J01", "SN?[2J01"},        {"a\x07\x7f\rb", "a???b"},
        {"\xc2\x9b" "1m", "??1m"},            {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"x\x9by\xc3", "x?y?"},              {"\xc0\xaf\xed\xa0\x80", "?????"},
        {"line\n\tnext", "line??next"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(printable_text(raw), shown) << raw;
    EXPECT_EQ(printable_text("a\nb\tc\r", true), "a\nb\tc?");
    char field[] = "WD\x1b]0;x\x07Z";
    EXPECT_STREQ(make_printable(field), "WD?]0;x?Z");
}

TEST(Text, FirstDashTokenGates) {
    EXPECT_TRUE(first_dash_token_equals("2043-003", "2043"));
    EXPECT_FALSE(first_dash_token_equals("2042-003", "2043"));
    EXPECT_TRUE(first_dash_token_at_least("3010-001", "3000"));
    EXPECT_TRUE(first_dash_token_at_least("3000", "3000"));
    EXPECT_FALSE(first_dash_token_at_least("2999-9", "3000"));
    // String, not number, comparison.
    EXPECT_TRUE(first_dash_token_at_least("999", "3000"));
    EXPECT_FALSE(first_dash_token_at_least(nullptr, "3000"));
    EXPECT_FALSE(first_dash_token_at_least("", "3000"));
    EXPECT_FALSE(first_dash_token_equals("---", ""));
    // Only the first 63 characters are looked at.
    const std::string long_text = std::string(70, '9');
    EXPECT_TRUE(first_dash_token_equals(long_text.c_str(), std::string(63, '9').c_str()));
}

}  // namespace
}  // namespace enctl
