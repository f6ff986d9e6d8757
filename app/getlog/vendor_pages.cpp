// The vendor SES pages of getlog: the text pages EAh, EDh and 17h (strings
// separated by NUL bytes), and product 1's debug text page (EBh), its dump
// pages (87h, 97h) and its event pages (85h, 95h).
#include <array>
#include <vector>

#include "app/discovery/target_list.h"
#include "app/getlog/getlog_steps.h"
#include "basekit/bytes.h"
#include "basekit/console.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_send.h"

namespace enctl {

namespace {

// Allocation lengths of the vendor page reads.
constexpr std::size_t kTextPageAllocation = 65532;
constexpr std::size_t kDebugPageAllocation = 4096;
constexpr std::size_t kDumpPageAllocation = 8192;
// A string of a text page is kept up to this many characters.
constexpr std::size_t kPageStringSize = 4096;
// Reads of an event page after the request, and the least a read must bring
// to hold an event.
constexpr int kEventPageReads = 32;
constexpr std::uint32_t kEventPageMinimum = 65;

constexpr std::uint8_t kPageEnvironment = 0x17;
constexpr std::uint8_t kPageInformation = 0xEA;
constexpr std::uint8_t kPageDebugText = 0xEB;
constexpr std::uint8_t kPageExpanderStatus = 0xED;

// Byte 0 and the page length + 4 of a read page (0 for missing bytes), as the
// debug lines show them.
unsigned page_byte0(std::span<const std::uint8_t> page) { return page.empty() ? 0u : page[0]; }
unsigned page_length(std::span<const std::uint8_t> page) { return page.size() < 4 ? 0u : be16(&page[2]) + 4u; }

}  // namespace

void save_ses_log(vdx_dev& device, std::uint8_t page_code) {
    std::vector<std::uint8_t> buffer(kTextPageAllocation);
    vdx_error error{};
    std::uint32_t transferred = 0;
    const int rc = cmdxscsi_receive_diagnostic(&error, &device, page_code, buffer, &transferred);
    const auto page = cmdx::received(buffer, transferred);
    CONSOLE_PRINT(kVerbosityDebug, "page=%02X length=%04Xh xferred=%Xh\n", page_byte0(page), page_length(page),
                  transferred);
    if (rc != 0 || page.empty() || page[0] != page_code) return;
    char name[16];
    bounded_format(name, sizeof name, "page_%02Xh", page_code);
    const std::string path = enclosure_file(device, name, ".txt");
    const std::size_t end = ses_page_extent(page).size();
    std::array<char, kPageStringSize> text{};
    std::uint32_t offset = 4;
    bool written = false;
    while (offset < end) {
        if (page[offset] == 0) {
            ++offset;
            continue;
        }
        const std::uint32_t start = offset;
        ses_parse_string(&error, text, page, &offset);
        if (offset == start) {
            // The last string runs to the end of the page without its NUL:
            // kept all the same, and the walk ends.
            cmdx::copy_trimmed(text, page.subspan(start, end - start));
            offset = static_cast<std::uint32_t>(end);
        }
        written |= append_capture(path, std::string(text.data()) + "\n");
    }
    if (written) CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
}

void get_private_ses_logs(vdx_dev& device) {
    enter_log_folder(kSesFolder, true);
    save_ses_log(device, kPageInformation);
    save_ses_log(device, kPageExpanderStatus);
    save_ses_log(device, kPageEnvironment);
}

void save_private_ses_log(vdx_dev& device, std::string_view stem, std::uint8_t page_code) {
    std::vector<std::uint8_t> buffer(kDumpPageAllocation);
    vdx_error error{};
    std::uint32_t transferred = 0;
    const int rc = cmdxscsi_receive_diagnostic(&error, &device, page_code, buffer, &transferred);
    const auto page = cmdx::received(buffer, transferred);
    CONSOLE_PRINT(kVerbosityDebug, "page %02X=%02X length=%04X xferred=%Xh\n", page_code, page_byte0(page),
                  page_length(page), transferred);
    if (rc != 0 || page.empty() || page[0] != page_code) return;
    const std::string path = enclosure_file(device, stem, ".bin");
    if (append_capture(path, page)) CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
}

void save_private_ses_event_log(vdx_dev& device, std::string_view stem, std::uint8_t page_code) {
    const std::string path = enclosure_file(device, stem, ".bin");
    vdx_error error{};
    ses_send_event_log_request(&error, &device, page_code);
    std::vector<std::uint8_t> buffer(kDumpPageAllocation);
    std::uint64_t total = 0;
    for (int i = 0; i < kEventPageReads; ++i) {
        std::uint32_t transferred = 0;
        const int rc = cmdxscsi_receive_diagnostic(&error, &device, page_code, buffer, &transferred);
        const auto page = cmdx::received(buffer, transferred);
        const bool keep = rc == 0 && !page.empty() && page[0] == page_code && transferred >= kEventPageMinimum;
        if (keep && append_capture(path, page)) total += page.size();
        CONSOLE_PRINT(kVerbosityDebug, "%s page %02X=%02X length=%04X xferred=%Xh\n", keep ? "Save" : "Not save",
                      page_code, page_byte0(page), page_length(page), transferred);
    }
    // Only a file that holds events is reported saved.
    if (total > 0) {
        CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
        CONSOLE_PRINT(kVerbosityDebug, "*Saved: %llXh bytes\n", static_cast<unsigned long long>(total));
    } else {
        CONSOLE_PRINT(kVerbosityDebug, "*No data for: %s\n", path.c_str());
    }
}

// Product 1's pages, into the "ses" folder that get_private_ses_logs of the
// same enclosure entered just before.
void save_product1_debug_pages(vdx_dev& device) {
    std::vector<std::uint8_t> buffer(kDebugPageAllocation);
    vdx_error error{};
    std::uint32_t transferred = 0;
    // A failed read leaves no line: "ERROR - Not saved".
    const int rc = cmdxscsi_receive_diagnostic(&error, &device, kPageDebugText, buffer, &transferred);
    const auto page = rc == 0 ? cmdx::received(buffer, transferred) : std::span<const std::uint8_t>{};
    CONSOLE_PRINT(kVerbosityDebug, "start_offset=%X  log_length=%X\n", 4u, page_length(page));
    save_to_text_file(enclosure_file(device, "page_EBh", ".txt"), page);
    save_private_ses_log(device, "page_87h_dump1", 0x87);
    save_private_ses_log(device, "page_87h_dump2", 0x87);
    save_private_ses_log(device, "page_97h_dump1", 0x97);
    save_private_ses_log(device, "page_97h_dump2", 0x97);
    save_private_ses_event_log(device, "page_85h", 0x85);
    save_private_ses_event_log(device, "page_95h", 0x95);
}

}  // namespace enctl
