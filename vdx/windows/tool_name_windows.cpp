// Device names as outside programs take them on Windows: the device's own name.
#include "vdx/vdx.h"

namespace enctl {

std::string vdx_dev_tool_name(const vdx_dev& dev) { return dev.name; }
std::string vdx_os_path(std::string_view host_path) { return std::string(host_path); }

}  // namespace enctl
