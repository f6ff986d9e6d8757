// The one command line CreateProcess takes, made from an argument vector so
// that the child's C runtime splits it back into the same arguments.
#pragma once

#include <string>
#include <vector>

namespace enctl {

std::string windows_command_line(const std::vector<std::string>& argv);

}  // namespace enctl
