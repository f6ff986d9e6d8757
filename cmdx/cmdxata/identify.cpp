// ATA IDENTIFY DEVICE, its serial number and the ATA status check.
#include <algorithm>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxbasics/bytes.h"

namespace enctl {

namespace {
constexpr std::uint8_t kProtocolPioDataIn = 4;
constexpr std::uint8_t kTLengthSectorCount = 2;
constexpr std::uint32_t kTransferUnitBlocks = 1;
constexpr std::size_t kSerialOffset = 20;
constexpr std::size_t kSerialLength = 20;
}  // namespace

void cmdxata_build_identify(vdx_ata_cmd* cmd, std::span<std::uint8_t> buffer) {
    std::memset(cmd, 0, sizeof *cmd);
    cmd->protocol = kProtocolPioDataIn;
    cmd->transfer_unit = kTransferUnitBlocks;
    cmd->t_length = kTLengthSectorCount;
    cmd->count = 1;
    cmd->command = kAtaCmdIdentifyDevice;
    cmd->data = buffer.empty() ? nullptr : buffer.data();
    cmd->length = std::min<std::uint32_t>(cmdx::length32(buffer.size()), kAtaIdentifySize);
    cmd->timeout = kVdxAtaTimeoutMs;
    cmd->direction = kVdxDirFromDevice;
}

int cmdxata_identify(vdx_error* error, vdx_dev* dev, std::span<std::uint8_t> buffer) {
    TRACE_ENTER_EXIT();
    vdx_ata_cmd cmd;
    cmdxata_build_identify(&cmd, buffer);
    if (vdx_ata_execute(error, dev, &cmd) != 0) return 1;
    return cmdxata_check_error(error, cmd);
}

int cmdxata_identify_parse_serial(vdx_error* error, std::span<char> out,
                                  std::span<const std::uint8_t> data) {
    if (!out.empty()) std::memset(out.data(), 0, out.size());
    if (data.size() < kSerialOffset + kSerialLength)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse ata identify serial");
    const auto raw = data.subspan(kSerialOffset, kSerialLength);
    if (g_trace_level >= kTraceRaw) trace_hex_dump("cmdxata identify serial raw", raw);
    std::uint8_t swapped[kSerialLength];
    for (std::size_t i = 0; i + 1 < kSerialLength; i += 2) {
        swapped[i] = raw[i + 1];
        swapped[i + 1] = raw[i];
    }
    cmdx::copy_trimmed(out, swapped);
    return vdx_error_clear(error);
}

int cmdxata_check_error(vdx_error* error, const vdx_ata_cmd& cmd) {
    if (cmd.status & 0x01)
        return VDX_ERROR(error, kErrDeviceStatus, (static_cast<std::uint32_t>(cmd.status) << 8) | cmd.error,
                         "device error detected, status %xh, error %xh", cmd.status, cmd.error);
    return vdx_error_clear(error);
}

}  // namespace enctl
