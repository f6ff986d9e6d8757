#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/product/product.h"
#include "basekit/fixed_text.h"
#include "tests/support/golden.h"
#include "tests/support/page_fixture.h"

namespace enctl {
namespace {

std::string line(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Recognition by product id (exact, case-sensitive) and by page C1h name,
// the firmware and zoning files each product accepts, and the version gates,
// as one table (golden file).
TEST(Products, RecognitionFilesAndGatesGiveTheGoldenTable) {
    std::string table;
    for (const char* id : {"STOR ENCL UNIT", "AMBER RIDGE", "NX2B_STOR_ENCL", "NX2A_STOR_ENCL", "NX1F_STOR_ENCL",
                           "M7310-P", "Tidemarch M1", "M7320-P", "Tidemarch M2", "M7310-R", "m7320-p", "M7320-P ",
                           "AMBER", ""}) {
        enclosure_target target{};
        set_text(target.product_id, id);
        const int result = identify_zm_enclosure_1(target);
        table += line("id '%s' -> %d: %u '%s' '%s' extended %u mt %u\n", id, result, target.product_code,
                      target.code_name, target.description, target.extended_support, target.multi_tenant);
    }
    for (const char* name : {"KORV UNIT", "KORV-NX2A", "ZMC-NX2A", "ZMC-NX3A", "ZMC-NX3AMT", "ZMC-NX3", "zmc-nx2a"}) {
        const c1h_name_match match = match_c1h_product_name(name);
        enclosure_target target{};
        apply_product(target, match.product_code, match.multi_tenant);
        table += line("c1h '%s' -> %u mt %d config page %d '%s'\n", name, match.product_code, match.multi_tenant,
                      match.needs_config_page, target.code_name);
    }
    for (const auto& [code, mt, path] :
         {std::tuple{6u, false, "/fw/MtAlder_2040.bin"}, {6u, true, "/fw/MtAlder_2040.bin"}, {6u, true, "MtAlder_2040.tar.gz"},
          {5u, false, "korv_ma_x.tar.gz"}, {5u, false, "KORV_Veloxaris-BAYS-BAYL_3.bin"}, {5u, false, "MtAlder_2040.zip"},
          {1u, false, "amberridge_1.bin"}, {1u, false, "AmberRidge_1.bin"}, {1u, false, "AmberRidge_1.BIN"},
          {1u, false, "AmberRidge_/x.bin"}, {2u, false, "SlateRidge2.bin"}, {2u, false, "NX2B_7.bin"},
          {2u, false, "NX2B_7.tar.gz"}, {2u, false, "M7320-P.bin"}, {3u, false, "nixa_1.bin"}, {4u, false, "gray_owl1.bin"},
          {4u, false, "NX1F.bin"}, {7u, false, "korv_mat_1.bin"}, {7u, false, "korv_ma1.tar.gz"}, {7u, false, "mat_1.bin"},
          {6u, false, "/z/M7320-P_cfg.bin"}, {6u, true, "M7320-P_cfg.bin"}, {5u, false, "M7310-P.bin"},
          {5u, false, "M7320-P.bin"}, {7u, false, "M7310-R_1.bin"}, {7u, false, "M7310-R_1.tar.gz"},
          {0u, false, "AmberRidge_1.bin"}}) {
        enclosure_target target{};
        apply_product(target, code, mt);
        table += line("product %u mt %d '%s' -> firmware %d zone %d\n", code, mt, path,
                      fw_file_is_compatible(target, path), zone_file_is_compatible(target, path));
    }
    for (const auto& [firmware, version] : {std::pair{"2041-003", "2040"}, {"2041-003", "3000"}, {"2041-003", "2041"},
                                            {"2043-001", "2043"}, {"3000", "3000"}, {"", "2040"}, {"", ""}, {"N/A", "2040"}}) {
        enclosure_target target{};
        set_text(target.firmware, firmware);
        table += line("firmware '%s' gate '%s' -> at least %d equals %d\n", firmware, version,
                      firmware_version_at_least(target, version), firmware_version_equals(target, version));
    }
    testing::expect_golden(table, "discovery/golden/products.txt");
}

// "ZMC-NX2A" is decided by the array device slot count of page 01h (captured
// from the lab): 60 is product 5, 68 product 7, anything else none.
TEST(Products, ZmcNx2aDecidedByTheSlotCountTransferred) {
    const std::vector<std::uint8_t> opal = testing::page_fixture("opal_01");
    EXPECT_EQ(product_from_zmc_nx2a_config(opal), 5u);
    EXPECT_EQ(product_from_zmc_nx2a_config(testing::page_fixture("garnet_01")), 7u);
    EXPECT_EQ(product_from_zmc_nx2a_config(testing::page_fixture("alder-mt_01")), 0u);  // 102 slots
    const std::size_t header = 12 + opal[11];  // the slot type is the first header
    ASSERT_EQ(opal[header], 0x17);
    EXPECT_EQ(product_from_zmc_nx2a_config(std::span(opal).first(header + 2)), 5u);
    EXPECT_EQ(product_from_zmc_nx2a_config(std::span(opal).first(header + 1)), 0u);  // count not transferred
    std::vector<std::uint8_t> no_slots = opal;
    no_slots[header] = 0x16;
    EXPECT_EQ(product_from_zmc_nx2a_config(no_slots), 0u);
}

TEST(Products, FileNameTests) {
    EXPECT_TRUE(string_starts_with("MtAlder_1.bin", "MtAlder_"));
    EXPECT_FALSE(string_starts_with("MtAlder_1.bin", ""));
    EXPECT_FALSE(string_starts_with("Mt", "MtAlder_"));
    EXPECT_TRUE(string_ends_with(".bin", ".bin"));
    EXPECT_FALSE(string_ends_with("bin", ".bin"));
    EXPECT_FALSE(string_ends_with("a.bin", ""));
    for (const char* path : {"MtAlder_1.bin", "/tmp/fw/MtAlder_1.bin", "C:\\fw\\MtAlder_1.bin",
                             "/tmp/a\\b/MtAlder_1.bin", "/tmp/a/b\\MtAlder_1.bin"}) {
        EXPECT_EQ(file_base_name(path), "MtAlder_1.bin") << path;
    }
    EXPECT_EQ(file_base_name("/tmp/"), "");
}

}  // namespace
}  // namespace enctl
