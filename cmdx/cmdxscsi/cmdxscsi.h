// SCSI command set: CDB builders (pure functions filling a vdx_scsi_cmd),
// executors (build, send through vdx_scsi_execute, check), the vendor E6h
// reads, the response parsers and the check of a finished command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

// Time-outs of standard SCSI commands and of the vendor commands (E6h), ms.
extern std::uint32_t g_cmdxscsi_timeout_ms;
extern std::uint32_t g_cmdxscsi_vendor_timeout_ms;

inline constexpr std::uint8_t kScsiStatusGood = 0x00;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;
inline constexpr std::uint8_t kScsiStatusBusy = 0x08;

inline constexpr std::uint8_t kScsiOpInquiry = 0x12;
inline constexpr std::uint8_t kScsiOpModeSelect10 = 0x55;
inline constexpr std::uint8_t kScsiOpModeSense10 = 0x5A;
inline constexpr std::uint8_t kScsiOpServiceActionIn16 = 0x9E;
inline constexpr std::uint8_t kScsiOpReceiveDiagnostic = 0x1C;
inline constexpr std::uint8_t kScsiOpSendDiagnostic = 0x1D;
inline constexpr std::uint8_t kScsiOpVendorE6 = 0xE6;

// VPD pages read with INQUIRY.
inline constexpr std::uint8_t kVpdUnitSerialNumber = 0x80;
inline constexpr std::uint8_t kVpdDeviceIdentification = 0x83;
inline constexpr std::uint8_t kVpdProductName = 0xC1;  // the enclosure's product name at byte 5

// ---------------------------------------------------------------------------
// Builders. Each zeroes the command, then sets CDB, CDB length, buffer and
// transfer length, sense length 32, time-out and direction.

void cmdxscsi_build_inquiry(vdx_scsi_cmd* cmd, bool evpd, std::uint8_t page_code,
                            std::span<std::uint8_t> buffer);
void cmdxscsi_build_mode_select10(vdx_scsi_cmd* cmd, bool pf, bool rtd, bool sp,
                                  std::span<std::uint8_t> buffer);
void cmdxscsi_build_mode_sense10(vdx_scsi_cmd* cmd, bool llbaa, bool dbd, std::uint8_t page_control,
                                 std::uint8_t page_code, std::uint8_t subpage,
                                 std::span<std::uint8_t> buffer);
void cmdxscsi_build_read_capacity16(vdx_scsi_cmd* cmd, std::span<std::uint8_t> buffer);
// With `pcv` the page code is set (the program always asks for a page).
void cmdxscsi_build_receive_diagnostic(vdx_scsi_cmd* cmd, bool pcv, std::uint8_t page_code,
                                       std::span<std::uint8_t> buffer);
// Byte 1 bits of SEND DIAGNOSTIC.
struct send_diagnostic_bits {
    std::uint8_t self_test_code_low = 0;  // bit 5
    bool pf = true;                       // bit 4
    bool self_test = false;               // bit 2
    bool dev_offl = false;                // bit 1
    bool unit_offl = false;               // bit 0
};
void cmdxscsi_build_send_diagnostic(vdx_scsi_cmd* cmd, send_diagnostic_bits bits,
                                    std::span<std::uint8_t> parameter_list);
// Vendor read, short form (10 bytes) and long form (12 bytes).
void cmdxscsi_build_vendor_e6_read(vdx_scsi_cmd* cmd, std::uint8_t flags, std::uint8_t expander,
                                   std::uint8_t log_type, std::uint32_t byte_offset,
                                   std::span<std::uint8_t> buffer);
void cmdxscsi_build_vendor_e6_read_enhanced(vdx_scsi_cmd* cmd, std::uint8_t sub_operation,
                                            std::uint8_t expander, std::uint8_t log_type,
                                            std::uint8_t flag, std::span<std::uint8_t> buffer);

// ---------------------------------------------------------------------------
// Executors: 0 on success; the error record says why otherwise. Those with
// `transferred` set it to 0 first, then to the command's transferred count
// when the command was delivered; decoders read only that many bytes
// (cmdx::received).

int cmdxscsi_inquiry(vdx_error* error, vdx_dev* dev, bool evpd, std::uint8_t page_code,
                     std::span<std::uint8_t> buffer, std::uint32_t* transferred = nullptr);
int cmdxscsi_mode_select10(vdx_error* error, vdx_dev* dev, bool pf, bool rtd, bool sp,
                           std::span<std::uint8_t> buffer);
int cmdxscsi_mode_sense10(vdx_error* error, vdx_dev* dev, bool llbaa, bool dbd,
                          std::uint8_t page_control, std::uint8_t page_code, std::uint8_t subpage,
                          std::span<std::uint8_t> buffer, std::uint32_t* transferred = nullptr);
int cmdxscsi_read_capacity16(vdx_error* error, vdx_dev* dev, std::span<std::uint8_t> buffer);
// Always PCV = 1.
int cmdxscsi_receive_diagnostic(vdx_error* error, vdx_dev* dev, std::uint8_t page_code,
                                std::span<std::uint8_t> buffer, std::uint32_t* transferred);
// IOM configuration: MODE SENSE(10) DBD=1, page 20h, 512 bytes; stores byte 15
// of the mode page (response byte 23). 1 when page 20h did not come back.
int cmdxscsi_get_iom_config(vdx_error* error, vdx_dev* dev, std::uint8_t* config);
// Vendor reads; the buffer is zeroed first.
int vendor_e6_read(vdx_error* error, vdx_dev* dev, std::uint8_t flags, std::uint8_t expander,
                   std::uint8_t log_type, std::uint32_t byte_offset, std::span<std::uint8_t> buffer,
                   std::uint32_t* transferred);
int vendor_e6_read_enhanced(vdx_error* error, vdx_dev* dev, std::uint8_t sub_operation,
                            std::uint8_t expander, std::uint8_t log_type, std::uint8_t flag,
                            std::span<std::uint8_t> buffer, std::uint32_t* transferred);
// Sub-operations of the long E6h form.
inline constexpr std::uint8_t kE6ReadNextPiece = 2;
inline constexpr std::uint8_t kE6StartPreparing = 3;
inline constexpr std::uint8_t kE6ReadPreparedSize = 4;

// ---------------------------------------------------------------------------
// Check of a finished command: GOOD clears; CHECK CONDITION is kErrParseOrCheckCondition with
// the sense code (or, for ATA PASS-THROUGH with CK_COND, the ATA status
// decides); any other status is kErrDeviceStatus.
int cmdxscsi_check_error(vdx_error* error, const vdx_scsi_cmd& cmd);

// ---------------------------------------------------------------------------
// Response parsers: (error, output, bytes actually received). A short buffer
// is kErrParseOrCheckCondition; success clears the record.

int cmdxscsi_inquiry_parse_peripheral_type(vdx_error* error, std::uint8_t* type,
                                           std::span<const std::uint8_t> data);
int cmdxscsi_inquiry_parse_product_identification(vdx_error* error, std::span<char> out,
                                                  std::span<const std::uint8_t> data);
int cmdxscsi_inquiry_parse_product_revision(vdx_error* error, std::span<char> out,
                                            std::span<const std::uint8_t> data);
int cmdxscsi_inquiry_vpd80_parse_serial(vdx_error* error, std::span<char> out,
                                        std::span<const std::uint8_t> data);
int cmdxscsi_read_capacity_parse_returned_logical_block_address(vdx_error* error,
                                                                std::uint64_t* lba,
                                                                std::span<const std::uint8_t> data);
int cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(vdx_error* error,
                                                               std::uint32_t* length,
                                                               std::span<const std::uint8_t> data);

// The first NAA designator of logical-unit association (bytes 01h, 03h) of
// VPD page 83h as 16 upper-case hex digits; empty when the page is not 83h,
// its length (byte 3) is not above 4, or no such designator lies wholly
// inside both the page length and the bytes given.
std::string sas_address_from_vpd83(std::span<const std::uint8_t> page);
// The first SAS target port NAA designator (bytes 61h, 93h: the port through
// which the device answered) of VPD page 83h, under the same rules.
std::string sas_target_port_from_vpd83(std::span<const std::uint8_t> page);

// (last logical block address * logical block length + 500) / 10^9, as the
// decimal text of the whole gigabytes.
std::string capacity_in_gigabytes(std::uint64_t last_lba, std::uint32_t block_length);

// Next NUL-separated string of an SES page, from *offset on. The page ends at
// its length field (bytes 2-3) + 4 or at the end of `page`, whichever comes
// first. On return *offset points at the string's terminating NUL; a string
// that runs to the end is not returned. Always clears the record, returns 0.
int ses_parse_string(vdx_error* error, std::span<char> out, std::span<const std::uint8_t> page,
                     std::uint32_t* offset);

}  // namespace enctl
