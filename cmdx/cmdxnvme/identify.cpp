// NVMe Identify, the controller serial number and the completion check.
#include <algorithm>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"

namespace enctl {

void cmdxnvme_build_identify(vdx_nvme_cmd* cmd, std::uint32_t nsid, std::uint8_t cns,
                             std::uint16_t controller_id, std::span<std::uint8_t> buffer) {
    std::memset(cmd, 0, sizeof *cmd);
    cmd->opcode = kNvmeAdminIdentify;
    cmd->nsid = nsid;
    cmd->cdw10 = (static_cast<std::uint32_t>(controller_id) << 16) | cns;
    cmd->data = buffer.empty() ? nullptr : buffer.data();
    cmd->length = cmdx::length32(buffer.size());
    cmd->direction = kVdxDirFromDevice;
    cmd->timeout = kVdxNvmeTimeoutMs;
    cmd->queue = 0;
}

int cmdxnvme_execute_identify(vdx_error* error, vdx_dev* dev, std::uint32_t nsid, std::uint8_t cns,
                              std::uint16_t controller_id, std::span<std::uint8_t> buffer) {
    TRACE_ENTER_EXIT();
    vdx_nvme_cmd cmd;
    cmdxnvme_build_identify(&cmd, nsid, cns, controller_id, buffer);
    const int result = vdx_nvme_execute(error, dev, &cmd);
    if (result != 0) return result;
    return cmdxnvme_check_error(error, cmd);
}

int cmdxnvme_execute_identify_controller(vdx_error* error, vdx_dev* dev,
                                         std::span<std::uint8_t> buffer) {
    return cmdxnvme_execute_identify(error, dev, 0, kNvmeCnsController, 0, buffer);
}

int cmdxnvme_identify_controller_parse_serial(vdx_error* error, std::span<char> out,
                                              std::span<const std::uint8_t> data) {
    if (!out.empty()) std::memset(out.data(), 0, out.size());
    if (data.size() < 24)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse nvme controller serial\n");
    cmdx::copy_trimmed(out, data.subspan(4, 20));
    return vdx_error_clear(error);
}

int cmdxnvme_check_error(vdx_error* error, const vdx_nvme_cmd& cmd) {
    const std::uint32_t status = cmd.completion[3] >> 16;
    const std::uint32_t sct = (status >> 9) & 0x7;
    const std::uint32_t sc = (status >> 1) & 0xFF;
    if (sct == 0 && sc == 0) return vdx_error_clear(error);
    return VDX_ERROR(error, kErrDeviceStatus, (sct << 8) | sc, "device error detected, sct %xh, sc %xh", sct, sc);
}

}  // namespace enctl
