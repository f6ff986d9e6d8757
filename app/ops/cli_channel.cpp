#include "app/ops/cli_channel.h"

#include <algorithm>
#include <string>
#include <vector>

#include "basekit/bytes.h"
#include "basekit/console.h"
#include "basekit/text.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_send.h"

namespace enctl {

std::size_t for_each_cli_reply_line(std::span<const std::uint8_t> page, const cli_line_sink& line) {
    const std::span<const std::uint8_t> extent = ses_page_extent(page);
    std::size_t lines = 0;
    std::string current;
    for (std::size_t i = 4; i < extent.size(); ++i) {
        const char c = static_cast<char>(extent[i]);
        if (c == '\0') continue;
        current += c;
        if (c != '\n') continue;
        line(current);
        ++lines;
        current.clear();
    }
    return lines;
}

cli_reply read_cli_reply(vdx_error* error, vdx_dev& dev, std::size_t allocation_length, const cli_line_sink& line) {
    std::vector<std::uint8_t> buffer(allocation_length);
    const ses_page page = ses_read_page(error, &dev, kSesPageCli, buffer);
    const std::uint32_t end = buffer.size() >= 4 ? be16(&buffer[2]) + 4u : 0u;
    CONSOLE_PRINT(kVerbosityDebug, "page=%02X length=%04X xferred=%X\n", buffer.empty() ? 0u : buffer[0], end,
                  page.transferred);
    cli_reply reply;
    if (!page.ok()) return reply;
    reply.read = true;
    reply.cut = page.bytes.size() < std::min<std::size_t>(end, allocation_length);
    reply.lines = for_each_cli_reply_line(page.bytes, line);
    return reply;
}

int send_cli_command(vdx_error* error, vdx_dev& dev, std::string_view command) {
    return ses_send_cli_command(error, &dev, 0,
                                std::span(reinterpret_cast<const std::uint8_t*>(command.data()), command.size()));
}

void print_cli_line(std::string_view line) {
    if (g_console_verbosity >= kVerbosityNormal) console_print_text(visible_text(line));
}

int display_ses_cli_page(vdx_dev& dev) {
    CONSOLE_PRINT(kVerbosityDebug, "display_ses_cli_page\n");
    vdx_error error{};
    read_cli_reply(&error, dev, kCliDisplayAllocation, print_cli_line);
    return 0;
}

}  // namespace enctl
