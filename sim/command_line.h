// The enclosure's own text command line, reached through vendor diagnostic
// page ECh: SEND DIAGNOSTIC carries a command (text from byte 8), RECEIVE
// DIAGNOSTIC RESULTS returns what the most recent command printed (text from
// byte 4). Every command the lab knows is one row of the table in
// command_line.cpp; the answers are built from the enclosure's model and
// state (command_line_enclosure.cpp, command_line_expander.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/bytes.h"

namespace enctl::sim {

class enclosure;

// Runs one command as the enclosure's command line does: records it, acts on
// the state, and keeps its output as the reply (the description's
// `cli_replies` text instead, when it has one for this command). Returns the
// reply.
const std::string& run_cli_command(enclosure& e, std::string_view command);

// Page ECh sent to the enclosure: runs its command; 0 (always taken).
std::uint32_t take_cli_command(enclosure& e, std::span<const std::uint8_t> page);
// Page ECh: the reply of the most recent command (empty before any). The
// page length is 16 bits: a longer reply is cut to 65535 bytes.
bytes build_cli_reply(const enclosure& e);

}  // namespace enctl::sim
