// Drives behind a Marvell NevoX bridge (interface 17): each command travels
// wrapped in a vendor admin command to the bridge, through the NVMe path of
// the driver the bridge sits behind; the bridge's physical disks are found
// with its adapter and disk information queries.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "basekit/trace.h"
#include "vdx/windows/enumerate_common.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {

namespace {

constexpr std::uint32_t kWrapFromDevice = 0xC2;
constexpr std::uint32_t kWrapOther = 0xC3;
constexpr std::uint32_t kBridgeQuery = 0xE2;
constexpr std::uint32_t kAdapterInformation = 0xE0;
constexpr std::uint32_t kPhysicalDiskInformation = 0xE1;
constexpr std::size_t kMaxPhysicalDisks = 36;  // byte of the adapter information
constexpr std::size_t kPhysicalDiskId = 104;   // u16 of the disk information

// One 4096-byte bridge query (E2h) through the device's NVMe path.
int bridge_query(vdx_error* error, vdx_dev* dev, std::uint32_t what, std::uint32_t index,
                 std::vector<std::uint8_t>& answer) {
    answer.assign(4096, 0);
    vdx_nvme_cmd cmd{};
    cmd.opcode = kBridgeQuery;
    cmd.cdw10 = 4096 / 4 - 1;
    cmd.cdw12 = what;
    cmd.cdw13 = index;
    cmd.data = answer.data();
    cmd.length = 4096;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 500;
    return vdx_nvme_execute(error, dev, &cmd);
}

void close_traced(vdx_dev* dev, const char* trace) {
    vdx_error error{};
    if (vdx_dev_close(&error, dev) != 0) TRACE_AT(kTraceDevice, "%s", trace);
}

}  // namespace

int vdx_nvme_marvell_nevox_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    vdx_nvme_cmd wrapped = *cmd;
    wrapped.opcode = cmd->direction == kVdxDirFromDevice ? kWrapFromDevice : kWrapOther;
    const vdx_windows_state* state = vdx_windows_state_if(*dev);
    wrapped.nsid = state ? state->marvell_disk_id : 0;
    wrapped.cdw14 = cmd->opcode;
    wrapped.cdw15 = cmd->nsid;
    wrapped.queue = 0;
    const int result = vdx_dev_is_intel_rst(*dev)    ? vdx_nvme_windows_rst_execute(error, dev, &wrapped)
                       : vdx_dev_is_intel_rste(*dev) ? vdx_nvme_windows_rste_execute(error, dev, &wrapped)
                                                     : vdx_nvme_windows_execute(error, dev, &wrapped);
    std::copy(std::begin(wrapped.completion), std::end(wrapped.completion), std::begin(cmd->completion));
    return result;
}

void vdx_marvell_nevox_enumerate(vdx_dev* disk, vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    // The list grows below: the disk is held by its index.
    const std::uint32_t at = static_cast<std::uint32_t>(disk - list->devices.get());
    vdx_error error{};
    if (vdx_dev_open(&error, disk) != 0) {
        TRACE_AT(kTraceDevice, "failed to open marvell nevox\n");
        return;
    }
    std::vector<std::uint8_t> answer;
    if (bridge_query(&error, disk, kAdapterInformation, 0, answer) != 0) {
        TRACE_AT(kTraceDevice, "failed to get adapter info\n");
        close_traced(disk, "failed to close marvell nevox after failure\n");
        return;
    }
    const std::uint32_t disks = answer[kMaxPhysicalDisks];
    TRACE_AT(kTraceDevice, "max physical disk count: %xh\n", disks);
    for (std::uint32_t pd = 0; pd < disks; ++pd) {
        TRACE_AT(kTraceDevice, "pd %u\n", pd);
        if (bridge_query(&error, &(*list)[at], kPhysicalDiskInformation, pd, answer) != 0) {
            TRACE_AT(kTraceDevice, "pd %u failed to get pd info\n", pd);
            continue;
        }
        const auto id = static_cast<std::uint16_t>(win_layout::get16(answer, kPhysicalDiskId));
        vdx_dev* child = win_push_back(list);
        if (!child) continue;
        const vdx_dev& bridge = (*list)[at];
        vdx_dev_copy(child, &bridge);
        std::snprintf(child->name, sizeof child->name, "%s.pd%u", bridge.name, unsigned{id});
        child->interface = kVdxInterfaceMarvellNevox;
        vdx_windows_state_of(*child).marvell_disk_id = id;
        close_traced(child, "failed to close marvell nevox child\n");
    }
    close_traced(&(*list)[at], "failed to close marvell nevox after enumeration\n");
}

}  // namespace enctl
