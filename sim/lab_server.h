// The lab process: serves a lab over a Unix socket, and the client side of
// its control commands (stop, stats, dump) and of device commands.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sim/device.h"
#include "sim/lab.h"

namespace enctl::sim {

// The files of a lab under its directory.
std::string lab_socket_path(const std::string& dir);
std::string lab_root_path(const std::string& dir);
std::string lab_pid_path(const std::string& dir);

// Creates, binds and listens on a Unix socket; -1 with `error` set on failure.
int listen_on(const std::string& path, std::string& error);

// Serves requests one at a time until a "stop" request; returns then.
// `on_stop` runs before the stop request is answered, so that whoever asked
// for the stop finds the lab's files settled when the answer arrives.
void serve(lab& the_lab, int listen_fd, const std::function<void()>& on_stop = {});

// Answers one control text ("stats", "reset", "dump DEVICE PAGE",
// "state DEVICE", "ping", "stop"). Sets `stop` for "stop". Returns 0 and the output, or 1 and a message.
int control(lab& the_lab, std::string_view text, std::string& out, bool& stop);

// Sends a control text to the lab at `socket`; false when it cannot be reached.
bool send_control(const std::string& socket, std::string_view text, int& status, std::string& out);

// Sends one SCSI command to a node of the lab at `socket` (tests, tools).
bool send_scsi(const std::string& socket, const std::string& node, const scsi_command& cmd, scsi_result& result);

}  // namespace enctl::sim
