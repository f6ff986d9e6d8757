// The enclosure's own text command line, reached through vendor diagnostic
// page ECh: SEND DIAGNOSTIC carries a command (text from byte 8,
// ses_send_cli_command), RECEIVE DIAGNOSTIC RESULTS of the same page returns
// what the most recent command printed (text from byte 4). There is no pause,
// poll or retry between the two.
//
// The reply decoding is shared: display_ses_cli_page prints the lines, the log
// capture writes them to a file, and the iom and diag operations look for one
// line. Every reader bounds the walk by the page length and by the bytes the
// enclosure actually sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

// Allocation lengths of the reply read: the console display, and the log
// capture and the iom/diag lookups.
inline constexpr std::size_t kCliDisplayAllocation = 65535;
inline constexpr std::size_t kCliCaptureAllocation = 8192;

// Receives one line of the reply text: NUL bytes removed, its LF included.
// Lines may be of any length.
using cli_line_sink = std::function<void(std::string_view line)>;

// Cuts the reply text of page ECh into lines: bytes 4 up to the page length
// (bytes 2-3) + 4, within `page`; NUL bytes are skipped, an LF ends a line,
// text after the last LF is dropped. Returns the number of lines handed on.
std::size_t for_each_cli_reply_line(std::span<const std::uint8_t> page, const cli_line_sink& line);

struct cli_reply {
    bool read = false;      // the command succeeded and page ECh came back
    bool cut = false;       // fewer bytes came than the page length and the allocation length allow
    std::size_t lines = 0;  // lines handed to the sink
};

// Reads the reply page with `allocation_length` and hands its lines to
// `line`. Prints "page=%02X length=%04X xferred=%X\n" at debug verbosity.
cli_reply read_cli_reply(vdx_error* error, vdx_dev& dev, std::size_t allocation_length, const cli_line_sink& line);

// Sends one command (selector 0, no terminator): 0 on success, 1 for a text
// over 8184 bytes (nothing sent), else the status of SEND DIAGNOSTIC.
int send_cli_command(vdx_error* error, vdx_dev& dev, std::string_view command);

// Prints one reply line at normal verbosity: as it is, whatever its length,
// with control characters but tab and LF made visible.
void print_cli_line(std::string_view line);

// Reads the reply page (65535 bytes) and prints its lines; 0 in every case,
// also when the read failed (nothing is printed then).
int display_ses_cli_page(vdx_dev& dev);

}  // namespace enctl
