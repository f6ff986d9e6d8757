// Windows paths that this build does not carry yet: each refuses with error 2
// (or adds nothing, or answers no) and says so in the trace, so that a device
// that needs one is reported rather than driven wrongly.
#include "basekit/trace.h"
#include "vdx/windows/vdx_windows.h"

namespace enctl {

namespace {

int not_built(vdx_error* error, const vdx_dev* dev, const char* path) {
    return VDX_ERROR(error, kErrNotSupported, dev ? dev->interface : 0, "%s is not available in this build (device %s)",
                     path, dev ? dev->name : "");
}

}  // namespace

int vdx_nvme_windows_rst_execute(vdx_error* e, vdx_dev* d, vdx_nvme_cmd*) { return not_built(e, d, "Intel RST NVMe pass-through"); }
int vdx_nvme_windows_rste_execute(vdx_error* e, vdx_dev* d, vdx_nvme_cmd*) { return not_built(e, d, "Intel RSTe NVMe pass-through"); }
int vdx_nvme_windows_zm_execute(vdx_error* e, vdx_dev* d, vdx_nvme_cmd*) { return not_built(e, d, "maker's NVMe driver pass-through"); }
int vdx_nvme_marvell_nevox_execute(vdx_error* e, vdx_dev* d, vdx_nvme_cmd*) { return not_built(e, d, "Marvell NevoX pass-through"); }
bool vdx_nvme_windows_rst_probe(vdx_dev*) { return false; }
bool vdx_nvme_windows_zm_probe(vdx_dev*) { return false; }
void vdx_marvell_nevox_enumerate(vdx_dev*, vdx_dev_list*) {
    TRACE_AT(kTraceDevice, "Marvell NevoX enumeration is not available in this build\n");
}
int execute_stp_passthru(vdx_error* e, vdx_dev* d, vdx_ata_cmd*) { return not_built(e, d, "CSMI STP pass-through"); }
bool vdx_ata_windows_probe_csmi(vdx_dev*) { return false; }
void vdx_windows_enumerate_csmi(vdx_dev_list*) { TRACE_AT(kTraceDevice, "CSMI enumeration is not available in this build\n"); }
void vdx_windows_enumerate_rste(vdx_dev_list*) { TRACE_AT(kTraceDevice, "RSTe enumeration is not available in this build\n"); }
void vdx_windows_enumerate_usb(vdx_dev_list*) { TRACE_AT(kTraceDevice, "USB hub enumeration is not available in this build\n"); }

}  // namespace enctl
