// The device-facing part of product recognition: the page C1h name, with
// "ZMC-NX2A" told apart by the enclosure's configuration page.
#include <array>
#include <string_view>

#include "app/discovery/discovery.h"
#include "app/product/product.h"
#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {
namespace {

constexpr std::size_t kConfigPageSize = 4096;

}  // namespace

int identify_zm_enclosure_2(vdx_dev& device, enclosure_target& target, const char* product_name) {
    const std::string_view name = product_name ? std::string_view(product_name) : std::string_view{};
    const c1h_name_match match = match_c1h_product_name(name);
    if (!match.needs_config_page) {
        if (match.product_code == 0) return 1;
        return apply_product(target, match.product_code, match.multi_tenant);
    }
    std::array<std::uint8_t, kConfigPageSize> buffer;
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageConfiguration, buffer);
    if (!page.ok()) return 1;
    if (page.bytes.size() >= 4 && 4u + (page.bytes[2] << 8 | page.bytes[3]) <= page.bytes.size())
        target.configuration_page.assign(page.bytes.begin(), page.bytes.end());
    const std::uint32_t code = product_from_zmc_nx2a_config(page.bytes);
    if (code == 0) return 1;
    return apply_product(target, code);
}

}  // namespace enctl
