// DOWNLOAD MICROCODE to ATA drives whose driver does not pass it through:
// behind Intel RST as the driver's firmware requests on the RST storage port,
// behind the inbox AHCI driver of Windows 10 as the storage stack's firmware
// requests on the disk. Both download into, and activate, the drive's active
// slot; the ATA status and error of the command stay as they were.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "basekit/text.h"
#include "basekit/trace.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

namespace {

constexpr char kIntelSource[] = "..\\vdx\\windows\\intel_fw_common";
constexpr char kHwSource[] = "..\\vdx\\windows\\win_fw_common";
constexpr char kAtaSource[] = "..\\vdx\\windows\\vdx_ata_windows";
// The Intel driver's return code for an activation that waits for a reset.
constexpr std::uint32_t kIntelFwActivatePending = 0x20;

// The byte offset of a segment: the buffer offset in LBA bits 8-23 counts
// 512-byte blocks.
std::uint64_t segment_offset(const vdx_ata_cmd& cmd) { return ((cmd.lba >> 8) & 0xFFFF) * 512; }

std::span<const std::uint8_t> image_of(const vdx_ata_cmd& cmd) { return {cmd.data, cmd.data ? cmd.length : 0}; }

// An Intel firmware request for the drive at the record's SCSI address, with
// room for `payload` bytes at 56.
std::vector<std::uint8_t> intel_fw_request(const vdx_dev& dev, std::size_t payload, std::uint32_t timeout,
                                           std::uint32_t function) {
    std::vector<std::uint8_t> request(wl::kIntelFwPayload + payload, 0);
    wl::put_intel_fw_request(request, timeout, dev.scsi_address.path, dev.scsi_address.target,
                             dev.scsi_address.lun, function, 0);
    return request;
}

void trace_intel_fw_info(std::span<const std::uint8_t> info) {
    using fi = wl::storage_firmware_info_v2;
    using si = wl::storage_firmware_slot_info_v2;
    trace_print("shared fw: %u\n", unsigned{info[offsetof(fi, FirmwareShared)]});
    trace_print("active slot: %u\n", unsigned{info[offsetof(fi, ActiveSlot)]});
    trace_print("pending active slot: %u\n", unsigned{info[offsetof(fi, PendingActivateSlot)]});
    trace_print("alignment: %u\n", wl::get32(info, offsetof(fi, ImagePayloadAlignment)));
    trace_print("max: %u\n", wl::get32(info, offsetof(fi, ImagePayloadMaxSize)));
    const std::size_t slots = std::min<std::size_t>(info[offsetof(fi, SlotCount)], sizeof(fi::Slot) / sizeof(si));
    for (std::size_t i = 0; i < slots; ++i) {
        const std::uint8_t* slot = info.data() + offsetof(fi, Slot) + i * sizeof(si);
        const char* revision = reinterpret_cast<const char*>(slot + offsetof(si, Revision));
        const std::string text =
            printable_text(std::string_view(revision, strnlen(revision, sizeof(si::Revision))));
        trace_print("slot %u (%d): rev %s, ro %u\n", unsigned{slot[offsetof(si, SlotNumber)]}, static_cast<int>(i),
                    text.c_str(), unsigned{slot[offsetof(si, ReadOnly)]});
    }
}

// The active firmware slot as the Intel driver reports it (function 1).
int intel_fw_get_active_slot(vdx_error* error, vdx_dev* dev, std::uint8_t* slot) {
    TRACE_ENTER_EXIT();
    using fi = wl::storage_firmware_info_v2;
    std::vector<std::uint8_t> request = intel_fw_request(*dev, sizeof(fi), 30, wl::kFirmwareFunctionGetInfo);
    wl::put32(request, wl::kIntelFwPayload + offsetof(fi, Version), 2);
    wl::put32(request, wl::kIntelFwPayload + offsetof(fi, Size), offsetof(fi, Slot));
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->second_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrParseOrCheckCondition, os_error, kIntelSource, "intel_fw_get_active_slot",
                             __LINE__, "failed to capture firmware info structure v2");
    const std::uint32_t code = wl::get32(request, wl::kSrbReturnCode);
    if (code != 0)
        return vdx_error_set(error, kErrParseOrCheckCondition, code, kIntelSource, "intel_fw_get_active_slot",
                             __LINE__, "failed to capture firmware info structure v2 - srb failed");
    const std::span<const std::uint8_t> info(request.data() + wl::kIntelFwPayload, sizeof(fi));
    if (g_trace_level >= kTraceDevice) trace_intel_fw_info(info);
    if (info[offsetof(fi, SlotCount)] == 0)
        return vdx_error_set(error, kErrParseOrCheckCondition, 0, kIntelSource, "intel_fw_get_active_slot",
                             __LINE__, "unable to find active firmware slot");
    *slot = info[offsetof(fi, ActiveSlot)];
    return vdx_error_clear(error);
}

// The Intel driver's answer to a download or activation: the call and its
// return code (an activation may also wait for a reset).
int intel_fw_send(vdx_error* error, vdx_dev* dev, std::vector<std::uint8_t>& request, bool activate) {
    const char* what = activate ? "activate" : "download";
    const char* function =
        activate ? "execute_intel_rst_firmware_activate" : "execute_intel_rst_firmware_download";
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->second_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error)) {
        TRACE_AT(kTraceDevice, "failed to execute intel fw %s\n", what);
        return vdx_error_set(error, kErrOsRequest, os_error, kIntelSource, function, activate ? 137 : 68,
                             "error executing IOCTL_SCSI_MINIPORT");
    }
    const std::uint32_t code = wl::get32(request, wl::kSrbReturnCode);
    if (code != 0 && !(activate && code == kIntelFwActivatePending))
        return vdx_error_set(error, kErrOsRequest, code, kIntelSource, function, __LINE__,
                             "SRB_IO_CONTROL return code %d on iRST firmware %s", static_cast<int>(code), what);
    return vdx_error_clear(error);
}

// The active slot as the storage stack reports it.
int storage_hw_get_active_slot(vdx_error* error, vdx_dev* dev, std::uint8_t* slot) {
    TRACE_ENTER_EXIT();
    std::uint8_t query[sizeof(wl::storage_hw_firmware_info_query)] = {};
    wl::put32(query, offsetof(wl::storage_hw_firmware_info_query, Version), sizeof query);
    wl::put32(query, offsetof(wl::storage_hw_firmware_info_query, Size), sizeof query);
    std::uint8_t info[wl::kHwFirmwareInfoSize] = {};
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageFirmwareGetInfo, query, info, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kHwSource, "storage_hw_get_active_slot", 29,
                             "IOCTL_STORAGE_FIRMWARE_GET_INFO return code %d", static_cast<int>(os_error));
    *slot = info[wl::kHwFirmwareInfoActiveSlot];
    return vdx_error_clear(error);
}

}  // namespace

int execute_intel_rst_firmware_download(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    std::uint8_t slot = 0;
    if (intel_fw_get_active_slot(error, dev, &slot) != 0) {
        TRACE_AT(kTraceDevice, "could not capture active slot for intel firmware API\n");
        return 1;
    }
    const auto image = image_of(*cmd);
    std::vector<std::uint8_t> request =
        intel_fw_request(*dev, sizeof(wl::storage_firmware_download_v2) + image.size(),
                         vdx_windows_seconds_down(cmd->timeout), wl::kFirmwareFunctionDownload);
    wl::put_firmware_download_v2(request, wl::kIntelFwPayload, segment_offset(*cmd), image);
    if (intel_fw_send(error, dev, request, false) != 0) return 1;
    if (intel_fw_get_active_slot(error, dev, &slot) != 0) return 1;
    TRACE_AT(kTraceDevice, "post download fw active slot %u\n", unsigned{slot});
    return 0;
}

int execute_intel_rst_firmware_activate(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    std::uint8_t slot = 0;
    if (intel_fw_get_active_slot(error, dev, &slot) != 0) return 1;
    TRACE_AT(kTraceDevice, "fw active slot %u\n", unsigned{slot});
    std::vector<std::uint8_t> request =
        intel_fw_request(*dev, sizeof(wl::storage_firmware_activate), vdx_windows_seconds_down(cmd->timeout),
                         wl::kFirmwareFunctionActivate);
    wl::put_firmware_activate(request, wl::kIntelFwPayload, slot);
    return intel_fw_send(error, dev, request, true);
}

int execute_storage_hw_firmware_download(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    using hd = wl::storage_hw_firmware_download;
    std::uint8_t slot = 0;
    if (storage_hw_get_active_slot(error, dev, &slot) != 0) {
        TRACE_AT(kTraceDevice, "could not capture active slot for STORAGE_HW_FIRMWARE_DOWNLOAD\n");
        return 1;
    }
    const auto image = image_of(*cmd);
    std::vector<std::uint8_t> request(sizeof(hd) + image.size(), 0);
    wl::put32(request, offsetof(hd, Version), sizeof(hd));
    wl::put32(request, offsetof(hd, Size), static_cast<std::uint32_t>(request.size()));
    wl::put8(request, offsetof(hd, Slot), slot);
    wl::put64(request, offsetof(hd, Offset), segment_offset(*cmd));
    wl::put64(request, offsetof(hd, BufferSize), image.size());
    if (!image.empty()) std::memcpy(request.data() + offsetof(hd, ImageBuffer), image.data(), image.size());
    if (g_trace_level >= kTraceRaw) {
        trace_print("Windows 10 STORAGE_HW_FIRMWARE_DOWNLOAD\n");
        trace_print("    Version: %u\n    Size: %u\n    Slot: %u\n    Offset: %llu\n    BufferSize: %llu\n",
                    wl::get32(request, offsetof(hd, Version)), wl::get32(request, offsetof(hd, Size)),
                    unsigned{slot}, static_cast<unsigned long long>(segment_offset(*cmd)),
                    static_cast<unsigned long long>(image.size()));
    }
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageFirmwareDownload, request, {}, nullptr, &os_error)) {
        TRACE_AT(kTraceDevice, "failed to execute storage fw download\n");
        return vdx_error_set(error, kErrOsRequest, os_error, kAtaSource, "execute_storage_hw_firmware_download",
                             199, "error executing IOCTL_STORAGE_FIRMWARE_DOWNLOAD");
    }
    return vdx_error_clear(error);
}

int execute_storage_hw_firmware_activate(vdx_error* error, vdx_dev* dev, vdx_ata_cmd*) {
    TRACE_ENTER_EXIT();
    using ha = wl::storage_hw_firmware_activate;
    std::uint8_t slot = 0;
    if (storage_hw_get_active_slot(error, dev, &slot) != 0) {
        TRACE_AT(kTraceDevice, "could not capture active slot for STORAGE_HW_FIRMWARE_ACTIVATE\n");
        return 1;
    }
    std::uint8_t request[sizeof(ha)] = {};
    wl::put32(request, offsetof(ha, Version), sizeof(ha));
    wl::put32(request, offsetof(ha, Size), sizeof(ha));
    wl::put8(request, offsetof(ha, Slot), slot);
    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlStorageFirmwareActivate, request, {}, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kAtaSource, "execute_storage_hw_firmware_activate",
                             255, "error executing IOCTL_STORAGE_FIRMWARE_ACTIVATE");
    return vdx_error_clear(error);
}

}  // namespace enctl
