// Request layouts of the Windows storage stack and of the miniport driver
// interfaces, as byte offsets. The SDK structures the requests are built on
// are pinned to those offsets here, so that a header that disagrees stops the
// build; the driver interfaces without SDK structures (CSMI, Intel RST and
// RSTe, firmware request blocks) are written by offset.
#pragma once

#include <windows.h>
#include <ntddscsi.h>
#include <winioctl.h>
#include <usbioctl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "vdx/vdx.h"

namespace enctl::win_layout {

// Little-endian stores and loads at an offset of a request buffer.
inline void put8(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) { b[at] = static_cast<std::uint8_t>(v); }
inline void put16(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}
inline void put64(std::span<std::uint8_t> b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v));
    put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint32_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8);
}
inline std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return get16(b, at) | (get16(b, at + 2) << 16);
}

// ---------------------------------------------------------------------------
// Control codes.
inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;
inline constexpr std::uint32_t kIoctlScsiMiniport = 0x4D008;
inline constexpr std::uint32_t kIoctlScsiGetAddress = 0x41018;
inline constexpr std::uint32_t kIoctlAtaPassThrough = 0x4D02C;
inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
inline constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;
inline constexpr std::uint32_t kIoctlStorageProtocolCommand = 0x2DD3C0;
inline constexpr std::uint32_t kIoctlStorageSetTemperatureThreshold = 0x2DD200;
inline constexpr std::uint32_t kIoctlStorageFirmwareGetInfo = 0x2D1C00;
inline constexpr std::uint32_t kIoctlStorageFirmwareDownload = 0x2DDC04;
inline constexpr std::uint32_t kIoctlStorageFirmwareActivate = 0x2DDC08;
inline constexpr std::uint32_t kIoctlUsbGetHubInformationEx = 0x220454;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformation = 0x22040C;
inline constexpr std::uint32_t kIoctlUsbGetDescriptorFromNodeConnection = 0x220410;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = 0x220414;
static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);
static_assert(IOCTL_SCSI_MINIPORT == kIoctlScsiMiniport);
static_assert(IOCTL_SCSI_GET_ADDRESS == kIoctlScsiGetAddress);
static_assert(IOCTL_ATA_PASS_THROUGH == kIoctlAtaPassThrough);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == kIoctlStorageGetDeviceNumber);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == kIoctlStorageQueryProperty);
static_assert(IOCTL_STORAGE_PROTOCOL_COMMAND == kIoctlStorageProtocolCommand);
static_assert(IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD == kIoctlStorageSetTemperatureThreshold);
static_assert(IOCTL_STORAGE_FIRMWARE_GET_INFO == kIoctlStorageFirmwareGetInfo);
static_assert(IOCTL_STORAGE_FIRMWARE_DOWNLOAD == kIoctlStorageFirmwareDownload);
static_assert(IOCTL_STORAGE_FIRMWARE_ACTIVATE == kIoctlStorageFirmwareActivate);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION == kIoctlUsbGetNodeConnectionInformation);
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION == kIoctlUsbGetDescriptorFromNodeConnection);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_NAME == kIoctlUsbGetNodeConnectionName);

// ---------------------------------------------------------------------------
// SCSI_PASS_THROUGH (64-bit layout) with its 32-byte sense area, data after.
inline constexpr std::size_t kSptSize = 56;
inline constexpr std::size_t kSptSenseOffset = 56;
inline constexpr std::size_t kSptSenseSize = 32;
inline constexpr std::size_t kSptDataOffset = 88;
static_assert(sizeof(SCSI_PASS_THROUGH) == kSptSize);
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == 2);
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == 6);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == 7);
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 36);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24);

// SRB_IO_CONTROL, the header of every miniport request.
inline constexpr std::size_t kSrbSize = 28;
static_assert(sizeof(SRB_IO_CONTROL) == kSrbSize);
static_assert(offsetof(SRB_IO_CONTROL, Signature) == 4);
static_assert(offsetof(SRB_IO_CONTROL, Timeout) == 12);
static_assert(offsetof(SRB_IO_CONTROL, ControlCode) == 16);
static_assert(offsetof(SRB_IO_CONTROL, ReturnCode) == 20);
static_assert(offsetof(SRB_IO_CONTROL, Length) == 24);
inline constexpr std::size_t kSrbReturnCode = 20;

// Writes an SRB_IO_CONTROL at the start of `b`: header length 28, the
// signature (up to 8 bytes), time-out, control code, length = size - 28.
inline void put_srb(std::span<std::uint8_t> b, const char* signature, std::uint32_t timeout,
                    std::uint32_t control_code) {
    put32(b, 0, kSrbSize);
    std::memcpy(b.data() + 4, signature, std::strlen(signature) < 8 ? std::strlen(signature) : 8);
    put32(b, 12, timeout);
    put32(b, 16, control_code);
    put32(b, 24, static_cast<std::uint32_t>(b.size() - kSrbSize));
}

// FIRMWARE_REQUEST_BLOCK (24 bytes): version, size, function, flags,
// data buffer offset, data buffer length.
inline constexpr std::size_t kFirmwareRequestBlockSize = 24;
inline constexpr std::uint32_t kIoctlScsiMiniportFirmware = 0x1B0780;
inline constexpr std::uint32_t kFirmwareFunctionGetInfo = 1;
inline constexpr std::uint32_t kFirmwareFunctionDownload = 2;
inline constexpr std::uint32_t kFirmwareFunctionActivate = 3;
inline void put_firmware_request_block(std::span<std::uint8_t> b, std::size_t at, std::uint32_t function,
                                       std::uint32_t flags, std::uint32_t data_offset) {
    put32(b, at + 0, 1);
    put32(b, at + 4, kFirmwareRequestBlockSize);
    put32(b, at + 8, function);
    put32(b, at + 12, flags);
    put32(b, at + 16, data_offset);
    put32(b, at + 20, static_cast<std::uint32_t>(b.size() - data_offset));
}

// ATA_PASS_THROUGH_EX (64-bit layout), data after it.
inline constexpr std::size_t kAptSize = 48;
static_assert(sizeof(ATA_PASS_THROUGH_EX) == kAptSize);
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == 2);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == 8);
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == 12);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == 24);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == 32);
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == 40);

// STORAGE_PROPERTY_QUERY with STORAGE_PROTOCOL_SPECIFIC_DATA: 48 bytes.
inline constexpr std::size_t kProtocolQuerySize = 48;
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == 8);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == 40);
// Offsets within the 48-byte query (the protocol data starts at 8).
inline constexpr std::size_t kQueryProtocolType = 8, kQueryDataType = 12, kQueryRequestValue = 16,
                             kQuerySubValue = 20, kQueryDataOffset = 24, kQueryDataLength = 28,
                             kQuerySubValue2 = 36, kQuerySubValue3 = 40, kQuerySubValue4 = 44;
// FixedProtocolReturnData in the answer (STORAGE_PROTOCOL_DATA_DESCRIPTOR).
inline constexpr std::size_t kAnswerFixedReturnData = 32;
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType) == kQueryDataType);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue) == kQueryRequestValue);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue) == kQuerySubValue);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == kQueryDataOffset);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == kQueryDataLength);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue2) == kQuerySubValue2);
static_assert(8 + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4) == kQuerySubValue4);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) +
                  offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, FixedProtocolReturnData) == kAnswerFixedReturnData);

// STORAGE_PROTOCOL_COMMAND (not declared by the mingw-w64 headers), with
// its 64-byte command at 80.
struct storage_protocol_command {
    DWORD Version, Length, ProtocolType, Flags, ReturnStatus, ErrorCode, CommandLength, ErrorInfoLength,
        DataToDeviceTransferLength, DataFromDeviceTransferLength, TimeOutValue, ErrorInfoOffset,
        DataToDeviceBufferOffset, DataFromDeviceBufferOffset, CommandSpecific, Reserved0, FixedProtocolReturnData,
        Reserved1[3];
    BYTE Command[4];
};
static_assert(sizeof(storage_protocol_command) == 84);
inline constexpr std::size_t kProtocolCommandHeader = 84;
inline constexpr std::size_t kProtocolCommandOffset = 80;
inline constexpr std::size_t kProtocolErrorInfoOffset = 144;
inline constexpr std::size_t kProtocolDataOffset = 208;
static_assert(offsetof(storage_protocol_command, ReturnStatus) == 16);
static_assert(offsetof(storage_protocol_command, CommandLength) == 24);
static_assert(offsetof(storage_protocol_command, DataToDeviceTransferLength) == 32);
static_assert(offsetof(storage_protocol_command, DataFromDeviceTransferLength) == 36);
static_assert(offsetof(storage_protocol_command, TimeOutValue) == 40);
static_assert(offsetof(storage_protocol_command, ErrorInfoOffset) == 44);
static_assert(offsetof(storage_protocol_command, DataToDeviceBufferOffset) == 48);
static_assert(offsetof(storage_protocol_command, DataFromDeviceBufferOffset) == 52);
static_assert(offsetof(storage_protocol_command, CommandSpecific) == 56);
static_assert(offsetof(storage_protocol_command, FixedProtocolReturnData) == 64);
static_assert(offsetof(storage_protocol_command, Command) == kProtocolCommandOffset);

// STORAGE_TEMPERATURE_THRESHOLD (not declared by the mingw-w64 headers).
struct storage_temperature_threshold {
    DWORD Version, Size;
    WORD Flags, Index;
    SHORT Threshold;
    BOOLEAN OverThreshold;
    BYTE Reserved;
};
static_assert(sizeof(storage_temperature_threshold) == 16);
static_assert(offsetof(storage_temperature_threshold, Flags) == 8);
static_assert(offsetof(storage_temperature_threshold, Index) == 10);
static_assert(offsetof(storage_temperature_threshold, Threshold) == 12);
static_assert(offsetof(storage_temperature_threshold, OverThreshold) == 14);
inline constexpr std::uint32_t kTemperatureThresholdAdapterRequest = 1;

// The NVMe pass-through of the maker's driver and of Intel RSTe ("NvmeMini",
// "NvmeRAID"): command at 52, completion at 116, direction 132, queue 136,
// data length 140, metadata length 144, return length 148, data at 152.
inline constexpr std::size_t kNvmeMiniCommand = 52;
inline constexpr std::size_t kNvmeMiniCompletion = 116;
inline constexpr std::size_t kNvmeMiniDirection = 132;
inline constexpr std::size_t kNvmeMiniQueue = 136;
inline constexpr std::size_t kNvmeMiniDataLength = 140;
inline constexpr std::size_t kNvmeMiniReturnLength = 148;
inline constexpr std::size_t kNvmeMiniData = 152;

// The Intel RST NVMe pass-through ("IntelNvm"): version 28, address 29-31,
// command at 32, completion at 97, data offset 116, length 120, data at 164.
inline constexpr std::size_t kIntelNvmCommand = 32;
inline constexpr std::size_t kIntelNvmCompletion = 97;
inline constexpr std::size_t kIntelNvmData = 164;

// A structure stored at an offset of a request buffer, and loaded back; the
// caller has sized the buffer to hold it.
template <class T>
inline void store(std::span<std::uint8_t> b, std::size_t at, const T& value) {
    std::memcpy(b.data() + at, &value, sizeof value);
}
template <class T>
inline T load(std::span<const std::uint8_t> b, std::size_t at) {
    T value;
    std::memcpy(&value, b.data() + at, sizeof value);
    return value;
}

// ---------------------------------------------------------------------------
// CSMI, the management interface of SAS HBAs and RAID controllers: miniport
// requests on a storage port "\\.\Scsi%u:", an SRB_IO_CONTROL first, the
// ReturnCode checked after the call (0 = success).
inline constexpr std::uint32_t kCsmiTimeout = 60;
inline constexpr std::uint32_t kCcCsmiSasGetDriverInfo = 1;
inline constexpr std::uint32_t kCcCsmiSasGetRaidInfo = 10;
inline constexpr std::uint32_t kCcCsmiSasGetRaidConfig = 11;
inline constexpr std::uint32_t kCcCsmiSasGetPhyInfo = 20;
inline constexpr std::uint32_t kCcCsmiSasStpPassthru = 25;
inline constexpr std::uint8_t kCsmiSasEndDevice = 0x10;
// Phy and port identifiers that leave the routing to the destination SAS
// address (use the port identifier; ignore the port).
inline constexpr std::uint8_t kCsmiSasUsePortIdentifier = 0xFF;
inline constexpr std::uint8_t kCsmiSasIgnorePort = 0xFF;
inline constexpr std::size_t kCsmiMaxPhys = 32;

struct csmi_sas_driver_info_buffer {
    SRB_IO_CONTROL header;
    std::uint8_t name[81], description[81];
    std::uint16_t major_revision, minor_revision, build_revision, release_revision, csmi_major_revision,
        csmi_minor_revision;
};
static_assert(sizeof(csmi_sas_driver_info_buffer) == 204);

struct csmi_sas_identify {
    std::uint8_t device_type, restricted, initiator_port_protocol, target_port_protocol;
    std::uint8_t restricted2[8];
    std::uint8_t sas_address[8];
    std::uint8_t phy_identifier, signal_class, reserved[2];
};
static_assert(sizeof(csmi_sas_identify) == 24);
static_assert(offsetof(csmi_sas_identify, sas_address) == 12);
static_assert(offsetof(csmi_sas_identify, phy_identifier) == 20);

struct csmi_sas_phy_entity {
    csmi_sas_identify identify;
    std::uint8_t port_identifier, negotiated_link_rate, minimum_link_rate, maximum_link_rate, phy_change_count,
        auto_discover, phy_features, reserved;
    csmi_sas_identify attached;
    std::uint8_t reserved2[8];
};
static_assert(sizeof(csmi_sas_phy_entity) == 64);
static_assert(offsetof(csmi_sas_phy_entity, port_identifier) == 24);
static_assert(offsetof(csmi_sas_phy_entity, attached) == 32);

struct csmi_sas_phy_info_buffer {
    SRB_IO_CONTROL header;
    std::uint8_t number_of_phys, reserved[3];
    csmi_sas_phy_entity phy[kCsmiMaxPhys];
};
static_assert(sizeof(csmi_sas_phy_info_buffer) == 2080);
static_assert(offsetof(csmi_sas_phy_info_buffer, phy) == 32);

struct csmi_sas_raid_info_buffer {
    SRB_IO_CONTROL header;
    std::uint32_t number_of_raid_sets, max_drives_per_set;
    std::uint8_t reserved[92];
};
static_assert(sizeof(csmi_sas_raid_info_buffer) == 128);

// The RAID configuration: this header, then one entry per drive of the set.
// The request is sized 172 bytes plus one entry per drive of the largest set.
struct csmi_sas_raid_config_header {
    SRB_IO_CONTROL header;
    std::uint32_t raid_set_index, capacity, stripe_size;
    std::uint8_t raid_type, status, information, drive_count;
    std::uint8_t reserved[20];
};
static_assert(sizeof(csmi_sas_raid_config_header) == 64);
static_assert(offsetof(csmi_sas_raid_config_header, raid_set_index) == 28);
static_assert(offsetof(csmi_sas_raid_config_header, drive_count) == 43);
inline constexpr std::size_t kCsmiRaidConfigSize = 172;

struct csmi_sas_raid_drives {
    std::uint8_t model[40], firmware[8], serial_number[40], sas_address[8], sas_lun[8];
    std::uint8_t drive_status, drive_usage;
    std::uint16_t block_size;
    std::uint8_t drive_type, reserved[15];
    std::uint32_t drive_index;
    std::uint32_t total_user_blocks[2];
};
static_assert(sizeof(csmi_sas_raid_drives) == 136);
static_assert(offsetof(csmi_sas_raid_drives, sas_address) == 88);

// STP pass-through: the request and its returned status, data after them.
struct csmi_sas_stp_passthru_buffer {
    SRB_IO_CONTROL header;
    std::uint8_t phy_identifier, port_identifier, connection_rate, reserved;
    std::uint8_t destination_sas_address[8];
    std::uint8_t reserved2[4];
    std::uint8_t command_fis[20];
    std::uint32_t flags, data_length;
    std::uint8_t connection_status, reserved3[3];
    std::uint8_t status_fis[20];
    std::uint32_t scr[16];
    std::uint32_t data_bytes;
};
inline constexpr std::size_t kCsmiStpSize = 164;
static_assert(sizeof(csmi_sas_stp_passthru_buffer) == kCsmiStpSize);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, phy_identifier) == 28);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, destination_sas_address) == 32);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, command_fis) == 44);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, flags) == 64);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, data_length) == 68);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, status_fis) == 76);
static_assert(offsetof(csmi_sas_stp_passthru_buffer, data_bytes) == 160);
// STP flags.
inline constexpr std::uint32_t kCsmiStpRead = 0x01, kCsmiStpWrite = 0x02, kCsmiStpUnspecified = 0x04,
                               kCsmiStpPio = 0x10, kCsmiStpDma = 0x20, kCsmiStpDmaQueued = 0x80,
                               kCsmiStpExecuteDiag = 0x100, kCsmiStpResetDevice = 0x200;

// ---------------------------------------------------------------------------
// The Intel RSTe driver's enumeration requests ("NvmeRAID"): counts, RAID
// volumes with their members, pass-through and spare disks. The driver
// answers by the call's own result; the ReturnCode is not looked at.
inline constexpr std::uint32_t kRsteTimeout = 40;
inline constexpr std::uint32_t kRsteVolumeCount = 0xE0002014;
inline constexpr std::uint32_t kRsteVolumeInfo = 0xE0002018;
inline constexpr std::uint32_t kRsteVolumeConfig = 0xE000201C;
inline constexpr std::uint32_t kRsteSpareCount = 0xE0002020;
inline constexpr std::uint32_t kRsteSpareInfo = 0xE0002024;
inline constexpr std::uint32_t kRstePassthroughCount = 0xE0002028;
inline constexpr std::uint32_t kRstePassthroughInfo = 0xE000202C;

struct rste_count_buffer {
    SRB_IO_CONTROL header;
    std::uint32_t count;
};
static_assert(sizeof(rste_count_buffer) == 32);

struct rste_volume_info_buffer {
    SRB_IO_CONTROL header;
    std::uint32_t volume_index;
    char raid_type[8], model[40], firmware[8], serial[40];
    std::uint32_t member_count;
};
static_assert(sizeof(rste_volume_info_buffer) == 132);
static_assert(offsetof(rste_volume_info_buffer, member_count) == 128);

// A volume's members: this header, then the entries.
struct rste_volume_config_header {
    SRB_IO_CONTROL header;
    std::uint32_t volume_index, returned_length;
};
static_assert(sizeof(rste_volume_config_header) == 36);

// Pass-through and spare disks: this header, then the entries.
struct rste_disk_list_header {
    SRB_IO_CONTROL header;
    std::uint32_t returned_length;
};
static_assert(sizeof(rste_disk_list_header) == 32);

struct rste_disk_entry {
    std::uint32_t disk_id;
    char model[40], firmware[8], serial[40];
    std::uint8_t reserved[16];
};
static_assert(sizeof(rste_disk_entry) == 108);

// ---------------------------------------------------------------------------
// USB hubs.
static_assert(IOCTL_USB_GET_HUB_INFORMATION_EX == kIoctlUsbGetHubInformationEx);
static_assert(sizeof(USB_HUB_INFORMATION_EX) == 77);
static_assert(offsetof(USB_HUB_INFORMATION_EX, HighestPortNumber) == 4);
inline constexpr std::size_t kUsbNodeConnectionInformationSize = 1024;
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == 35);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceDescriptor) == 4);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceIsHub) == 24);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus) == 31);
static_assert(offsetof(USB_DEVICE_DESCRIPTOR, idVendor) == 8);
static_assert(offsetof(USB_DEVICE_DESCRIPTOR, iSerialNumber) == 16);
// A string descriptor request: the 12-byte USB_DESCRIPTOR_REQUEST, then room
// for the descriptor.
inline constexpr std::size_t kUsbDescriptorRequestSize = 1024;
inline constexpr std::size_t kUsbDescriptorData = 12;
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == kUsbDescriptorData);
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wValue) == 6);
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wLength) == 10);
inline constexpr std::uint8_t kUsbStringDescriptorType = 3;
// USB_NODE_CONNECTION_NAME: its fixed part (10 bytes) learns the size.
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == 10);
static_assert(offsetof(USB_NODE_CONNECTION_NAME, ActualLength) == 4);
static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) == 8);

// ---------------------------------------------------------------------------
// Firmware structures of the storage stack (the mingw-w64 headers declare
// none of them). The variable-length image or slot table follows each header.

struct firmware_request_block {
    ULONG Version, Size, Function, Flags, DataBufferOffset, DataBufferLength;
};
static_assert(sizeof(firmware_request_block) == kFirmwareRequestBlockSize);
static_assert(offsetof(firmware_request_block, Function) == 8);
static_assert(offsetof(firmware_request_block, DataBufferLength) == 20);

struct storage_firmware_activate {
    ULONG Version, Size;
    UCHAR SlotToActivate, Reserved0[3];
};
static_assert(sizeof(storage_firmware_activate) == 12);
static_assert(offsetof(storage_firmware_activate, SlotToActivate) == 8);

struct storage_firmware_download {
    ULONG Version, Size;
    ULONGLONG Offset, BufferSize;
};
static_assert(sizeof(storage_firmware_download) == 24);
static_assert(offsetof(storage_firmware_download, Offset) == 8);
static_assert(offsetof(storage_firmware_download, BufferSize) == 16);

struct storage_firmware_download_v2 {
    ULONG Version, Size;
    ULONGLONG Offset, BufferSize;
    UCHAR Slot, Reserved[3];
    ULONG ImageSize;
};
static_assert(sizeof(storage_firmware_download_v2) == 32);
static_assert(offsetof(storage_firmware_download_v2, Slot) == 24);

struct storage_firmware_slot_info_v2 {
    UCHAR SlotNumber;
    BOOLEAN ReadOnly;
    UCHAR Reserved[6];
    UCHAR Revision[16];
};
static_assert(sizeof(storage_firmware_slot_info_v2) == 24);

struct storage_firmware_info_v2 {
    ULONG Version, Size;
    BOOLEAN UpgradeSupport;
    UCHAR SlotCount, ActiveSlot, PendingActivateSlot;
    BOOLEAN FirmwareShared;
    UCHAR Reserved[3];
    ULONG ImagePayloadAlignment, ImagePayloadMaxSize;
    storage_firmware_slot_info_v2 Slot[32];
};
static_assert(offsetof(storage_firmware_info_v2, SlotCount) == 9);
static_assert(offsetof(storage_firmware_info_v2, ActiveSlot) == 10);
static_assert(offsetof(storage_firmware_info_v2, FirmwareShared) == 12);
static_assert(offsetof(storage_firmware_info_v2, ImagePayloadMaxSize) == 20);
static_assert(offsetof(storage_firmware_info_v2, Slot) == 24);
static_assert(sizeof(storage_firmware_info_v2) == 792);

// IOCTL_STORAGE_FIRMWARE_GET_INFO, _DOWNLOAD and _ACTIVATE on a disk handle.
struct storage_hw_firmware_info_query {
    ULONG Version, Size, Flags, Reserved;
};
static_assert(sizeof(storage_hw_firmware_info_query) == 16);
inline constexpr std::size_t kHwFirmwareInfoSize = 56;
inline constexpr std::size_t kHwFirmwareInfoActiveSlot = 10;

struct storage_hw_firmware_download {
    ULONG Version, Size, Flags;
    UCHAR Slot, Reserved[3];
    ULONGLONG Offset, BufferSize;
    UCHAR ImageBuffer[1];
};
static_assert(sizeof(storage_hw_firmware_download) == 40);
static_assert(offsetof(storage_hw_firmware_download, Slot) == 12);
static_assert(offsetof(storage_hw_firmware_download, Offset) == 16);
static_assert(offsetof(storage_hw_firmware_download, BufferSize) == 24);
static_assert(offsetof(storage_hw_firmware_download, ImageBuffer) == 32);

struct storage_hw_firmware_activate {
    ULONG Version, Size, Flags;
    UCHAR Slot, Reserved0[3];
};
static_assert(sizeof(storage_hw_firmware_activate) == 16);
static_assert(offsetof(storage_hw_firmware_activate, Slot) == 12);

// ---------------------------------------------------------------------------
// Intel RST miniport requests on the RST storage port. Both carry, after the
// SRB_IO_CONTROL, a version byte and the drive's path id, target id and
// logical unit.

#pragma pack(push, 1)
// NVMe pass-through ("IntelNvm"): the 64-byte command at 32, the completion
// entry unaligned at 97, the data offset and length at 116 and 120, the data
// at 164.
struct intel_nvm_pass_through {
    SRB_IO_CONTROL Header;
    UCHAR Version, PathId, TargetId, Lun;
    ULONG Command[16];
    UCHAR Reserved0;
    ULONG Completion[4];
    UCHAR Reserved1[3];
    ULONG DataOffset, DataLength;
    UCHAR Reserved2[40];
};
#pragma pack(pop)
static_assert(sizeof(intel_nvm_pass_through) == 164);
static_assert(offsetof(intel_nvm_pass_through, Version) == 28);
static_assert(offsetof(intel_nvm_pass_through, PathId) == 29);
static_assert(offsetof(intel_nvm_pass_through, Lun) == 31);
static_assert(offsetof(intel_nvm_pass_through, Command) == 32);
static_assert(offsetof(intel_nvm_pass_through, Completion) == 97);
static_assert(offsetof(intel_nvm_pass_through, DataOffset) == 116);
static_assert(offsetof(intel_nvm_pass_through, DataLength) == 120);
inline constexpr std::uint32_t kIntelNvmControlCode = 0xF0002808;

// Firmware requests ("IntelFw "): the request block at 32, its payload at 56.
struct intel_fw_request {
    SRB_IO_CONTROL Header;
    UCHAR Version, PathId, TargetId, Lun;
    firmware_request_block Block;
};
static_assert(sizeof(intel_fw_request) == 56);
static_assert(offsetof(intel_fw_request, Block) == 32);
inline constexpr std::size_t kIntelFwPayload = 56;
inline constexpr std::uint32_t kIntelFwControlCode = 0xF0000040;
inline constexpr std::size_t kIntelFwInfoSize = kIntelFwPayload + sizeof(storage_firmware_info_v2);
static_assert(kIntelFwInfoSize == 848);

// Writes the SRB_IO_CONTROL, the address and the request block of an Intel
// firmware request filling all of `b`; the payload at 56 is the caller's.
inline void put_intel_fw_request(std::span<std::uint8_t> b, std::uint32_t timeout, std::uint8_t path,
                                 std::uint8_t target, std::uint8_t lun, std::uint32_t function,
                                 std::uint32_t flags) {
    put_srb(b, "IntelFw ", timeout, kIntelFwControlCode);
    put8(b, offsetof(intel_fw_request, Version), 1);
    put8(b, offsetof(intel_fw_request, PathId), path);
    put8(b, offsetof(intel_fw_request, TargetId), target);
    put8(b, offsetof(intel_fw_request, Lun), lun);
    put_firmware_request_block(b, offsetof(intel_fw_request, Block), function, flags, kIntelFwPayload);
}

// ---------------------------------------------------------------------------
// The NVMe miniport pass-through of the maker's driver ("NvmeMini") and of
// Intel RSTe ("NvmeRAID").
struct nvme_miniport_pass_through {
    SRB_IO_CONTROL Header;
    ULONG VendorSpecific[6];
    ULONG Command[16];
    ULONG Completion[4];
    ULONG Direction, QueueId, DataBufferLen, MetaDataLen, ReturnBufferLen;
};
static_assert(sizeof(nvme_miniport_pass_through) == 152);
static_assert(offsetof(nvme_miniport_pass_through, Command) == kNvmeMiniCommand);
static_assert(offsetof(nvme_miniport_pass_through, Completion) == kNvmeMiniCompletion);
static_assert(offsetof(nvme_miniport_pass_through, Direction) == kNvmeMiniDirection);
static_assert(offsetof(nvme_miniport_pass_through, QueueId) == kNvmeMiniQueue);
static_assert(offsetof(nvme_miniport_pass_through, DataBufferLen) == kNvmeMiniDataLength);
static_assert(offsetof(nvme_miniport_pass_through, MetaDataLen) == 144);
static_assert(offsetof(nvme_miniport_pass_through, ReturnBufferLen) == kNvmeMiniReturnLength);
inline constexpr std::uint32_t kNvmeMiniControlCode = 0xE0002000;

// Writes an NVMe command (dword 0 opcode, dword 1 namespace id, dwords 10-15)
// as 64 bytes at `at`.
inline void put_nvme_command(std::span<std::uint8_t> b, std::size_t at, const vdx_nvme_cmd& cmd) {
    put32(b, at, cmd.opcode);
    put32(b, at + 4, cmd.nsid);
    const std::uint32_t dwords[] = {cmd.cdw10, cmd.cdw11, cmd.cdw12, cmd.cdw13, cmd.cdw14, cmd.cdw15};
    for (std::size_t i = 0; i < 6; ++i) put32(b, at + 40 + 4 * i, dwords[i]);
}

// Writes the header, the command and the transfer fields of an NVMe miniport
// pass-through filling all of `b` (the data goes at 152).
inline void put_nvme_miniport(std::span<std::uint8_t> b, const char* signature, std::uint32_t timeout,
                              const vdx_nvme_cmd& cmd, std::uint32_t direction, std::uint32_t data_length) {
    using nmp = nvme_miniport_pass_through;
    put_srb(b, signature, timeout, kNvmeMiniControlCode);
    put_nvme_command(b, offsetof(nmp, Command), cmd);
    put32(b, offsetof(nmp, Direction), direction);
    put32(b, offsetof(nmp, QueueId), cmd.queue);
    put32(b, offsetof(nmp, DataBufferLen), data_length);
    put32(b, offsetof(nmp, ReturnBufferLen), static_cast<std::uint32_t>(b.size()));
}

// The payloads of the firmware requests: STORAGE_FIRMWARE_ACTIVATE for a slot,
// STORAGE_FIRMWARE_DOWNLOAD_V2 of an image segment (slot FFh: the driver's
// choice) with the image right after it.
inline void put_firmware_activate(std::span<std::uint8_t> b, std::size_t at, std::uint8_t slot) {
    put32(b, at + offsetof(storage_firmware_activate, Version), 1);
    put32(b, at + offsetof(storage_firmware_activate, Size), sizeof(storage_firmware_activate));
    put8(b, at + offsetof(storage_firmware_activate, SlotToActivate), slot);
}
inline void put_firmware_download_v2(std::span<std::uint8_t> b, std::size_t at, std::uint64_t offset,
                                     std::span<const std::uint8_t> image) {
    put32(b, at + offsetof(storage_firmware_download_v2, Version), 2);
    put32(b, at + offsetof(storage_firmware_download_v2, Size), sizeof(storage_firmware_download_v2));
    put64(b, at + offsetof(storage_firmware_download_v2, Offset), offset);
    put64(b, at + offsetof(storage_firmware_download_v2, BufferSize), image.size());
    put8(b, at + offsetof(storage_firmware_download_v2, Slot), 0xFF);
    if (!image.empty()) std::memcpy(b.data() + at + sizeof(storage_firmware_download_v2), image.data(), image.size());
}

}  // namespace enctl::win_layout
