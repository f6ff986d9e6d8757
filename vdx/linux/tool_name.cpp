// Device nodes and host paths as this process and outside programs reach them.
#include "vdx/linux/vdx_linux.h"
#include "vdx/vdx.h"

namespace enctl {

std::string vdx_dev_tool_name(const vdx_dev& dev) { return vdx_linux_path(dev.device_path); }
std::string vdx_os_path(std::string_view host_path) { return vdx_linux_path(host_path); }

}  // namespace enctl
