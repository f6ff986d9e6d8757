#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {
namespace {

std::vector<std::uint8_t> inquiry_data() {
    std::vector<std::uint8_t> d(36, ' ');
    d[0] = 0x0D;
    const std::string vendor = "ACME    ", product = "  NX2B_STOR_ENCL", rev = "2031";
    std::memcpy(&d[8], vendor.data(), 8);
    std::memcpy(&d[16], product.data(), 16);
    std::memcpy(&d[32], rev.data(), 4);
    return d;
}

TEST(InquiryParsers, FieldsAreCutAndTrimmed) {
    const auto d = inquiry_data();
    vdx_error error{};
    std::uint8_t type = 0;
    ASSERT_EQ(cmdxscsi_inquiry_parse_peripheral_type(&error, &type, d), 0);
    EXPECT_EQ(type, 0x0D);
    char product[32];
    ASSERT_EQ(cmdxscsi_inquiry_parse_product_identification(&error, product, d), 0);
    EXPECT_STREQ(product, "NX2B_STOR_ENCL");
    char small[5];
    ASSERT_EQ(cmdxscsi_inquiry_parse_product_identification(&error, small, d), 0);
    EXPECT_STREQ(small, "NX");  // 4 characters kept ("  NX"), then trimmed
    char rev[32];
    ASSERT_EQ(cmdxscsi_inquiry_parse_product_revision(&error, rev, d), 0);
    EXPECT_STREQ(rev, "2031");
}

TEST(InquiryParsers, ShortBuffersAreError1WithTheirMessages) {
    const auto d = inquiry_data();
    vdx_error error{};
    std::uint8_t type;
    char out[32];
    EXPECT_EQ(cmdxscsi_inquiry_parse_peripheral_type(&error, &type, std::span(d).first(0)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi inquiry peripheral type");
    EXPECT_EQ(cmdxscsi_inquiry_parse_product_identification(&error, out, std::span(d).first(31)), 1);
    EXPECT_EQ(error.code, 1u);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi inquiry product identification");
    EXPECT_EQ(cmdxscsi_inquiry_parse_product_revision(&error, out, std::span(d).first(35)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi inquiry product revision");
    EXPECT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, out, std::span(d).first(4)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi inquiry vpd 80 serial");
    EXPECT_EQ(cmdxscsi_read_capacity_parse_returned_logical_block_address(&error, nullptr, std::span(d).first(7)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi read capacity returned logical block address");
    EXPECT_EQ(cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(&error, nullptr, std::span(d).first(11)), 1);
    EXPECT_STREQ(error.message, "buffer not large enough to parse scsi read capacity logical block length in bytes");
}

TEST(Vpd80, SerialIsBoundedByPageLengthAndBytesReceived) {
    std::vector<std::uint8_t> page = {0x00, 0x80, 0x00, 0x0A, ' ', 'S', 'N', '1', '2', '3', '4', ' ', ' ', ' ', 'X'};
    vdx_error error{};
    error.code = 3;
    char out[32];
    ASSERT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, out, page), 0);
    EXPECT_STREQ(out, "SN1234");
    EXPECT_EQ(error.code, 0u);
    // A page length beyond the bytes received reads only what was received.
    page[3] = 0xFF;
    ASSERT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, out, std::span(page).first(9)), 0);
    EXPECT_STREQ(out, "SN12");
    // Output cut to its size.
    char tiny[4];
    ASSERT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, tiny, std::span(page).first(9)), 0);
    EXPECT_STREQ(tiny, "SN");
}

TEST(Vpd80, EmptySerialFallsBackTo16BytesFromByte4) {
    std::vector<std::uint8_t> page(24, 0);
    page[1] = 0x80;
    page[3] = 0x00;  // page length 0
    const std::string serial = "ZX9  ";
    std::memcpy(&page[4], serial.data(), serial.size());
    char out[32];
    vdx_error error{};
    ASSERT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, out, page), 0);
    EXPECT_STREQ(out, "ZX9");
    ASSERT_EQ(cmdxscsi_inquiry_vpd80_parse_serial(&error, out, std::span(page).first(20)), 0);
    EXPECT_STREQ(out, "");
}

TEST(ReadCapacity, BigEndianFields) {
    const std::array<std::uint8_t, 12> d = {0, 0, 0, 0x01, 0x23, 0x45, 0x67, 0x89, 0, 0, 0x10, 0x00};
    vdx_error error{};
    std::uint64_t lba = 0;
    std::uint32_t length = 0;
    ASSERT_EQ(cmdxscsi_read_capacity_parse_returned_logical_block_address(&error, &lba, d), 0);
    ASSERT_EQ(cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(&error, &length, d), 0);
    EXPECT_EQ(lba, 0x123456789ull);
    EXPECT_EQ(length, 4096u);
}

std::vector<std::uint8_t> string_page(const std::vector<std::string>& strings, std::size_t extra_length = 0) {
    std::vector<std::uint8_t> page = {0x07, 0, 0, 0, 0, 0, 0, 0};
    for (const std::string& s : strings) {
        page.insert(page.end(), s.begin(), s.end());
        page.push_back(0);
    }
    const std::size_t length = page.size() - 4 + extra_length;
    page[2] = static_cast<std::uint8_t>(length >> 8);
    page[3] = static_cast<std::uint8_t>(length);
    return page;
}

TEST(SesParseString, WalksStringsAndStopsAtThePageEnd) {
    const auto page = string_page({"IOM A", "  Fan 1 ", "PSU"});
    vdx_error error{};
    error.code = 5;
    char out[32];
    std::uint32_t offset = 8;
    ASSERT_EQ(ses_parse_string(&error, out, page, &offset), 0);
    EXPECT_EQ(error.code, 0u);
    EXPECT_STREQ(out, "IOM A");
    EXPECT_EQ(offset, 13u);  // at the terminating NUL
    ses_parse_string(&error, out, page, &offset);
    EXPECT_STREQ(out, "Fan 1");
    EXPECT_EQ(offset, 22u);
    ses_parse_string(&error, out, page, &offset);
    EXPECT_STREQ(out, "PSU");
    ses_parse_string(&error, out, page, &offset);
    EXPECT_STREQ(out, "");
}

TEST(SesParseString, StringRunningToTheEndIsNotReturned) {
    auto page = string_page({"abc"});
    page.pop_back();  // no terminator within the page
    page[3] = static_cast<std::uint8_t>(page.size() - 4);
    vdx_error error{};
    char out[8];
    std::uint32_t offset = 8;
    ASSERT_EQ(ses_parse_string(&error, out, page, &offset), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(offset, 8u);
    // A length field that claims more than was received is bounded by the buffer.
    auto longer = string_page({"abc", "def"}, 4000);
    longer.pop_back();
    offset = 12;
    ses_parse_string(&error, out, longer, &offset);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(offset, 12u);
    // An output smaller than the string keeps the start; the offset still moves past it.
    const auto page2 = string_page({"abcdefghij"});
    offset = 8;
    ses_parse_string(&error, out, page2, &offset);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(offset, 18u);
}

}  // namespace
}  // namespace enctl
