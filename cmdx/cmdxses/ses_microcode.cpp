// Download Microcode Status page decoding and its status texts.
#include "cmdx/cmdxses/ses_microcode.h"

#include "basekit/bytes.h"
#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {

std::optional<microcode_status> decode_microcode_status(std::span<const std::uint8_t> page) {
    const std::span<const std::uint8_t> p = ses_page_extent(page);
    if (p.size() < kMicrocodeStatusMinSize || p[0] != kSesPageMicrocode) return std::nullopt;
    return microcode_status{
        .page_code = p[0],
        .page_length = static_cast<std::uint16_t>(be16(&p[2])),
        .generation_code = be32(&p[4]),
        .status = p[10],
        .additional_status = p[11],
        .maximum_size = be32(&p[12]),
        .buffer_id = p[19],
        .buffer_offset = be32(&p[20]),
    };
}

const char* microcode_status_text(std::uint8_t status) {
    // Ranges by their first code, in ascending order; a code takes the last
    // row whose first code it reaches.
    static constexpr struct {
        std::uint8_t first;
        const char* text;
    } kTexts[] = {
        {0x00, "No download operation is in progress"},
        {0x01, "Download operation is in progress"},
        {0x02, "Download transfer is complete, currently updating nonvolatile storage"},
        {0x03, "Updating nonvolatile storage with deferred microcode"},
        {0x04, "Interim status"},
        {0x10, "Download completed. Ready for use"},
        {0x11, "Download completed. Requires hard reset or power on"},
        {0x12, "Download completed. Requires power on"},
        {0x13, "Download completed. Requires activate command, hard reset, or power on"},
        {0x14, "No error"},
        {0x70, "Vendor specific"},
        {0x80, "Error in one or more of the Download Microcode Control diagnostic page fields"},
        {0x81, "Microcode image error"},
        {0x82, "Download microcode timeout"},
        {0x83, "Internal error in the download microcode operation. No ROM image available. Do not power off!"},
        {0x84, "Internal error in the download microcode operation. ROM image available"},
        {0x85, "Processed a Download Microcode Control with MODE field 0Fh with no deferred microcode"},
        {0x86, "Reserved for other errors"},
        {0xF0, "Vendor specific"},
    };
    const char* text = kTexts[0].text;
    for (const auto& row : kTexts) {
        if (status >= row.first) text = row.text;
    }
    return text;
}

}  // namespace enctl
