// NVMe through the maker's own driver (interface 8): the NVMe miniport
// pass-through under "NvmeMini" on the record's handle (a storage port).
#include <cstring>
#include <vector>

#include "basekit/trace.h"
#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"
#include "vdx/windows/win32_seam.h"

namespace enctl {

namespace wl = win_layout;

int vdx_nvme_windows_zm_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    using nmp = wl::nvme_miniport_pass_through;
    constexpr char kSource[] = "..\\vdx\\windows\\vdx_nvme_windows_zm";
    if (vdx_windows_refuse_behind_csmi(error, *dev, "nvme", kSource, "vdx_nvme_windows_zm_execute", __LINE__))
        return 1;
    const std::uint32_t length = cmd->data ? cmd->length : 0;
    const bool to_device = cmd->direction == kVdxDirToDevice;
    std::vector<std::uint8_t> request(sizeof(nmp) + length, 0);
    // The driver takes no time-out.
    wl::put_nvme_miniport(request, "NvmeMini", 0, *cmd, cmd->direction, to_device ? length : 0);
    if (to_device && length) std::memcpy(request.data() + sizeof(nmp), cmd->data, length);

    std::uint32_t os_error = 0;
    if (!vdx_windows_ioctl(dev->os_handle, wl::kIoctlScsiMiniport, request, nullptr, &os_error))
        return vdx_error_set(error, kErrOsRequest, os_error, kSource, "vdx_nvme_windows_zm_execute", __LINE__,
                             "error executing scsi miniport DeviceIoControl");
    const std::uint32_t code = wl::get32(request, wl::kSrbReturnCode);
    if (code != 0)
        return vdx_error_set(error, kErrOsRequest, code, kSource, "vdx_nvme_windows_zm_execute", __LINE__,
                             "NVMe passthrough return code %xh", code);
    // The driver answers the command's dword 0 in place of the command; the
    // rest of the completion, with the status, is in the completion entry.
    cmd->completion[0] = wl::get32(request, offsetof(nmp, Command));
    for (std::size_t i = 1; i < 4; ++i) cmd->completion[i] = wl::get32(request, offsetof(nmp, Completion) + 4 * i);
    if (cmd->direction == kVdxDirFromDevice && length)
        std::memcpy(cmd->data, request.data() + sizeof(nmp), length);
    return vdx_error_clear(error);
}

bool vdx_nvme_windows_zm_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (dev->connection_driver == kVdxDriverAdaptecRaid) {
        TRACE_AT(kTraceDevice, "skip nvme windows probe on adaptec raid driver\n");
        return false;
    }
    return vdx_nvme_identify_probe(dev, &vdx_nvme_windows_zm_execute, "nvme windows");
}

}  // namespace enctl
