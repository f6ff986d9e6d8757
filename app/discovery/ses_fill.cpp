// Reading pages 01h, 07h and 0Ah from an enclosure into the slot table and
// the IOM address record, and pairing slots with the disks of the table.
#include "app/discovery/ses_fill.h"

#include <span>
#include <string_view>
#include <vector>

#include "app/discovery/discovery.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"

namespace enctl {
namespace {

constexpr std::size_t kElementPagesBufferSize = 16384;
constexpr std::size_t kAdditionalStatusBufferSize = 8192;

iom_ignore ignored_iom(vdx_dev& device, const enclosure_target* target) {
    if (!target) return iom_ignore::none;
    if (target->product_code == kProductGarnetRidge) return iom_ignore::iom_b;
    if (!target->single_iom && !target->multi_tenant) return iom_ignore::none;
    switch (get_iom_type(device)) {
        case kIomA:
            return iom_ignore::iom_b;
        case kIomB:
            return iom_ignore::iom_a;
        default:
            return iom_ignore::none;
    }
}

}  // namespace

int fill_from_page7(vdx_dev& device, iom_address_record& ioms, slot_record* slots, std::size_t size) {
    std::vector<std::uint8_t> buffer(kElementPagesBufferSize);
    vdx_error error{};
    ses_page page = ses_read_page(&error, &device, kSesPageConfiguration, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page 1\n");
        return 1;
    }
    element_type_table table;
    build_element_type_table(page.bytes, table);
    page = ses_read_page(&error, &device, kSesPageElementDescriptor, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page 7\n");
        return 1;
    }
    const enclosure_target* target = enclosure_of(device);
    const bool multi_tenant = target && target->multi_tenant;
    // The IOM type is asked only after page 07h is in the buffer; it reads
    // into its own buffer.
    const iom_ignore ignore = ignored_iom(device, target);
    return parse_element_descriptors(page.bytes, table, multi_tenant, ignore, ioms,
                                     std::span<slot_record>(slots, size));
}

int fill_from_page_a(vdx_dev& device, slot_record* slots, std::size_t size) {
    std::vector<std::uint8_t> buffer(kAdditionalStatusBufferSize);
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageAdditionalStatus, buffer);
    if (!page.ok()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving page A\n");
        return 1;
    }
    parse_additional_element_status(page.bytes, std::span<slot_record>(slots, size));
    return 0;
}

int find_os_handle_name(int bus, slot_record& slot, const target_list& targets) {
    CONSOLE_PRINT(kVerbosityDebug, "find_os_handle_name: ses_scsi_bus=%d sn=%s sas=%s\n", bus, slot.serial,
                  slot.drive_sas_address);
    const std::string_view serial = text_of(slot.serial);
    for (std::uint32_t i = 0; i < targets.count; ++i) {
        const vdx_dev_data* node = vdx_dev_data_first(targets[i]);
        if (!node || !node->payload) continue;
        const auto* record = static_cast<const enclosure_target*>(node->payload);
        CONSOLE_PRINT(kVerbosityDebug, "***Compare [%u] %s bus=%d sn=%s sas=%s\n", i, record->os_name, record->bus,
                      record->serial, record->sas_address);
        // A drive behind a RAID controller has no SCSI port of the host to
        // compare: its serial alone pairs it.
        const bool behind_controller = vdx_dev_is_adaptec(targets[i]) || vdx_dev_is_megaraid(targets[i]);
        if (text_of(record->serial).find(serial) == std::string_view::npos || (record->bus != bus && !behind_controller))
            continue;
        CONSOLE_PRINT(kVerbosityDebug, "***Match found [%u] %s bus=%d sn=%s sas=%s cap=%s\n", i, record->os_name,
                      record->bus, record->serial, record->sas_address, record->capacity);
        set_text(slot.naa_identifier, text_of(record->sas_address));
        set_text(slot.os_handle_name, text_of(record->os_name));
        set_text(slot.capacity, text_of(record->capacity));
        return 0;
    }
    if (slot.naa_identifier[0] == '\0') set_text(slot.naa_identifier, "                ");
    return 1;
}

}  // namespace enctl
