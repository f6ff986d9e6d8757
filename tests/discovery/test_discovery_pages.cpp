#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/discovery/discovery_pages.h"
#include "tests/discovery/ses_page_builder.h"

namespace enctl {
namespace {

using namespace enctl::testing;

bytes page3(const std::string& text) {
    bytes page(4 + text.size(), 0);
    page[0] = 0x03;
    std::copy(text.begin(), text.end(), page.begin() + 4);
    finish_page(page);
    return page;
}

TEST(FirmwareFromPage3, ValueUpToLineFeed) {
    EXPECT_EQ(firmware_from_page3(page3("Model: X\nFwRev:2031-016\nBuild: 7\n")), "2031-016");
    EXPECT_EQ(firmware_from_page3(page3("FwRev:2031-016")), "2031-016");
    EXPECT_EQ(firmware_from_page3(page3("Model: X\nBuild: 7\n")), "N/A");
    EXPECT_EQ(firmware_from_page3(page3("FwRev:" + std::string(40, '9') + "\n")), std::string(31, '9'));
}

TEST(FirmwareFromPage3, OnlyTheReceivedPageIsSearched) {
    bytes page = page3("abcdefgh FwRev:1\n");
    put_be16(page, 2, 8);  // the page ends before the marker
    EXPECT_EQ(firmware_from_page3(page), "N/A");
    page = page3("FwRev:2040-001\n");
    EXPECT_EQ(firmware_from_page3(std::span<const std::uint8_t>(page).first(14)), "2040");
    EXPECT_EQ(firmware_from_page3({}), "N/A");
}

TEST(IomTypeFromPage4, BothBytesDecide) {
    bytes page(0x40, 0);
    page[0] = 0x04;
    page[0x36] = page[0x37] = 0xAA;
    EXPECT_EQ(iom_type_from_page4(page), kIomA);
    page[0x36] = page[0x37] = 0xBB;
    EXPECT_EQ(iom_type_from_page4(page), kIomB);
    page[0x37] = 0xAA;
    EXPECT_EQ(iom_type_from_page4(page), kIomUnknown);
    page[0x36] = page[0x37] = 0xAA;
    EXPECT_EQ(iom_type_from_page4(std::span<const std::uint8_t>(page).first(0x37)), kIomUnknown);
}

bytes vpd83(const std::vector<bytes>& descriptors) {
    bytes page{0x00, 0x83, 0x00, 0x00};
    for (const auto& d : descriptors) page.insert(page.end(), d.begin(), d.end());
    page[3] = static_cast<std::uint8_t>(page.size() - 4);
    return page;
}

const bytes kT10{0x02, 0x01, 0x00, 0x08, 'V', 'E', 'N', 'D', 'O', 'R', ' ', ' '};
const bytes kNaa{0x01, 0x03, 0x00, 0x08, 0x50, 0x00, 0xcc, 0xa0, 0x12, 0x34, 0xab, 0xcd};
const bytes kTargetPortNaa{0x61, 0x93, 0x00, 0x08, 0x50, 0x00, 0xcc, 0xa0, 0x99, 0x99, 0x99, 0x99};

TEST(SasAddressFromVpd83, FirstLogicalUnitNaaDesignator) {
    EXPECT_EQ(sas_address_from_vpd83(vpd83({kT10, kTargetPortNaa, kNaa})), "5000CCA01234ABCD");
    EXPECT_EQ(sas_address_from_vpd83(vpd83({kT10})), "");
    EXPECT_EQ(sas_address_from_vpd83(vpd83({kTargetPortNaa})), "");
    bytes wrong_page = vpd83({kNaa});
    wrong_page[1] = 0x80;
    EXPECT_EQ(sas_address_from_vpd83(wrong_page), "");
}

TEST(SasAddressFromVpd83, DesignatorPastTheReceivedBytesIsNotRead) {
    const bytes page = vpd83({kT10, kNaa});
    EXPECT_EQ(sas_address_from_vpd83(std::span<const std::uint8_t>(page).first(page.size() - 1)), "");
    bytes short_length = page;
    short_length[3] = 4;  // not above 4
    EXPECT_EQ(sas_address_from_vpd83(short_length), "");
}

TEST(Capacity, RoundedToWholeGigabytes) {
    EXPECT_EQ(capacity_in_gigabytes(1953525167, 512), "1000");   // 1 TB drive
    EXPECT_EQ(capacity_in_gigabytes(2929721343ULL, 4096), "12000");
    EXPECT_EQ(capacity_in_gigabytes(0, 512), "0");
}

}  // namespace
}  // namespace enctl
