// The Download Microcode Status page: what its decoder accepts, and the text
// of every status code range.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "cmdx/cmdxses/ses_microcode.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

TEST(MicrocodeStatus, DecodedOnlyWhenTheFirstDescriptorWasReceived) {
    const std::vector<std::uint8_t> page = {0x0E, 0, 0, 20,   0, 0, 0, 0x2A, 0, 0, 0x13, 0x07,
                                            0,    0, 0, 0x10, 0, 0, 0, 0x01, 0, 0, 0,    0x40};
    const auto status = decode_microcode_status(page);
    ASSERT_TRUE(status);
    EXPECT_EQ(std::tuple(status->generation_code, status->status, status->additional_status, status->maximum_size,
                         status->buffer_id, status->buffer_offset),
              std::tuple(0x2Au, 0x13, 0x07, 0x10u, 0x01, 0x40u));
    EXPECT_FALSE(decode_microcode_status(std::span(page).first(23)));  // cut transfer
    std::vector<std::uint8_t> short_length = page, other_code = page;
    short_length[3] = 19;  // the page says it ends inside the descriptor
    other_code[0] = 0x0F;
    EXPECT_FALSE(decode_microcode_status(short_length));
    EXPECT_FALSE(decode_microcode_status(other_code));
}

// Every code 00h-FFh, one line where the text changes.
TEST(MicrocodeStatus, EveryCodeHasTheTextOfItsRange) {
    std::string ranges, previous;
    for (int code = 0; code <= 0xFF; ++code) {
        const std::string text = microcode_status_text(static_cast<std::uint8_t>(code));
        char from[8];
        std::snprintf(from, sizeof from, "%02Xh: ", code);
        if (text != previous) ranges += from + text + "\n";
        previous = text;
    }
    testing::expect_golden(ranges, "cmdx/golden/microcode_status.txt");
}

}  // namespace
}  // namespace enctl
