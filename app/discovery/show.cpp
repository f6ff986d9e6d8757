// show and show handles.
#include "app/discovery/show.h"

#include <array>
#include <string_view>

#include "app/discovery/discovery.h"
#include "app/discovery/ses_fill.h"
#include "app/discovery/show_options.h"
#include "app/operation.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

int show_end_devices(vdx_dev& enclosure, const disk_pairing& disks) {
    iom_address_record ioms{};
    std::array<slot_record, kSlotTableSize> slots{};
    if (fill_from_page7(enclosure, ioms, slots.data(), slots.size()) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to get data from SES page 7\n");
        return 1;
    }
    if (fill_from_page_a(enclosure, slots.data(), slots.size()) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to get data from SES page Ah\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "\n");

    char address[32] = {};
    if (get_device_sas_address(enclosure, address) == 0) {
        const std::string_view own = text_of(address);
        if (own == text_of(ioms.iom_a) || own == text_of(ioms.iom_b)) {
            CONSOLE_PRINT(kVerbosityNormal, "  Enclosure IOM         : %c\n", own == text_of(ioms.iom_a) ? 'A' : 'B');
            CONSOLE_PRINT(kVerbosityNormal, "  Enclosure SAS Address : %s\n\n", address);
        } else {
            CONSOLE_PRINT(kVerbosityNormal, "  Enclosure SAS Address: %s\n\n", address);
        }
    }

    CONSOLE_PRINT(kVerbosityNormal, "  Slot  SN        Cap(GB)  NAA WWID          Expander            Drive Handle\n");
    CONSOLE_PRINT(kVerbosityNormal, "  ---------------------------------------------------------------------------\n");
    const enclosure_target* target = enclosure_of(enclosure);
    const int bus = target ? target->bus : -1;
    for (std::uint32_t number = 0; number < slots.size(); ++number) {
        slot_record& slot = slots[number];
        if (!slot.connected || slot.serial[0] == '\0') continue;
        find_os_handle_name(bus, slot, disks);
        CONSOLE_PRINT(kVerbosityNormal, "   %3u  %-8s  %-7s  %-12s  %c:%-12s  %s\n", number, slot.serial, slot.capacity,
                      slot.naa_identifier, expander_digit(slot, ioms), slot.attached_sas_address, slot.os_handle_name);
    }
    return 0;
}

int show_devices(bool handles, target_list& targets) {
    // Each enclosure's listing reads only its own pages and the disks'
    // records, so the enclosures are asked at the same time.
    const disk_pairing disks(targets);
    for_each_device_concurrently(targets, [&](vdx_dev& device, std::uint32_t i) {
        CONSOLE_PRINT(kVerbosityDebug, "show device %u - %s\n", i, device.name);
        const enclosure_target* target = enclosure_of(device);
        if (!has_scsi_path(device) || !target) return;
        CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", device.name);
        if (!handles) {
            CONSOLE_PRINT(kVerbosityNormal, "    product : %s\n", target->product_id);
            CONSOLE_PRINT(kVerbosityNormal, "    serial  : %s\n", target->serial);
            CONSOLE_PRINT(kVerbosityNormal, "    firmware: %s\n", target->firmware);
            CONSOLE_PRINT(kVerbosityNormal, "    name    : %s\n", target->description);
        } else if (!target->extended_support || target->product_code == kProductAmberRidge) {
            CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on this product\n");
        } else {
            show_end_devices(device, disks);
        }
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    });
    return 0;
}

namespace {

show_options g_show;  // the run's request, filled by the parse

}  // namespace

extern constinit const operation kShowOperation{
    .code = 8,
    .keyword = "show",
    .summary = "scan SEP devices and display the product or device data",
    .parse = [](std::span<const char* const> args) { return show_parse_args(g_show, args); },
    .usage = show_usage,
    .run = [](target_list& targets) { return show_devices(g_show.handles != 0, targets); },
    .needs_end_devices = [] { return g_show.handles != 0; },
};

}  // namespace enctl
