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

int execute_stp_passthru(vdx_error* e, vdx_dev* d, vdx_ata_cmd*) { return not_built(e, d, "CSMI STP pass-through"); }
bool vdx_ata_windows_probe_csmi(vdx_dev*) { return false; }
void vdx_windows_enumerate_csmi(vdx_dev_list*) { TRACE_AT(kTraceDevice, "CSMI enumeration is not available in this build\n"); }
void vdx_windows_enumerate_rste(vdx_dev_list*) { TRACE_AT(kTraceDevice, "RSTe enumeration is not available in this build\n"); }
void vdx_windows_enumerate_usb(vdx_dev_list*) { TRACE_AT(kTraceDevice, "USB hub enumeration is not available in this build\n"); }

}  // namespace enctl
