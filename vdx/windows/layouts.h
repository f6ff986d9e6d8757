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

// CSMI STP pass-through.
inline constexpr std::size_t kCsmiStpSize = 164;


}  // namespace enctl::win_layout
