// Hex dump over the trace channel.
//
// Layout: "<title>:", then rows of a hex part ("\n%04x:" and " %02x" per byte)
// and a text part (printable characters, else "."). Before every 16th byte the
// pending pair is printed as "%-50s %-16s" (so the first, empty, pair gives 67
// blanks after the title); the last pair is printed as "%-54s %-16s\n" so that
// its text column lines up with the full rows.
#include <cstdio>

#include "basekit/trace.h"

namespace enctl {

void trace_hex_dump(const char* title, std::span<const std::uint8_t> bytes) {
    // Fixed work buffers: a row's hex part is at most "\n" + offset + ":" + 16 * 3.
    char hex[96] = {};
    char text[17] = {};
    std::size_t hex_length = 0;
    std::size_t text_length = 0;
    trace_print("%s:", title);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            trace_print("%-50s %-16s", hex, text);
            const int n = std::snprintf(hex, sizeof hex, "\n%04zx:", i);
            hex_length = n > 0 ? static_cast<std::size_t>(n) : 0;
            text_length = 0;
            text[0] = '\0';
        }
        const int n = std::snprintf(hex + hex_length, sizeof hex - hex_length, " %02x", bytes[i]);
        if (n > 0) hex_length += static_cast<std::size_t>(n);
        const unsigned char c = bytes[i];
        text[text_length++] = (c >= 32 && c <= 126) ? static_cast<char>(c) : '.';
        text[text_length] = '\0';
    }
    trace_print("%-54s %-16s\n", hex, text);
}

}  // namespace enctl
