// The other SES and vendor pages as an enclosure returns them: page 03h
// (firmware revision), page 04h (IOM type), page 0Eh (download microcode
// status), VPD page C1h (product name), the NUL-separated strings of text
// pages such as the command-line replies of page ECh, and the page's extent
// by its length field.
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_microcode.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace enctl;
    fuzz::quiet_console();
    const std::span<const std::uint8_t> page(data, size);
    (void)firmware_from_page3(page);
    (void)iom_type_from_page4(page);
    if (const auto status = decode_microcode_status(page)) (void)microcode_status_text(status->status);
    (void)product_name_from_vpd_c1h(page);
    (void)ses_page_extent(page);
    vdx_error error{};
    char text[4096];
    std::uint32_t offset = 4;
    for (int guard = 0; guard < 100000; ++guard) {
        const std::uint32_t before = offset;
        ses_parse_string(&error, text, page, &offset);
        if (offset == before) break;
        ++offset;
    }
    return 0;
}
