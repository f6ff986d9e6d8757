#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "tests/cmdx/cmdx_test.h"
#include "tests/support/golden.h"

namespace enctl {
namespace {

using testing::bytes;
using testing::hex;

// Each parser over the first n bytes of its input, n just short of what it
// needs, exactly that, and more: result, message and output (golden file).
// Text fields are cut to the output and trimmed.
TEST(Parsers, BytesGiveTheResultsOfTheGoldenFile) {
    bytes inquiry(36, ' ');
    inquiry[0] = 0x0D;
    std::memcpy(&inquiry[16], "  NX2B_STOR_ENCL2031", 20);
    const bytes vpd80 = {0x00, 0x80, 0x00, 0x0A, ' ', 'S', 'N', '1', '2', '3', '4', ' ', ' ', ' ', 'X'};
    bytes vpd80_beyond = vpd80, vpd80_empty(24, 0);
    vpd80_beyond[3] = 0xFF;  // a page length beyond the bytes received
    std::memcpy(&vpd80_empty[4], "ZX9  ", 5);  // page length 0: 16 bytes from byte 4 when 21 came
    const bytes capacity = {0, 0, 0, 0x01, 0x23, 0x45, 0x67, 0x89, 0, 0, 0x10, 0x00};
    bytes ata(40, 0), nvme(24, ' ');  // ATA serial at bytes 20-39, stored pairwise swapped; NVMe at 4-23
    const std::string serial = "  WD-WX12345678      ";
    for (std::size_t i = 0; i < 20; ++i) ata[20 + (i ^ 1)] = static_cast<std::uint8_t>(serial[i]);
    std::memcpy(&nvme[4], "S4EWNX0R123456", 14);
    using text_parser = int (*)(vdx_error*, std::span<char>, std::span<const std::uint8_t>);
    auto text = [](text_parser parse, std::size_t size) {
        return [=](vdx_error* e, std::span<const std::uint8_t> b) {
            std::array<char, 32> out{"untouched"};
            parse(e, std::span(out).first(size), b);
            return std::string(out.data());
        };
    };
    const std::tuple<const char*, std::function<std::string(vdx_error*, std::span<const std::uint8_t>)>, const bytes&,
                     std::vector<std::size_t>> cases[] = {
        {"peripheral type", [](auto* e, auto b) { std::uint8_t t = 0xEE; cmdxscsi_inquiry_parse_peripheral_type(e, &t, b); return hex(std::span(&t, 1)); }, inquiry, {0, 1}},
        {"product id", text(cmdxscsi_inquiry_parse_product_identification, 32), inquiry, {31, 32}},
        {"product id into 5", text(cmdxscsi_inquiry_parse_product_identification, 5), inquiry, {32}},
        {"product revision", text(cmdxscsi_inquiry_parse_product_revision, 32), inquiry, {35, 36}},
        {"vpd 80h serial", text(cmdxscsi_inquiry_vpd80_parse_serial, 32), vpd80, {4, 5, 15}},
        {"vpd 80h serial beyond", text(cmdxscsi_inquiry_vpd80_parse_serial, 32), vpd80_beyond, {9}},
        {"vpd 80h serial into 4", text(cmdxscsi_inquiry_vpd80_parse_serial, 4), vpd80_beyond, {9}},
        {"vpd 80h empty serial", text(cmdxscsi_inquiry_vpd80_parse_serial, 32), vpd80_empty, {20, 21}},
        {"ata serial", text(cmdxata_identify_parse_serial, 32), ata, {39, 40}},
        {"nvme serial", text(cmdxnvme_identify_controller_parse_serial, 32), nvme, {23, 24}},
        {"lba", [](auto* e, auto b) { std::uint64_t v = 0; cmdxscsi_read_capacity_parse_returned_logical_block_address(e, &v, b); return std::to_string(v); }, capacity, {7, 8}},
        {"block length", [](auto* e, auto b) { std::uint32_t v = 0; cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(e, &v, b); return std::to_string(v); }, capacity, {11, 12}},
    };
    std::string results;
    for (const auto& [name, parse, data, lengths] : cases) {
        for (std::size_t n : lengths) {
            vdx_error error{};
            error.code = 9;
            const std::string out = parse(&error, std::span(data).first(n));
            results += std::string(name) + " (" + std::to_string(n) + ") -> error " + std::to_string(error.code) + " " +
                       error.message + " | '" + out + "'\n";
        }
    }
    testing::expect_golden(results, "cmdx/golden/parsers.txt");
    EXPECT_EQ(capacity_in_gigabytes(1953525167, 512), "1000");
    EXPECT_EQ(capacity_in_gigabytes(2929721343ULL, 4096), "12000");
}

// VPD 83h with a T10 vendor designator, a target port NAA, then the logical
// unit's NAA designator (01h 03h).
const bytes kVpd83 = {0x00, 0x83, 0x00, 0x24, 0x02, 0x01, 0x00, 0x08, 'V',  'E',  'N',  'D',  'O',  'R',
                      ' ',  ' ',  0x61, 0x93, 0x00, 0x08, 0x50, 0x00, 0xcc, 0xa0, 0x99, 0x99, 0x99, 0x99,
                      0x01, 0x03, 0x00, 0x08, 0x50, 0x00, 0xcc, 0xa0, 0x12, 0x34, 0xab, 0xcd};

TEST(Vpd83, FirstLogicalUnitNaaDesignatorWhollyTransferred) {
    EXPECT_EQ(sas_address_from_vpd83(kVpd83), "5000CCA01234ABCD");
    EXPECT_EQ(sas_target_port_from_vpd83(kVpd83), "5000CCA099999999");
    // One byte changed: not the logical unit's designator, another page, a
    // page length not above 4, a page that ends before the designator's last byte.
    for (const auto& [at, value] : {std::pair{28, 0x02}, {1, 0x80}, {3, 4}, {3, 0x23}}) {
        bytes other = kVpd83;
        other[at] = static_cast<std::uint8_t>(value);
        EXPECT_EQ(sas_address_from_vpd83(other), "") << at << " " << value;
    }
    // A transfer cut anywhere before the designator's last byte gives none,
    // never an address made up of the bytes that did come.
    for (std::size_t n = 0; n < kVpd83.size(); ++n) EXPECT_EQ(sas_address_from_vpd83(std::span(kVpd83).first(n)), "");
}

bytes string_page(const std::vector<std::string>& strings) {
    bytes page = {0x07, 0, 0, 0, 0, 0, 0, 0};
    for (const std::string& s : strings) {
        page.insert(page.end(), s.begin(), s.end());
        page.push_back(0);
    }
    page[3] = static_cast<std::uint8_t>(page.size() - 4);
    return page;
}

TEST(SesParseString, WalksStringsAndStopsAtThePageEnd) {
    const bytes page = string_page({"IOM A", "  Fan 1 ", "PSU", "abcdefghij"});
    vdx_error error{};
    error.code = 5;
    char out[8];
    std::uint32_t offset = 8;
    for (const auto& [text, at] : {std::pair{"IOM A", 13u}, {"Fan 1", 22u}, {"PSU", 26u}, {"abcdefg", 37u}, {"", 38u}}) {
        ASSERT_EQ(ses_parse_string(&error, out, page, &offset), 0);
        EXPECT_STREQ(out, text);
        EXPECT_EQ(offset, at);  // at the terminating NUL (at the end after the last)
    }
    EXPECT_EQ(error.code, 0u);
    // A string without its NUL inside the page length, or inside the bytes
    // received, is not returned and the offset stays.
    bytes open_end = string_page({"abc"});
    open_end[3] -= 1;
    offset = 8;
    ses_parse_string(&error, out, open_end, &offset);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(offset, 8u);
    ses_parse_string(&error, out, std::span(page).first(12), &offset);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(offset, 8u);
}

}  // namespace
}  // namespace enctl
