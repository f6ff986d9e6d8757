#include <gtest/gtest.h>

#include <string>

#include "app/discovery/product.h"
#include "basekit/fixed_text.h"
#include "tests/discovery/ses_page_builder.h"

namespace enctl {
namespace {

using testing::config_page;

enclosure_target with_product_id(const char* id) {
    enclosure_target target{};
    set_text(target.product_id, id);
    return target;
}

enclosure_target product(std::uint32_t code, bool multi_tenant = false) {
    enclosure_target target{};
    EXPECT_EQ(apply_product(target, code, multi_tenant), 0);
    return target;
}

TEST(IdentifyByProductId, EveryProductIdGivesItsRow) {
    const struct {
        const char* id;
        std::uint32_t code;
        const char* code_name;
        const char* description;
        std::uint32_t extended;
    } cases[] = {
        {"STOR ENCL UNIT", 1, "Amber Ridge", "TN7000 Storage Platform", 1},
        {"AMBER RIDGE", 1, "Amber Ridge", "TN7000 Storage Platform", 1},
        {"NX2B_STOR_ENCL", 2, "Slate Ridge", "NX2B Storage Platform", 1},
        {"NX2A_STOR_ENCL", 3, "Halcyon", "NX2A Storage Platform", 0},
        {"NX1F_STOR_ENCL", 4, "Mt Corvin", "NX1F Flash Storage Platform", 0},
        {"M7310-P", 5, "Opal Ridge", "Veloxaris Bay-S", 1},
        {"Tidemarch M1", 5, "Opal Ridge", "Veloxaris Bay-S", 1},
        {"M7320-P", 6, "Mt Alder", "Veloxaris Bay-L", 1},
        {"Tidemarch M2", 6, "Mt Alder", "Veloxaris Bay-L", 1},
        {"M7310-R", 7, "Garnet Ridge", "Veloxaris Host-S", 1},
    };
    for (const auto& c : cases) {
        enclosure_target target = with_product_id(c.id);
        ASSERT_EQ(identify_zm_enclosure_1(target), 0) << c.id;
        EXPECT_EQ(target.product_code, c.code) << c.id;
        EXPECT_EQ(text_of(target.code_name), c.code_name) << c.id;
        EXPECT_EQ(text_of(target.description), c.description) << c.id;
        EXPECT_EQ(target.extended_support, c.extended) << c.id;
        EXPECT_EQ(target.multi_tenant, 0u) << c.id;
    }
}

TEST(IdentifyByProductId, ComparisonIsExactAndCaseSensitive) {
    for (const char* id : {"m7320-p", "M7320-P ", "AMBER", "XYZ", ""}) {
        enclosure_target target = with_product_id(id);
        EXPECT_EQ(identify_zm_enclosure_1(target), 1) << id;
        EXPECT_EQ(target.product_code, 0u);
        EXPECT_EQ(text_of(target.description), "");
    }
}

TEST(IdentifyByC1hName, NamesInOrder) {
    EXPECT_EQ(match_c1h_product_name("KORV UNIT").product_code, 1u);
    EXPECT_EQ(match_c1h_product_name("KORV-NX2A").product_code, 2u);
    EXPECT_TRUE(match_c1h_product_name("ZMC-NX2A").needs_config_page);
    EXPECT_EQ(match_c1h_product_name("ZMC-NX3A").product_code, 6u);
    EXPECT_FALSE(match_c1h_product_name("ZMC-NX3A").multi_tenant);
    const c1h_name_match mt = match_c1h_product_name("ZMC-NX3AMT");
    EXPECT_EQ(mt.product_code, 6u);
    EXPECT_TRUE(mt.multi_tenant);
    EXPECT_EQ(match_c1h_product_name("ZMC-NX3").product_code, 0u);
    EXPECT_FALSE(match_c1h_product_name("zmc-nx2a").needs_config_page);

    enclosure_target target = product(6, true);
    EXPECT_EQ(text_of(target.code_name), "Mt Alder (MT)");
    EXPECT_EQ(target.multi_tenant, 1u);
}

TEST(IdentifyByC1hName, ZmcNx2aDecidedBySlotCount) {
    EXPECT_EQ(product_from_zmc_nx2a_config(config_page({{0x07, 2}, {0x17, 60}})), 5u);
    EXPECT_EQ(product_from_zmc_nx2a_config(config_page({{0x17, 68}, {0x18, 6}})), 7u);
    EXPECT_EQ(product_from_zmc_nx2a_config(config_page({{0x17, 24}})), 0u);
    EXPECT_EQ(product_from_zmc_nx2a_config(config_page({{0x07, 2}, {0x18, 60}})), 0u);
    EXPECT_EQ(product_from_zmc_nx2a_config(config_page({{0x17, 60}}, 0)), 5u);
    // Only the received bytes count: a header whose count byte was not
    // transferred decides nothing.
    auto page = config_page({{0x17, 60}});
    page.resize(page.size() - 3);
    EXPECT_EQ(product_from_zmc_nx2a_config(page), 0u);
    EXPECT_EQ(product_from_zmc_nx2a_config({}), 0u);
}

TEST(FileNames, StartsAndEndsWith) {
    EXPECT_TRUE(string_starts_with("MtAlder_1.bin", "MtAlder_"));
    EXPECT_FALSE(string_starts_with("MtAlder_1.bin", ""));
    EXPECT_FALSE(string_starts_with("", ""));
    EXPECT_FALSE(string_starts_with("Mt", "MtAlder_"));
    EXPECT_TRUE(string_ends_with("a.bin", ".bin"));
    EXPECT_TRUE(string_ends_with(".bin", ".bin"));
    EXPECT_FALSE(string_ends_with("bin", ".bin"));
    EXPECT_FALSE(string_ends_with("a.bin", ""));
}

TEST(FileNames, BaseNameAfterLastSlashOrBackslash) {
    EXPECT_EQ(file_base_name("MtAlder_1.bin"), "MtAlder_1.bin");
    EXPECT_EQ(file_base_name("/tmp/fw/MtAlder_1.bin"), "MtAlder_1.bin");
    EXPECT_EQ(file_base_name("C:\\fw\\MtAlder_1.bin"), "MtAlder_1.bin");
    EXPECT_EQ(file_base_name("/tmp/a\\b/MtAlder_1.bin"), "MtAlder_1.bin");
    EXPECT_EQ(file_base_name("/tmp/a/b\\MtAlder_1.bin"), "MtAlder_1.bin");
    EXPECT_EQ(file_base_name("/tmp/"), "");
}

TEST(FirmwareFiles, MultiTenantAcceptsOnlyTarGz) {
    EXPECT_EQ(fw_file_is_compatible(product(6), "/fw/MtAlder_2040.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(6, true), "/fw/MtAlder_2040.bin"), 0);
    EXPECT_EQ(fw_file_is_compatible(product(6, true), "/fw/MtAlder_2040.tar.gz"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(5), "korv_ma_x.tar.gz"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(5), "KORV_Veloxaris-BAYS-BAYL_3.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(5), "MtAlder_2040.zip"), 0);
}

TEST(FirmwareFiles, PrefixesArePerProductAndCaseSensitive) {
    EXPECT_EQ(fw_file_is_compatible(product(1), "amberridge_1.bin"), 0);
    EXPECT_EQ(fw_file_is_compatible(product(1), "AmberRidge_1.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(1), "AmberRidge_1.BIN"), 0);
    EXPECT_EQ(fw_file_is_compatible(product(2), "SlateRidge2.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(2), "NX2B_7.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(2), "NX2B_7.tar.gz"), 0);
    EXPECT_EQ(fw_file_is_compatible(product(3), "nixa_1.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(4), "gray_owl1.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(4), "NX1F.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(7), "korv_mat_1.bin"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(7), "korv_ma1.tar.gz"), 1);
    EXPECT_EQ(fw_file_is_compatible(product(7), "mat_1.bin"), 0);
    // The prefix belongs to the base name, not to a directory.
    EXPECT_EQ(fw_file_is_compatible(product(1), "AmberRidge_/x.bin"), 0);
    EXPECT_EQ(fw_file_is_compatible(enclosure_target{}, "AmberRidge_1.bin"), 0);
}

TEST(ZoneFiles, OneRowPerZonedProduct) {
    EXPECT_EQ(zone_file_is_compatible(product(6), "/z/M7320-P_cfg.bin"), 1);
    EXPECT_EQ(zone_file_is_compatible(product(6, true), "M7320-P_cfg.bin"), 1);
    EXPECT_EQ(zone_file_is_compatible(product(5), "M7310-P.bin"), 1);
    EXPECT_EQ(zone_file_is_compatible(product(5), "M7320-P.bin"), 0);
    EXPECT_EQ(zone_file_is_compatible(product(7), "M7310-R_1.bin"), 1);
    EXPECT_EQ(zone_file_is_compatible(product(7), "M7310-R_1.tar.gz"), 0);
    EXPECT_EQ(zone_file_is_compatible(product(2), "M7320-P.bin"), 0);
}

TEST(VersionGates, FirstDashTokenComparedAsText) {
    enclosure_target target{};
    set_text(target.firmware, "2041-003");
    EXPECT_TRUE(firmware_version_at_least(target, "2040"));
    EXPECT_FALSE(firmware_version_at_least(target, "3000"));
    EXPECT_TRUE(firmware_version_at_least(target, "2041"));
    EXPECT_FALSE(firmware_version_equals(target, "2043"));
    set_text(target.firmware, "2043-001");
    EXPECT_TRUE(firmware_version_equals(target, "2043"));
    set_text(target.firmware, "3000");
    EXPECT_TRUE(firmware_version_at_least(target, "3000"));
    set_text(target.firmware, "");
    EXPECT_FALSE(firmware_version_at_least(target, "2040"));
    EXPECT_FALSE(firmware_version_equals(target, ""));
    // The gate is a plain text comparison: letters sort after digits.
    set_text(target.firmware, "N/A");
    EXPECT_TRUE(firmware_version_at_least(target, "2040"));
}

}  // namespace
}  // namespace enctl
