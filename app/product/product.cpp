// Product table, recognition by product id and page C1h name, firmware and
// zoning file tables, and the firmware version gates.
#include "app/product/product.h"

#include <array>
#include <cstring>
#include <string>

#include "app/discovery/target_list.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/text.h"
#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {
namespace {

constexpr std::array<product_row, 7> kProducts{{
    {kProductAmberRidge, "Amber Ridge", "TN7000 Storage Platform", 1, iom_config_source::always_single},
    {kProductSlateRidge, "Slate Ridge", "NX2B Storage Platform", 1, iom_config_source::mode_page_20h},
    {kProductHalcyon, "Halcyon", "NX2A Storage Platform", 0, iom_config_source::not_reported},
    {kProductMtCorvin, "Mt Corvin", "NX1F Flash Storage Platform", 0, iom_config_source::not_reported},
    {kProductOpalRidge, "Opal Ridge", "Veloxaris Bay-S", 1, iom_config_source::mode_page_20h},
    {kProductMtAlder, "Mt Alder", "Veloxaris Bay-L", 1, iom_config_source::mode_page_20h},
    {kProductGarnetRidge, "Garnet Ridge", "Veloxaris Host-S", 1, iom_config_source::always_single},
}};

constexpr std::string_view kMtAlderMultiTenantCodeName = "Mt Alder (MT)";

struct product_id_row {
    std::string_view product_id;
    std::uint32_t product_code;
};

constexpr std::array<product_id_row, 10> kProductIds{{
    {"STOR ENCL UNIT", kProductAmberRidge},
    {"AMBER RIDGE", kProductAmberRidge},
    {"NX2B_STOR_ENCL", kProductSlateRidge},
    {"NX2A_STOR_ENCL", kProductHalcyon},
    {"NX1F_STOR_ENCL", kProductMtCorvin},
    {"M7310-P", kProductOpalRidge},
    {"Tidemarch M1", kProductOpalRidge},
    {"M7320-P", kProductMtAlder},
    {"Tidemarch M2", kProductMtAlder},
    {"M7310-R", kProductGarnetRidge},
}};

struct c1h_name_row {
    std::string_view name;
    c1h_name_match match;
};

// Tried in this order; "ZMC-NX2A" is decided by the configuration page.
constexpr std::array<c1h_name_row, 5> kC1hNames{{
    {"KORV UNIT", {kProductAmberRidge, false, false}},
    {"KORV-NX2A", {kProductSlateRidge, false, false}},
    {"ZMC-NX2A", {0, false, true}},
    {"ZMC-NX3A", {kProductMtAlder, false, false}},
    {"ZMC-NX3AMT", {kProductMtAlder, true, false}},
}};

struct firmware_file_row {
    std::uint32_t product_code;
    std::uint32_t multi_tenant;
    std::array<std::string_view, 4> prefixes;  // an empty prefix never matches
    std::array<std::string_view, 2> suffixes;  // an empty suffix never matches
};

constexpr std::array<firmware_file_row, 8> kFirmwareFiles{{
    {kProductAmberRidge, 0, {"AmberRidge_", "", "", ""}, {"", ".bin"}},
    {kProductSlateRidge, 0, {"SlateRidge", "NX2B_", "", ""}, {"", ".bin"}},
    {kProductHalcyon, 0, {"nixa_", "", "", ""}, {"", ".bin"}},
    {kProductMtCorvin, 0, {"gray_owl", "NX1F", "", ""}, {"", ".bin"}},
    {kProductMtAlder, 0, {"mat_", "MtAlder_", "korv_ma_", "KORV_Veloxaris-BAYS-BAYL"}, {".tar.gz", ".bin"}},
    {kProductMtAlder, 1, {"mat_", "MtAlder_", "korv_ma_", "KORV_Veloxaris-BAYS-BAYL"}, {".tar.gz", ""}},
    {kProductOpalRidge, 0, {"mat_", "MtAlder_", "korv_ma_", "KORV_Veloxaris-BAYS-BAYL"}, {".tar.gz", ".bin"}},
    {kProductGarnetRidge, 0, {"korv_mat_", "", "korv_ma", "KORV_Veloxaris-BAYS-BAYL"}, {".tar.gz", ".bin"}},
}};

struct zone_file_row {
    std::uint32_t product_code;
    std::string_view prefix;
    std::string_view suffix;
};

constexpr std::array<zone_file_row, 3> kZoneFiles{{
    {kProductMtAlder, "M7320-P", ".bin"},
    {kProductOpalRidge, "M7310-P", ".bin"},
    {kProductGarnetRidge, "M7310-R", ".bin"},
}};

// Prefix and suffix tests shared by the firmware and zoning file checks.
template <std::size_t P, std::size_t S>
int file_name_fits(std::string_view path, const std::array<std::string_view, P>& prefixes,
                   const std::array<std::string_view, S>& suffixes) {
    const std::string_view base = file_base_name(path);
    bool prefix_ok = false;
    for (std::string_view prefix : prefixes) {
        if (string_starts_with(base, prefix)) {
            prefix_ok = true;
            break;
        }
    }
    if (!prefix_ok) {
        CONSOLE_PRINT(kVerbosityDebug, "prefix check failed\n");
        return 0;
    }
    for (std::string_view suffix : suffixes) {
        if (string_ends_with(base, suffix)) return 1;
    }
    CONSOLE_PRINT(kVerbosityDebug, "suffix check failed\n");
    return 0;
}

void print_path_and_base(std::string_view path) {
    const std::string_view base = file_base_name(path);
    CONSOLE_PRINT(kVerbosityDebug, "path: %.*s\n", static_cast<int>(path.size()), path.data());
    CONSOLE_PRINT(kVerbosityDebug, "file: %.*s\n", static_cast<int>(base.size()), base.data());
}

}  // namespace

const product_row* find_product(std::uint32_t product_code) {
    for (const product_row& row : kProducts) {
        if (row.product_code == product_code) return &row;
    }
    return nullptr;
}

int apply_product(enclosure_target& target, std::uint32_t product_code, bool multi_tenant) {
    const product_row* row = find_product(product_code);
    if (!row) return 1;
    target.product_code = row->product_code;
    target.extended_support = row->extended_support;
    target.multi_tenant = multi_tenant ? 1 : 0;
    set_text(target.code_name, multi_tenant ? kMtAlderMultiTenantCodeName : row->code_name);
    set_text(target.description, row->description);
    return 0;
}

int identify_zm_enclosure_1(enclosure_target& target) {
    const std::string_view product_id = text_of(target.product_id);
    CONSOLE_PRINT(kVerbosityDebug, "identify_zm_enclosure_1: product_name=%s\n",
                  std::string(product_id).c_str());
    for (const product_id_row& row : kProductIds) {
        if (row.product_id == product_id) return apply_product(target, row.product_code);
    }
    return 1;
}

c1h_name_match match_c1h_product_name(std::string_view product_name) {
    for (const c1h_name_row& row : kC1hNames) {
        if (row.name == product_name) return row.match;
    }
    return {0, false, false};
}

std::uint32_t product_from_zmc_nx2a_config(std::span<const std::uint8_t> page) {
    if (page.size() < 12) return 0;
    std::size_t offset = 12 + static_cast<std::size_t>(page[11]);
    // Each examined header needs its type byte and the count byte after it.
    for (; offset + 1 < page.size(); offset += 4) {
        CONSOLE_PRINT(kVerbosityDebug, "identify_zm_enclosure_2: buffer[%02Xh]=%02Xh\n",
                      static_cast<unsigned>(offset), page[offset]);
        if (page[offset] != kElementArrayDeviceSlot) continue;
        const unsigned elements = page[offset + 1];
        CONSOLE_PRINT(kVerbosityDebug, "identify_zm_enclosure_2: elements=%u\n", elements);
        if (elements == 60) return kProductOpalRidge;
        if (elements == 68) return kProductGarnetRidge;
        return 0;
    }
    return 0;
}

bool string_starts_with(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.starts_with(prefix);
}

bool string_ends_with(std::string_view text, std::string_view suffix) {
    return !suffix.empty() && suffix.size() <= text.size() && text.ends_with(suffix);
}

std::string_view file_base_name(std::string_view path) {
    std::size_t cut = path.find_last_of('\\');
    const std::size_t separator = path.find_last_of(kPathSeparator);
    if (separator != std::string_view::npos && (cut == std::string_view::npos || separator > cut)) {
        cut = separator;
    }
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

int fw_file_is_compatible(const enclosure_target& target, std::string_view path) {
    print_path_and_base(path);
    for (const firmware_file_row& row : kFirmwareFiles) {
        if (row.product_code == target.product_code && row.multi_tenant == target.multi_tenant) {
            return file_name_fits(path, row.prefixes, row.suffixes);
        }
    }
    return 0;
}

int zone_file_is_compatible(const enclosure_target& target, std::string_view path) {
    print_path_and_base(path);
    for (const zone_file_row& row : kZoneFiles) {
        if (row.product_code == target.product_code) {
            return file_name_fits(path, std::array<std::string_view, 1>{row.prefix},
                                  std::array<std::string_view, 1>{row.suffix});
        }
    }
    return 0;
}

int fw_file_is_compatible(const vdx_dev& device, const char* path) {
    CONSOLE_PRINT(kVerbosityDebug, "fw_file_is_compatible\n");
    const enclosure_target* target = enclosure_of(device);
    if (!target || !path) return 0;
    return fw_file_is_compatible(*target, std::string_view(path));
}

int zone_file_is_compatible(const vdx_dev& device, const char* path) {
    CONSOLE_PRINT(kVerbosityDebug, "zone_file_is_compatible\n");
    const enclosure_target* target = enclosure_of(device);
    if (!target || !path) return 0;
    return zone_file_is_compatible(*target, std::string_view(path));
}

bool firmware_version_equals(const enclosure_target& target, const char* version) {
    return first_dash_token_equals(target.firmware, version);
}

bool firmware_version_at_least(const enclosure_target& target, const char* version) {
    return first_dash_token_at_least(target.firmware, version);
}

}  // namespace enctl
