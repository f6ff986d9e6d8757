// The standard SES pages and INQUIRY data of an enclosure, as the sg3_utils
// tools render them, run on the enclosure's own device node.
#include <cstdio>

#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_steps.h"
#include "basekit/console.h"

namespace enctl {

namespace {

constexpr std::uint8_t kStandardPages[] = {0x00, 0x01, 0x02, 0x03, 0x05, 0x07, 0x0A};

void save_tool_output(const std::string& file, std::vector<std::string> argv) {
    run_command({.argv = std::move(argv), .output_file = file});
    CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", file.c_str());
}

}  // namespace

void get_public_ses_logs(vdx_dev& device) {
    enter_log_folder(kSesFolder, true);
    const std::string node = vdx_dev_tool_name(device);
    for (const std::uint8_t page : kStandardPages) {
        char stem[16], option[16];
        std::snprintf(stem, sizeof stem, "page_%02Xh", page);
        std::snprintf(option, sizeof option, "-p0x%X", page);
        save_tool_output(enclosure_file(device, stem, ".txt"), {"sg_ses", node, option});
    }
    save_tool_output(enclosure_file(device, "ses_join", ".txt"), {"sg_ses", node, "-jj"});
    save_tool_output(enclosure_file(device, "sg_inq", ".txt"), {"sg_inq", node});
    save_tool_output(enclosure_file(device, "sg_inq_hex", ".txt"), {"sg_inq", node, "--hex"});
    save_tool_output(enclosure_file(device, "sg_inq_page_83h", ".txt"), {"sg_inq", node, "-p0x83"});
}

}  // namespace enctl
