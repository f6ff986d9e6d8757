// The node of a device as outside programs open it.
#include "vdx/linux/vdx_linux.h"
#include "vdx/vdx.h"

namespace enctl {

std::string vdx_dev_tool_name(const vdx_dev& dev) { return vdx_linux_path(dev.device_path); }

}  // namespace enctl
