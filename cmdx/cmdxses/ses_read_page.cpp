// Reading one diagnostic page, bounded by what the enclosure sent.
#include <algorithm>

#include "basekit/bytes.h"
#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_pages.h"

namespace enctl {

ses_page ses_read_page(vdx_error* error, vdx_dev* dev, std::uint8_t page_code, std::span<std::uint8_t> buffer) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    ses_page page;
    if (cmdxscsi_receive_diagnostic(error, dev, page_code, buffer, &page.transferred) != 0) return page;
    const std::span<const std::uint8_t> received = cmdx::received(buffer, page.transferred);
    if (received.empty() || received[0] != page_code) {
        page.status = ses_read_status::other_page;
        VDX_ERROR(error, kErrParseOrCheckCondition, received.empty() ? 0 : received[0],
                  "diagnostic page %02Xh asked, %u bytes of page %02Xh returned", page_code,
                  static_cast<unsigned>(received.size()), received.empty() ? 0u : received[0]);
        return page;
    }
    page.status = ses_read_status::read;
    page.bytes = received;
    return page;
}

ses_page ses_read_page(vdx_error* error, vdx_dev* dev, std::uint8_t page_code, std::vector<std::uint8_t>& buffer) {
    const ses_page page = ses_read_page(error, dev, page_code, std::span<std::uint8_t>(buffer));
    if (!page.ok() || page.bytes.size() < 4) return page;
    // The allocation length field has 16 bits.
    const std::size_t needed = std::min<std::size_t>(be16(page.bytes.data() + 2) + 4u, 0xFFFF);
    if (needed <= buffer.size()) return page;
    TRACE_AT(kTraceDevice, "page %02Xh needs %u bytes, read again\n", page_code, static_cast<unsigned>(needed));
    buffer.resize(needed);
    return ses_read_page(error, dev, page_code, std::span<std::uint8_t>(buffer));
}

std::span<const std::uint8_t> ses_page_extent(std::span<const std::uint8_t> page) {
    if (page.size() < 4) return {};
    return page.first(std::min<std::size_t>(page.size(), be16(page.data() + 2) + 4u));
}

}  // namespace enctl
