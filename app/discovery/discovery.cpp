// Enclosure and end-device discovery.
#include "app/discovery/discovery.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/ordered_jobs.h"
#include "basekit/text.h"
#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"

namespace enctl {
namespace {

constexpr std::uint8_t kPeripheralEnclosureServices = 0x0D;
constexpr std::size_t kInquiryBufferSize = 4096;
constexpr std::size_t kVpd83BufferSize = 256;
constexpr std::size_t kPageBufferSize = 4096;
constexpr std::uint8_t kIomConfigSingleBit = 0x04;

void print_not_supported(const vdx_dev& device, bool verbose) {
    if (verbose) {
        CONSOLE_PRINT(kVerbosityNormal, "Device not supported: %s\n", device.name);
        CONSOLE_PRINT(kVerbosityNormal, "Please use the 'show' command to find the supported SEP devices\n\n");
    }
    CONSOLE_PRINT(kVerbosityDebug, "** skipping %s\n", device.name);
}

// Recognition by the product id and page C1h. 0 when recognised.
int recognise_product(vdx_dev& device, enclosure_target& target) {
    const std::string_view product_id = text_of(target.product_id);
    if (product_id.find("NX2A_STOR_ENCL") != std::string_view::npos) {
        return apply_product(target, kProductHalcyon);
    }
    if (product_id.find("NX1F_STOR_ENCL") != std::string_view::npos) {
        return apply_product(target, kProductMtCorvin);
    }
    std::vector<std::uint8_t> page(kInquiryBufferSize, 0);
    std::uint32_t transferred = 0;
    vdx_error error{};
    if (cmdxscsi_inquiry(&error, &device, true, kVpdProductName, page, &transferred) == 0) {
        const std::string product_name = product_name_from_vpd_c1h(cmdx::received(page, transferred));
        if (identify_zm_enclosure_2(device, target, product_name.c_str()) == 0) return 0;
    } else {
        trace_print_error(error);
    }
    return identify_zm_enclosure_1(target);
}

void read_iom_configuration(vdx_dev& device, enclosure_target& target) {
    const product_row* row = find_product(target.product_code);
    if (!row) return;
    switch (row->iom_config) {
        case iom_config_source::always_single:
            target.single_iom = 1;
            return;
        case iom_config_source::not_reported:
            return;
        case iom_config_source::mode_page_20h:
            break;
    }
    vdx_error error{};
    std::uint8_t config = 0;
    if (cmdxscsi_get_iom_config(&error, &device, &config) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot determine if IOM is single or dual configuration\n");
        CONSOLE_PRINT(kVerbosityNormal, "Some IOM related features may not function properly\n");
        return;
    }
    if (config & kIomConfigSingleBit) target.single_iom = 1;
    else target.dual_iom = 1;
}

void read_serial(vdx_dev& device, char (&serial)[32]) {
    vdx_error error{};
    char text[32] = {};
    if (cmdxbasics_get_serial(&error, &device, text) != 0) trace_print_error(error);
    set_text(serial, text_of(text));
    make_printable(serial);
}

// Steps 4 to 8 of tagging one opened enclosure device whose INQUIRY data (the
// bytes transferred) is `inquiry`. 1 when the product is not recognised
// (nothing attached).
int tag_enclosure(vdx_dev& device, std::span<const std::uint8_t> inquiry) {
    auto target = std::make_unique<enclosure_target>();
    char text[1024];
    std::snprintf(text, sizeof text, "scsi%u_%u-%u-%u", device.scsi_address.port, device.scsi_address.path,
                  device.scsi_address.target, device.scsi_address.lun);
    set_text(target->name, text);
    set_text(target->os_name, text_of(device.name));
    vdx_error error{};
    char product_id[32] = {};
    cmdxscsi_inquiry_parse_product_identification(&error, product_id, inquiry);
    set_text(target->product_id, text_of(product_id));
    make_printable(target->product_id);

    if (recognise_product(device, *target) != 0) return 1;

    if (target->extended_support) {
        read_firmware_from_page3(device, *target);
    } else {
        char revision[32] = {};
        cmdxscsi_inquiry_parse_product_revision(&error, revision, inquiry);
        set_text(target->firmware, text_of(revision));
    }
    // Device texts are kept printable: every later print of the record is safe.
    make_printable(target->firmware);
    read_iom_configuration(device, *target);
    read_serial(device, target->serial);
    target->bus = bus_number(device);
    target->marked = 1;
    vdx_dev_data_attach(&device, kEnclosureTargetTag, std::move(target));
    return 0;
}

}  // namespace

void for_each_device_concurrently(target_list& targets, const std::function<void(vdx_dev&, std::uint32_t)>& job) {
    std::set<int> hosts;
    for (const vdx_dev& device : targets.view())
        if (device.scsi_address.port != 255) hosts.insert(device.scsi_address.port);
    // The RAID helper libraries are not known to be thread-safe: their
    // drives are served by the calling thread.
    const auto behind_library = [&](std::size_t i) {
        return vdx_dev_is_adaptec(targets[static_cast<std::uint32_t>(i)]) ||
               vdx_dev_is_megaraid(targets[static_cast<std::uint32_t>(i)]);
    };
    run_ordered_jobs(
        targets.count, job_workers(targets.count, hosts.size()),
        [&](std::size_t i) { job(targets[static_cast<std::uint32_t>(i)], static_cast<std::uint32_t>(i)); },
        behind_library);
}

const enclosure_target* attached_record(const vdx_dev& device, std::uint64_t tag) {
    return vdx_dev_data_payload<const enclosure_target>(device, tag);
}

vdx_dev* target_list_append(target_list& targets, const vdx_dev& device) {
    vdx_dev* copy = vdx_dev_append_copy(&targets, device);
    if (!copy) {
        TRACE_AT(kTraceDevice, "device table: %s not added (%u of %u devices held)\n", device.name,
                 targets.count, kTargetListSize);
    }
    return copy;
}

void target_list_release(target_list& targets) { vdx_dev_release(&targets); }

void enumerate_all_enclosures(target_list& targets) {
    TRACE_ENTER_EXIT();
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kEnclosureEnumerationMask);
    CONSOLE_PRINT(kVerbosityDebug, "enumerated %u devices\n", list.count);
    for (std::uint32_t i = 0; i < list.count; ++i) {
        CONSOLE_PRINT(kVerbosityDebug, "device %u=%s\n", i, list[i].name);
        if (list[i].connection == kVdxConnectionEnclosure) target_list_append(targets, list[i]);
    }
    vdx_dev_release(&list);
    CONSOLE_PRINT(kVerbosityDebug, "devices->ndevices=%u\n", targets.count);
}

void enumerate_end_devices(target_list& targets) {
    TRACE_ENTER_EXIT();
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumAll);
    for (std::uint32_t i = 0; i < list.count; ++i) {
        if (std::string_view(list[i].name).find("disk") != std::string_view::npos) {
            CONSOLE_PRINT(kVerbosityDebug, "add device %u=%s\n", i, list[i].name);
            target_list_append(targets, list[i]);
        } else {
            CONSOLE_PRINT(kVerbosityDebug, "skip device %u=%s\n", i, list[i].name);
        }
    }
    vdx_dev_release(&list);
}

// One device of mark_ses_devices; true when it was tagged.
bool mark_ses_device(vdx_dev& device, std::uint32_t i, bool verbose) {
    CONSOLE_PRINT(kVerbosityDebug, "device %llX\n",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&device)));
    CONSOLE_PRINT(kVerbosityDebug, "%u=%s\n", i, device.name);
    if (device.connection != kVdxConnectionEnclosure) {
        print_not_supported(device, verbose);
        return false;
    }
    vdx_error error{};
    if (vdx_dev_open(&error, &device) != 0) {
        if (verbose) CONSOLE_PRINT(kVerbosityNormal, "Device found but cannot open: %s\n", device.name);
        return false;
    }
    std::vector<std::uint8_t> inquiry(kInquiryBufferSize);
    std::uint8_t type = 0xFF;
    std::uint32_t transferred = 0;
    const bool answered =
        has_scsi_path(device) && cmdxscsi_inquiry(&error, &device, false, 0, inquiry, &transferred) == 0 &&
        cmdxscsi_inquiry_parse_peripheral_type(&error, &type, cmdx::received(inquiry, transferred)) == 0;
    if (!answered || type != kPeripheralEnclosureServices) {
        if (answered) vdx_dev_cleanup(&device);
        print_not_supported(device, verbose);
        return false;
    }
    return tag_enclosure(device, cmdx::received(inquiry, transferred)) == 0;
}

std::uint32_t mark_ses_devices(target_list& targets, bool verbose) {
    TRACE_ENTER_EXIT();
    std::vector<char> tagged(targets.count, 0);
    for_each_device_concurrently(targets, [&](vdx_dev& device, std::uint32_t i) {
        tagged[i] = mark_ses_device(device, i, verbose);
    });
    return static_cast<std::uint32_t>(std::count(tagged.begin(), tagged.end(), 1));
}

void end_device_os_name(const vdx_dev& device, char (&os_name)[1024]) {
    // A drive behind a RAID controller has no OS handle; the name its
    // library gave it is the only handle name there is.
    if (vdx_dev_is_adaptec(device) || vdx_dev_is_megaraid(device)) {
        set_text(os_name, text_of(device.name));
        return;
    }
    const std::string_view path = text_of(device.device_path);
    if (path.starts_with("/dev/")) {
        set_text(os_name, path);
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "PD%u", device.physical_drive_number);
    set_text(os_name, text);
}

void mark_end_device(target_list& targets) {
    TRACE_ENTER_EXIT();
    for_each_device_concurrently(targets, [](vdx_dev& device, std::uint32_t i) {
        if (enclosure_of(device)) {
            CONSOLE_PRINT(kVerbosityDebug, "skip device %s\n", device.name);
            return;
        }
        CONSOLE_PRINT(kVerbosityDebug, "mark device %s\n", device.name);
        auto record = std::make_unique<enclosure_target>();
        record->bus = -1;
        set_text(record->name, text_of(device.name));
        end_device_os_name(device, record->os_name);
        const std::string_view os_name = text_of(record->os_name);
        const bool probeable = os_name.find("/dev/sd") != std::string_view::npos ||
                               os_name.find("/dev/nvme") != std::string_view::npos ||
                               os_name.find("PD") != std::string_view::npos || vdx_dev_is_adaptec(device) ||
                               vdx_dev_is_megaraid(device);
        if (probeable) {
            vdx_error error{};
            if (vdx_dev_probe(&error, &device) != 0) {
                CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to get device data for %s\n", record->os_name);
                trace_print_error(error);
            } else {
                std::array<std::uint8_t, 32> capacity{};
                std::uint64_t lba = 0;
                std::uint32_t block_length = 0;
                if (cmdxscsi_read_capacity16(&error, &device, capacity) == 0 &&
                    cmdxscsi_read_capacity_parse_returned_logical_block_address(&error, &lba, capacity) == 0 &&
                    cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(&error, &block_length, capacity) == 0) {
                    set_text(record->capacity, capacity_in_gigabytes(lba, block_length));
                } else {
                    set_text(record->capacity, "N/A");
                }
                read_serial(device, record->serial);
                char sas[32] = {};
                if (get_device_sas_address(device, sas, record->target_port) == 0)
                    set_text(record->sas_address, text_of(sas));
                record->bus = bus_number(device);
                // A disk that stopped answering was sent nothing more: what
                // was not read stays empty ("N/A" for the capacity).
                if (device.timed_out)
                    CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to get device data for %s\n", record->os_name);
                vdx_dev_close(&error, &device);
                CONSOLE_PRINT(kVerbosityDebug, "marked %u %s %s sn=%s bus=%d sas=%s cap=%s\n", i, record->name,
                              record->os_name, record->serial, record->bus, record->sas_address, record->capacity);
            }
        }
        record->marked = 1;
        vdx_dev_data_attach(&device, kEndDeviceTag, std::move(record));
    });
}

int get_device_sas_address(vdx_dev& device, std::span<char> out, std::span<char> target_port) {
    if (out.size() < 17) return 1;
    std::array<std::uint8_t, kVpd83BufferSize> page{};
    std::uint32_t transferred = 0;
    vdx_error error{};
    if (cmdxscsi_inquiry(&error, &device, true, kVpdDeviceIdentification, page, &transferred) != 0) return 1;
    if (!target_port.empty())
        set_text(target_port.data(), target_port.size(), sas_target_port_from_vpd83(cmdx::received(page, transferred)));
    const std::string address = sas_address_from_vpd83(cmdx::received(page, transferred));
    if (address.empty()) return 1;
    set_text(out.data(), out.size(), address);
    return 0;
}

int bus_number(const vdx_dev& device) { return vdx_dev_bus_number(device); }

int get_iom_type(vdx_dev& device) {
    std::vector<std::uint8_t> buffer(kPageBufferSize);
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageStringIn, buffer);
    if (!page.ok()) return kIomUnknown;
    // Bytes not transferred show as 00h.
    auto byte = [&](std::size_t at) { return at < page.bytes.size() ? page.bytes[at] : 0; };
    CONSOLE_PRINT(kVerbosityDebug, "get_iom_type buffer[36h]=%02Xh, [37h]=%02Xh - xferred_size=%Xh\n", byte(0x36),
                  byte(0x37), page.transferred);
    return iom_type_from_page4(page.bytes);
}

bool windows_adaptec_present() {
    const bool present = vdx_adaptec_present();
    if (present) CONSOLE_PRINT(kVerbosityDebug, "Adaptec controller present\n");
    return present;
}

void read_firmware_from_page3(vdx_dev& device, enclosure_target& target) {
    std::vector<std::uint8_t> buffer(kPageBufferSize);
    vdx_error error{};
    const ses_page page = ses_read_page(&error, &device, kSesPageHelpText, buffer);
    switch (page.status) {
        case ses_read_status::failed:
            set_text(target.firmware, "N/A");
            return;
        case ses_read_status::other_page:
            set_text(target.firmware, "");
            return;
        case ses_read_status::read:
            set_text(target.firmware, firmware_from_page3(page.bytes));
            return;
    }
}

}  // namespace enctl
