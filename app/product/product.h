// The product facts: the seven enclosure products and their table, their
// recognition by product id and page C1h name, which firmware and zoning
// files each accepts, and the firmware version gates. Discovery and the
// operations both read them from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "app/discovery/enclosure_target.h"
#include "vdx/vdx.h"

namespace enctl {

// Product codes (the product code field of enclosure_target).
inline constexpr std::uint32_t kProductAmberRidge = 1;
inline constexpr std::uint32_t kProductSlateRidge = 2;
inline constexpr std::uint32_t kProductHalcyon = 3;
inline constexpr std::uint32_t kProductMtCorvin = 4;
inline constexpr std::uint32_t kProductOpalRidge = 5;
inline constexpr std::uint32_t kProductMtAlder = 6;
inline constexpr std::uint32_t kProductGarnetRidge = 7;

// How an enclosure reports its IOM configuration.
enum class iom_config_source : std::uint8_t {
    always_single,   // single IOM always
    mode_page_20h,   // read from mode page 20h
    not_reported,
};

struct product_row {
    std::uint32_t product_code;
    std::string_view code_name;
    std::string_view description;
    std::uint32_t extended_support;
    iom_config_source iom_config;
};

// The row of a product code (1..7), or nullptr.
const product_row* find_product(std::uint32_t product_code);

// Fills product code, code name, description, extended support and the
// multi-tenant flag of `target` from the product table. Returns 0, or 1 for an
// unknown code (then nothing is changed).
int apply_product(enclosure_target& target, std::uint32_t product_code, bool multi_tenant = false);

// Recognises the product by the product id already in `target` (exact,
// case-sensitive). 0 when recognised, else 1.
int identify_zm_enclosure_1(enclosure_target& target);

// The product that the page C1h name "ZMC-NX2A" stands for, from the
// transferred bytes of configuration page 01h: 5 for an array device slot
// type with 60 possible elements, 7 for 68, else 0. Only those bytes are read.
std::uint32_t product_from_zmc_nx2a_config(std::span<const std::uint8_t> page);

// Result of looking a page C1h name up, before any page is read.
struct c1h_name_match {
    std::uint32_t product_code;   // 0: not recognised
    bool multi_tenant;
    bool needs_config_page;       // "ZMC-NX2A": decided by page 01h
};
c1h_name_match match_c1h_product_name(std::string_view product_name);

// True only for a non-empty prefix found at position 0.
bool string_starts_with(std::string_view text, std::string_view prefix);
// True only for a non-empty suffix no longer than the text, at its end.
bool string_ends_with(std::string_view text, std::string_view suffix);

// Base name of a path: after the last platform separator and after the last
// backslash, whichever comes later.
std::string_view file_base_name(std::string_view path);

// Firmware and zoning file checks: 1 when the base name of the file fits the
// row of the enclosure's product, else 0. The device forms read the
// enclosure record of the device (a device without one is never compatible).
int fw_file_is_compatible(const enclosure_target& target, std::string_view path);
int zone_file_is_compatible(const enclosure_target& target, std::string_view path);
int fw_file_is_compatible(const vdx_dev& device, const char* path);
int zone_file_is_compatible(const vdx_dev& device, const char* path);

// Firmware version gates on the enclosure's firmware revision (NNNN-xxx):
// the part before the first "-" compared as text with the threshold.
bool firmware_version_equals(const enclosure_target& target, const char* version);
bool firmware_version_at_least(const enclosure_target& target, const char* version);

// Version thresholds used by the operations.
inline constexpr const char* kFwGateRcliExact = "2043";
inline constexpr const char* kFwGate3000 = "3000";
inline constexpr const char* kFwGateZoning = "2030";
inline constexpr const char* kFwGate2040 = "2040";

}  // namespace enctl
