// The Download Microcode Status page: what its decoder accepts, and the text
// of every status code range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdx/cmdxses/ses_microcode.h"

namespace enctl {
namespace {

TEST(MicrocodeStatus, DecodedOnlyWhenTheFirstDescriptorWasReceived) {
    std::vector<std::uint8_t> page(24, 0);
    page[0] = 0x0E;
    page[3] = 20;
    page[7] = 0x2A;
    page[10] = 0x13;
    page[11] = 0x07;
    page[15] = 0x10;
    page[19] = 0x01;
    page[23] = 0x40;
    const auto status = decode_microcode_status(page);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->generation_code, 0x2Au);
    EXPECT_EQ(status->status, 0x13);
    EXPECT_EQ(status->additional_status, 0x07);
    EXPECT_EQ(status->maximum_size, 0x10u);
    EXPECT_EQ(status->buffer_id, 0x01);
    EXPECT_EQ(status->buffer_offset, 0x40u);

    EXPECT_FALSE(decode_microcode_status(std::span(page).first(23)));  // cut transfer
    std::vector<std::uint8_t> short_length = page, other_code = page;
    short_length[3] = 19;  // the page says it ends inside the descriptor
    other_code[0] = 0x0F;
    EXPECT_FALSE(decode_microcode_status(short_length));
    EXPECT_FALSE(decode_microcode_status(other_code));
}

TEST(MicrocodeStatus, EveryCodeHasTheTextOfItsRange) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0x00, "No download operation is in progress"},
        {0x03, "Updating nonvolatile storage with deferred microcode"},
        {0x04, "Interim status"},
        {0x0F, "Interim status"},
        {0x10, "Download completed. Ready for use"},
        {0x13, "Download completed. Requires activate command, hard reset, or power on"},
        {0x14, "No error"},
        {0x6F, "No error"},
        {0x70, "Vendor specific"},
        {0x7F, "Vendor specific"},
        {0x80, "Error in one or more of the Download Microcode Control diagnostic page fields"},
        {0x85, "Processed a Download Microcode Control with MODE field 0Fh with no deferred microcode"},
        {0x86, "Reserved for other errors"},
        {0xEF, "Reserved for other errors"},
        {0xF0, "Vendor specific"},
        {0xFF, "Vendor specific"},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(microcode_status_text(code), text) << int{code};
}

}  // namespace
}  // namespace enctl
