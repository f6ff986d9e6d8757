// The zone operation: pre-defined zoning, zoning files, IOM reset and status.
#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "app/discovery/target_list.h"
#include "app/operation.h"
#include "app/ops/cli_channel.h"
#include "app/ops/confirm.h"
#include "app/ops/fw_download.h"
#include "app/ops/fw_reset.h"
#include "app/ops/zone_options.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_send.h"

namespace enctl {

namespace {

zone_options g_zone;  // the run's request, filled by the parse

constexpr unsigned kZoneFileMaxWaitSeconds = 5;
constexpr std::uint32_t kVpdAllocation = 512;
constexpr std::uint8_t kDesignatorNaa = 3;
constexpr std::uint8_t kNaaLength = 8;

// Reads one confirmation after the caller's prompt and prints the line end;
// on a refusal also the cancellation.
bool confirmed_or_canceled() {
    const bool confirmed = read_confirmation();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    if (!confirmed) CONSOLE_PRINT(kVerbosityNormal, "Operation canceled by the user\n\n");
    return confirmed;
}

// The SAS address of the first designation descriptor of VPD page 83h, when
// that descriptor is an 8-byte NAA designator that lies wholly inside the
// bytes received and the page's own length.
std::optional<std::array<std::uint8_t, 8>> first_naa_designator(std::span<const std::uint8_t> page) {
    constexpr std::size_t kFirst = 4;  // descriptor header at 4-7, designator from 8
    if (page.size() < kFirst || std::min<std::size_t>(page.size(), be16(&page[2]) + 4u) < kFirst + 4 + kNaaLength)
        return std::nullopt;
    if ((page[kFirst + 1] & 0x0F) != kDesignatorNaa || page[kFirst + 3] != kNaaLength) return std::nullopt;
    std::array<std::uint8_t, 8> address{};
    std::copy_n(page.begin() + kFirst + 4, kNaaLength, address.begin());
    return address;
}

int configure_zone(vdx_dev& target, std::int32_t value) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "configure_zone\n");
    if (value < 0 || value > 3) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Pre-configuration value must be 0-3\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "You may need to issue the \"zone reset\" command on some products to complete "
                                    "this operation.\n");
    CONSOLE_PRINT(kVerbosityNormal, "As a result of the \"zone reset\", the enclosure may go offline for a period of "
                                    "time.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Please ensure this is done during a maintenance window.\n");
    CONSOLE_PRINT(kVerbosityNormal, "If you want proceed with changing the zoning configuration, press 'Y' or 'y': ");
    if (!confirmed_or_canceled()) return 1;

    std::array<std::uint8_t, kVpdAllocation> buffer{};
    std::uint32_t transferred = 0;
    vdx_error error{};
    if (cmdxscsi_inquiry(&error, &target, true, kVpdDeviceIdentification, buffer, &transferred) != 0) {
        trace_print_error(error);
        return 1;
    }
    const std::span<const std::uint8_t> page = cmdx::received(buffer, transferred);
    if (page.size() < 2 || page[1] != kVpdDeviceIdentification) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Could not retrieve SAS address\n");
        return 1;
    }
    const std::optional<std::array<std::uint8_t, 8>> address = first_naa_designator(page);
    if (!address) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Could not find NAA designator to retrieve the SAS address\n");
        return 1;
    }
    const auto& a = *address;
    CONSOLE_PRINT(kVerbosityNormal,
                  "Setting zones to pre-configured value of %u to SAS address %02X%02X%02X%02X%02X%02X%02X%02X...\n",
                  static_cast<unsigned>(value), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    if (ses_send_zone_control(&error, &target, static_cast<std::uint8_t>(value), a) != 0) {
        trace_print_error(error);
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Command to change configuration failed\n");
        return 1;
    }
    if (value == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Zoning has been disabled.\n");
    } else {
        CONSOLE_PRINT(kVerbosityNormal, "Zoning has been enabled to configuration type %u\n",
                      static_cast<unsigned>(value));
    }
    return 0;
}

int send_config_file(vdx_dev& target, const char* path) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "send_config_file\n");
    if (zone_file_is_compatible(target, path) == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The file is not compatible with this product\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal,
                  "CAUTION: This command will send a T10 zoning configuration to the IOM in question\n");
    CONSOLE_PRINT(kVerbosityNormal, "and activate the configuration by resetting the IOM(s).\n");
    CONSOLE_PRINT(kVerbosityNormal, "If the configuration is dual IOM, both IOMs will be reset.\n\n");
    CONSOLE_PRINT(kVerbosityNormal, "This zoning administration activity is designed to take place while the JBOD/F\n");
    CONSOLE_PRINT(kVerbosityNormal, "platform is offline and not in production. The IOM(s) in question will go offline \n");
    CONSOLE_PRINT(kVerbosityNormal, "for a short period of time while the zoning configuration is activated\n");
    CONSOLE_PRINT(kVerbosityNormal, "If you still prefer to continue with this method, press 'Y' or 'y': ");
    if (!confirmed_or_canceled()) return 1;

    // The enclosure's report on the stored file does not decide; a file that
    // did not go out whole is never activated.
    bool sent = false;
    if (download(target, path, kZoneFileMaxWaitSeconds, true, &sent) != 0) {
        CONSOLE_PRINT(kVerbosityDebug, "**Download cfg file failed - Ignore\n");
    }
    if (!sent) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The configuration file was not sent completely; nothing was activated\n");
        return 1;
    }
    vdx_error error{};
    if (send_microcode_activation(error, target) != 0) {
        trace_print_error(error);
        CONSOLE_PRINT(kVerbosityNormal, "Activation of the configuration file failed with code %u\n", error.code);
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Configuration file was downloaded and activated successfully\n");
    return 0;
}

// The enclosure's own account of its zoning: "zonecfg" on its command line.
int show_status(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "show_status\n");
    vdx_error error{};
    if (send_cli_command(&error, target, "zonecfg") != 0) {
        trace_print_error(error);
        return 0;
    }
    display_ses_cli_page(target);
    return 0;
}

int zone_reset_iom(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "zone_reset_iom\n");
    CONSOLE_PRINT(kVerbosityNormal, "As a result of the \"zone reset\", the enclosure may go offline for a period of "
                                    "time.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Please ensure this is done during a maintenance window.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Press 'Y' or 'y' if you want to continue: ");
    if (!confirmed_or_canceled()) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Resetting the IOM. Please wait...\n");
    vdx_error error{};
    if (ses_send_iom_reset(&error, &target, kIomResetSecond) != 0) {
        trace_print_error(error);
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Reset command failed\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "The reset command was successful\n");
    return 0;
}

// Which requests a product takes: all on products 5 and 6, only status on 7.
bool request_allowed(const enclosure_target& record) {
    if (record.product_code == kProductOpalRidge || record.product_code == kProductMtAlder) return true;
    return record.product_code == kProductGarnetRidge && g_zone.status && !g_zone.config && !g_zone.reset &&
           !g_zone.file;
}

void zone_enclosure(vdx_dev& device, const enclosure_target& record) {
    if (!request_allowed(record)) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on this product\n");
    } else if (g_zone.config) {
        if (record.multi_tenant) {
            CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on this product\n");
        } else {
            configure_zone(device, g_zone.config_value);
        }
    } else if (g_zone.reset) {
        zone_reset_iom(device);
    } else if (g_zone.status) {
        show_status(device);
    } else if (g_zone.file) {
        if (!firmware_version_at_least(record, kFwGateZoning)) {
            CONSOLE_PRINT(kVerbosityNormal, "Operation not supported: need firmware version 2030-xxx or newer\n");
        } else {
            send_config_file(device, g_zone.file_path);
        }
    } else {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Unsupported operation\n");
    }
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

int zone_run(target_list& targets) {
    TRACE_ENTER_EXIT();
    for (std::uint32_t i = 0; i < targets.count; ++i) {
        vdx_dev& device = targets[i];
        const enclosure_target* record = enclosure_of(device);
        if (!record || !has_scsi_path(device)) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", device.name);
        zone_enclosure(device, *record);
    }
    return 0;
}

}  // namespace

extern constinit const operation kZoneOperation{
    .code = 10,
    .keyword = "zone",
    .summary = "display and configure zones",
    .parse = [](std::span<const char* const> args) { return zone_parse_args(g_zone, args); },
    .usage = zone_usage,
    .run = zone_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
