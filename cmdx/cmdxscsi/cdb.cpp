// CDB builders: pure functions that fill a vdx_scsi_cmd.
#include <algorithm>
#include <cstring>

#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

std::uint32_t g_cmdxscsi_timeout_ms = kVdxScsiTimeoutMs;
std::uint32_t g_cmdxscsi_vendor_timeout_ms = kVdxScsiTimeoutMs;

namespace {

// Zeroes the command and sets what every builder sets. The transfer length is
// cut to what the CDB's length field can carry, so CDB and transfer agree.
std::uint8_t* begin(vdx_scsi_cmd* cmd, std::uint8_t opcode, std::uint32_t cdb_length,
                    std::span<std::uint8_t> buffer, std::uint32_t max_length, std::uint32_t direction,
                    std::uint32_t timeout) {
    std::memset(cmd, 0, sizeof *cmd);
    cmd->cdb[0] = opcode;
    cmd->cdb_length = cdb_length;
    cmd->data = buffer.empty() ? nullptr : buffer.data();
    cmd->transfer_length = std::min(cmdx::length32(buffer.size()), max_length);
    cmd->sense_length = sizeof cmd->sense;
    cmd->timeout = timeout;
    cmd->direction = direction;
    return cmd->cdb;
}

constexpr std::uint32_t kMax16 = 0xFFFF;
constexpr std::uint32_t kMax24 = 0xFFFFFF;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;

}  // namespace

void cmdxscsi_build_inquiry(vdx_scsi_cmd* cmd, bool evpd, std::uint8_t page_code,
                            std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpInquiry, 6, buffer, kMax16, kVdxDirFromDevice, g_cmdxscsi_timeout_ms);
    if (evpd) {
        cdb[1] = 0x01;
        cdb[2] = page_code;
    }
    enctl::put_be16(cdb + 3, cmd->transfer_length);
}

void cmdxscsi_build_mode_select10(vdx_scsi_cmd* cmd, bool pf, bool rtd, bool sp,
                                  std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpModeSelect10, 10, buffer, kMax16, kVdxDirToDevice, g_cmdxscsi_timeout_ms);
    cdb[1] = static_cast<std::uint8_t>((pf ? 0x10 : 0) | (rtd ? 0x02 : 0) | (sp ? 0x01 : 0));
    enctl::put_be16(cdb + 7, cmd->transfer_length);
}

void cmdxscsi_build_mode_sense10(vdx_scsi_cmd* cmd, bool llbaa, bool dbd, std::uint8_t page_control,
                                 std::uint8_t page_code, std::uint8_t subpage,
                                 std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpModeSense10, 10, buffer, kMax16, kVdxDirFromDevice, g_cmdxscsi_timeout_ms);
    cdb[1] = static_cast<std::uint8_t>((llbaa ? 0x10 : 0) | (dbd ? 0x08 : 0));
    cdb[2] = static_cast<std::uint8_t>(((page_control & 0x03) << 6) | (page_code & 0x3F));
    cdb[3] = subpage;
    enctl::put_be16(cdb + 7, cmd->transfer_length);
}

void cmdxscsi_build_read_capacity16(vdx_scsi_cmd* cmd, std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpServiceActionIn16, 16, buffer, kMax32, kVdxDirFromDevice,
                              g_cmdxscsi_timeout_ms);
    cdb[1] = 0x10;
    enctl::put_be32(cdb + 10, cmd->transfer_length);
}

void cmdxscsi_build_receive_diagnostic(vdx_scsi_cmd* cmd, bool pcv, std::uint8_t page_code,
                                       std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpReceiveDiagnostic, 6, buffer, kMax16, kVdxDirFromDevice,
                              g_cmdxscsi_timeout_ms);
    if (pcv) {
        cdb[1] = 0x01;
        cdb[2] = page_code;
    }
    enctl::put_be16(cdb + 3, cmd->transfer_length);
}

void cmdxscsi_build_send_diagnostic(vdx_scsi_cmd* cmd, send_diagnostic_bits bits,
                                    std::span<std::uint8_t> parameter_list) {
    std::uint8_t* cdb = begin(cmd, kScsiOpSendDiagnostic, 6, parameter_list, kMax16, kVdxDirToDevice,
                              g_cmdxscsi_timeout_ms);
    cdb[1] = static_cast<std::uint8_t>(((bits.self_test_code_low & 0x01) << 5) | (bits.pf ? 0x10 : 0) |
                                       (bits.self_test ? 0x04 : 0) | (bits.dev_offl ? 0x02 : 0) |
                                       (bits.unit_offl ? 0x01 : 0));
    enctl::put_be16(cdb + 3, cmd->transfer_length);
}

void cmdxscsi_build_vendor_e6_read(vdx_scsi_cmd* cmd, std::uint8_t flags, std::uint8_t expander,
                                   std::uint8_t log_type, std::uint32_t byte_offset,
                                   std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpVendorE6, 10, buffer, kMax24, kVdxDirFromDevice,
                              g_cmdxscsi_vendor_timeout_ms);
    cdb[1] = static_cast<std::uint8_t>((flags & 0x08) | (expander & 0x03));
    cdb[2] = log_type;
    enctl::put_be24(cdb + 3, byte_offset);
    enctl::put_be24(cdb + 6, cmd->transfer_length);
    cdb[9] = 0;
}

void cmdxscsi_build_vendor_e6_read_enhanced(vdx_scsi_cmd* cmd, std::uint8_t sub_operation,
                                            std::uint8_t expander, std::uint8_t log_type,
                                            std::uint8_t flag, std::span<std::uint8_t> buffer) {
    std::uint8_t* cdb = begin(cmd, kScsiOpVendorE6, 12, buffer, kMax16, kVdxDirFromDevice,
                              g_cmdxscsi_vendor_timeout_ms);
    cdb[1] = 0;
    cdb[2] = 0x06;
    cdb[3] = sub_operation;
    cdb[4] = expander;
    cdb[5] = log_type;
    cdb[6] = 0;
    enctl::put_be16(cdb + 7, cmd->transfer_length);
    cdb[9] = 0;
    cdb[10] = flag;
    cdb[11] = 0;
}

}  // namespace enctl
