// The enclosure's own text command line, reached through vendor diagnostic
// page ECh: SEND DIAGNOSTIC carries a command (text from byte 8), RECEIVE
// DIAGNOSTIC RESULTS returns what the most recent command printed (text from
// byte 4). The commands it answers are one table in command_line.cpp.
#pragma once

#include <cstdint>
#include <span>

#include "sim/bytes.h"

namespace enctl::sim {

class enclosure;

// Runs the command of a page ECh sent to the enclosure; 0 (always taken).
std::uint32_t take_cli_command(enclosure& e, std::span<const std::uint8_t> page);
// Page ECh: the reply text of the most recent command (empty before any).
bytes build_cli_reply(const enclosure& e);

}  // namespace enctl::sim
