// The device-facing part of product recognition and file compatibility.
#include <cstring>
#include <string>
#include <vector>

#include "app/discovery/product.h"
#include "app/discovery/target_list.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {
namespace {

constexpr std::uint8_t kSesPageConfiguration = 0x01;
constexpr std::size_t kConfigPageSize = 4096;

}  // namespace

int identify_zm_enclosure_2(vdx_dev& device, enclosure_target& target, const char* product_name) {
    const std::string_view name = product_name ? std::string_view(product_name) : std::string_view{};
    const c1h_name_match match = match_c1h_product_name(name);
    if (!match.needs_config_page) {
        if (match.product_code == 0) return 1;
        return apply_product(target, match.product_code, match.multi_tenant);
    }
    std::vector<std::uint8_t> page(kConfigPageSize, 0);
    std::uint32_t transferred = 0;
    vdx_error error{};
    if (cmdxscsi_receive_diagnostic(&error, &device, kSesPageConfiguration, page, &transferred) != 0 ||
        page[0] != kSesPageConfiguration) {
        return 1;
    }
    const std::size_t received = transferred < page.size() ? transferred : page.size();
    const std::uint32_t code = product_from_zmc_nx2a_config(std::span<const std::uint8_t>(page).first(received));
    if (code == 0) return 1;
    return apply_product(target, code);
}

int fw_file_is_compatible(const vdx_dev& device, const char* path) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || !path) return 0;
    return fw_file_is_compatible(*target, std::string_view(path));
}

int zone_file_is_compatible(const vdx_dev& device, const char* path) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || !path) return 0;
    return zone_file_is_compatible(*target, std::string_view(path));
}

}  // namespace enctl
