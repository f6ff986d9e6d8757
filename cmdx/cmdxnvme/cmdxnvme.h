// NVMe command set: Identify, the controller serial number parser and the
// status check of a completion.
#pragma once

#include <cstdint>
#include <span>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::uint32_t kNvmeAdminIdentify = 0x06;
inline constexpr std::uint32_t kNvmeCnsController = 1;
inline constexpr std::uint32_t kNvmeIdentifySize = 4096;

// Identify: opcode 06h, nsid, cdw10 = (controller id << 16) | CNS, from the
// device, admin queue.
void cmdxnvme_build_identify(vdx_nvme_cmd* cmd, std::uint32_t nsid, std::uint8_t cns,
                             std::uint16_t controller_id, std::span<std::uint8_t> buffer);
int cmdxnvme_execute_identify(vdx_error* error, vdx_dev* dev, std::uint32_t nsid, std::uint8_t cns,
                              std::uint16_t controller_id, std::span<std::uint8_t> buffer);
// Identify Controller: CNS 1, nsid 0, controller id 0.
int cmdxnvme_execute_identify_controller(vdx_error* error, vdx_dev* dev,
                                         std::span<std::uint8_t> buffer);
// Bytes 4-23, trimmed.
int cmdxnvme_identify_controller_parse_serial(vdx_error* error, std::span<char> out,
                                              std::span<const std::uint8_t> data);
// Status code type (bits 9-11) and status code (bits 1-8) of the completion
// status; both 0 clears, else kErrDeviceStatus with subcode (sct << 8) | sc.
int cmdxnvme_check_error(vdx_error* error, const vdx_nvme_cmd& cmd);

}  // namespace enctl
