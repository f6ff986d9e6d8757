// Reading one diagnostic page, bounded by what the enclosure sent.
#include <algorithm>

#include "basekit/bytes.h"
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

std::span<const std::uint8_t> ses_page_extent(std::span<const std::uint8_t> page) {
    if (page.size() < 4) return {};
    return page.first(std::min<std::size_t>(page.size(), be16(page.data() + 2) + 4u));
}

}  // namespace enctl
