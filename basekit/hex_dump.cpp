// Hex dump over the trace channel.
//
// Layout: "<title>:", then rows of a hex part ("\n%04x:" and " %02x" per byte)
// and a text part (printable characters, else "."). Before every 16th byte the
// pending pair is printed as "%-50s %-16s" (so the first, empty, pair gives 67
// blanks after the title); the last pair is printed as "%-54s %-16s\n" so that
// its text column lines up with the full rows.
#include <cctype>
#include <cstdio>
#include <string>

#include "basekit/trace.h"

namespace enctl {

void trace_hex_dump(const char* title, std::span<const std::uint8_t> bytes) {
    std::string hex;
    std::string text;
    hex.reserve(64);
    text.reserve(17);
    trace_print("%s:", title);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            trace_print("%-50s %-16s", hex.c_str(), text.c_str());
            hex.clear();
            text.clear();
            char offset[24];
            std::snprintf(offset, sizeof offset, "\n%04zx:", i);
            hex += offset;
        }
        char byte[8];
        std::snprintf(byte, sizeof byte, " %02x", bytes[i]);
        hex += byte;
        const unsigned char c = bytes[i];
        text += (c >= 32 && c <= 126) ? static_cast<char>(c) : '.';
    }
    trace_print("%-54s %-16s\n", hex.c_str(), text.c_str());
}

}  // namespace enctl
