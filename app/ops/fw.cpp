// The fw operation: firmware download, activation, IOM reset and status.
#include <initializer_list>

#include "app/discovery/target_list.h"
#include "app/operation.h"
#include "app/ops/confirm.h"
#include "app/ops/fw_download.h"
#include "app/ops/fw_options.h"
#include "app/ops/fw_reset.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/trace.h"

namespace enctl {

namespace {

fw_options g_fw;  // the run's request, filled by the parse

bool is_product(const enclosure_target& record, std::initializer_list<std::uint32_t> codes) {
    for (std::uint32_t code : codes) {
        if (record.product_code == code) return true;
    }
    return false;
}

// Asks for confirmation, then sends the activation page. 0 when it was sent.
int activate(vdx_dev& target) {
    TRACE_ENTER_EXIT();
    CONSOLE_PRINT(kVerbosityDebug, "activate\n");
    CONSOLE_PRINT(kVerbosityNormal, "This method of firmware activation will be disruptive.\n");
    CONSOLE_PRINT(kVerbosityNormal, "Please consider activating firmware offline to avoid any disruptions to I/O.\n\n");
    CONSOLE_PRINT(kVerbosityNormal, "If the platform configuration is based on dual IOMs, the IOM(s) in question\n");
    CONSOLE_PRINT(kVerbosityNormal, "will go offline for a period of time while the update is finalized.\n");
    CONSOLE_PRINT(kVerbosityNormal, "If the platform configuration is based on a single IOM, the enclosure\n");
    CONSOLE_PRINT(kVerbosityNormal, "will go offline for a period of time while the update is finalized.\n\n");
    CONSOLE_PRINT(kVerbosityNormal, "If you still prefer to continue with this method, press 'Y' or 'y': ");
    const bool confirmed = read_confirmation();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    if (!confirmed) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation canceled by the user\n\n");
        return 1;
    }
    vdx_error error{};
    if (send_microcode_activation(error, target) != 0) {
        trace_print_error(error);
        CONSOLE_PRINT(kVerbosityNormal, "Firmware activation failed with code %u\n", error.code);
        return 1;
    }
    return 0;
}

// Steps 4 to 6 of one enclosure: download, then activation or reset.
void update_enclosure(vdx_dev& device, const enclosure_target& record) {
    if (g_fw.download) {
        if (fw_file_is_compatible(device, g_fw.file) == 0) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: The file is not compatible with this product\n\n");
            return;
        }
        if (download(device, g_fw.file, kFwMaxWaitSeconds, g_fw.nostatdelay != 0) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "\n");
            return;
        }
        CONSOLE_PRINT(kVerbosityNormal, "Firmware was downloaded successfully\n");
        if (g_fw.activate) {
            CONSOLE_PRINT(kVerbosityNormal, "Starting the activation process...\n\n");
        } else if (g_fw.reset) {
            CONSOLE_PRINT(kVerbosityNormal, "Starting the reset process...\n\n");
        } else {
            if (is_product(record, {kProductOpalRidge, kProductMtAlder})) {
                CONSOLE_PRINT(kVerbosityNormal, "When ready, please issue the \"fw activate\" or \"fw reset\" for the "
                                                "new firmware to take effect\n\n");
            } else {
                CONSOLE_PRINT(kVerbosityNormal,
                              "When ready, please issue the \"fw activate\" command for the new firmware to take "
                              "effect\n\n");
            }
            return;
        }
    }
    if (g_fw.activate && activate(device) == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Firmware activation command was sent successfully\n\n");
        return;
    }
    if (g_fw.reset) {
        const bool single = record.product_code == kProductGarnetRidge || record.single_iom || record.multi_tenant;
        if ((single ? iom_reset_single(device) : iom_reset_dual(device)) == 0) {
            CONSOLE_PRINT(kVerbosityNormal, "IOM was reset successfully\n\n");
            return;
        }
    }
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

int fw_run(target_list& targets) {
    TRACE_ENTER_EXIT();
    for (std::uint32_t i = 0; i < targets.count; ++i) {
        vdx_dev& device = targets[i];
        const enclosure_target* record = enclosure_of(device);
        if (!record || !has_scsi_path(device)) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", device.name);
        if (g_fw.status) {
            display_status(device);
            CONSOLE_PRINT(kVerbosityNormal, "\n");
            continue;
        }
        if (g_fw.reset && !is_product(*record, {kProductOpalRidge, kProductMtAlder, kProductGarnetRidge})) {
            CONSOLE_PRINT(kVerbosityNormal, "This product does not support the IOM reset command\n\n");
            continue;
        }
        update_enclosure(device, *record);
    }
    return 0;
}

}  // namespace

extern constinit const operation kFwOperation{
    .code = 2,
    .keyword = "fw",
    .summary = "firmware related operations",
    .parse = [](std::span<const char* const> args) { return fw_parse_args(g_fw, args); },
    .usage = fw_usage,
    .run = fw_run,
    .needs_one_target = [] { return true; },
};

}  // namespace enctl
