// IOM resets that make downloaded firmware (or a zoning configuration) take
// effect: String Out page 04h with the selector of the partner IOM (F0h) or
// of the IOM the host reaches, the only one on a single-IOM enclosure (C0h).
#pragma once

#include <cstdint>

#include "vdx/vdx.h"

namespace enctl {

inline constexpr std::uint8_t kIomResetFirst = 0xF0;
inline constexpr std::uint8_t kIomResetSecond = 0xC0;  // also the only IOM

// Each reset after its own confirmation: the first IOM, then the second.
// 0 when both were confirmed (whatever the resets' results), 1 when the user
// declined at either prompt (a refusal at the second leaves the first reset).
int iom_reset_dual(vdx_dev& target);
// The only IOM after a confirmation; 0, or 1 when the user declined.
int iom_reset_single(vdx_dev& target);

}  // namespace enctl
