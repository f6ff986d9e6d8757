// What getlog's Windows captures keep for the whole run: the major version of
// the host's PowerShell, asked for once, when first needed (the MSDSM cmdlets
// of system-light and the packing step need version 5).
#pragma once

#include <cstdint>

namespace enctl {

inline constexpr std::int32_t kPowerShellNeeded = 5;

// 0 until found; stays 0 when PowerShell does not answer with a version.
extern std::int32_t g_powershell_version;

// Runs Get-Host and stores the major number of its "Version : ..." line.
void get_powersehll_version();

}  // namespace enctl
