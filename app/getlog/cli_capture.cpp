// The enclosure's own command line in getlog: each product's fixed command
// list, the IOM command list after its confirmation, the show handles
// listing, and the program's own show and iom run as child processes. Every
// reply goes through the command line channel's one reply decoder.
#include <string>
#include <string_view>
#include <vector>

#include "app/discovery/show.h"
#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_steps.h"
#include "app/ops/cli_channel.h"
#include "app/ops/confirm.h"
#include "app/product/product.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace enctl {

namespace {

// The product 2 list; products 5 to 7 share its beginning.
constexpr std::string_view kProduct2Commands[] = {
    "i2c scan", "show gpio", "show enc", "show dual", "show hosts", "show phys", "sec1 show phys",
    "sec2 show phys", "show ac", "show le", "show sensor", "show drives", "show drives high", "show drives low",
    "show thermon", "show ses", "phyinfo", "phyinfo buffer", "sec1 phyinfo", "sec1 phyinfo buffer",
    "sec2 phyinfo", "sec2 phyinfo buffer", "debug dump", "sec1 debug dump", "sec2 debug dump",
    "err_cnts 0-35 read", "sec1 err_cnts 0-35 read", "sec2 err_cnts 0-35 read", "show threads",
    "sec1 show threads", "sec2 show threads", "qinfo", "sec1 qinfo", "sec2 qinfo", "status sas_phy",
    "sec1 status sas_phy", "sec2 status sas_phy", "zonecfg", "show vpd", "gpio",
};
constexpr std::string_view kProduct1Commands[] = {
    "i2c scan", "show gpio", "show hosts", "show phys", "rmt show phys", "show ac", "show le", "show sensor",
    "show drives", "show drives high", "show drives low", "show thermon", "show ses", "phyinfo",
    "phyinfo buffer", "rmt phyinfo", "rmt phyinfo buffer", "debug dump", "rmt debug dump",
    "err_cnts 0-35 read", "err_cnts 36-67 read", "rmt err_cnts 0-35 read", "rmt err_cnts 36-67 read",
    "show threads", "rmt show threads", "qinfo", "rmt qinfo", "status sas_phy", "rmt status sas_phy", "gpio",
};
// Product 7: the first 25 of the product 2 list, then these.
constexpr std::string_view kProduct7Tail[] = {
    "err_cnts 0-47 read", "sec1 err_cnts 0-60 read", "sec2 err_cnts 0-60 read", "show threads",
    "sec1 show threads", "sec2 show threads", "qinfo", "sec1 qinfo", "sec2 qinfo", "status sas_phy",
    "sec1 status sas_phy", "sec2 status sas_phy", "zonecfg", "show cable", "show vpd",
    "i2c rd -p=1 -a=0x71 -o=0x00 0xff", "i2c rd -p=2 -a=0x71 -o=0x00 0xff", "i2c rd -p=3 -a=0x71 -o=0x00 0xff",
    "i2c rd -p=4 -a=0x71 -o=0x00 0xff", "gpio",
};
// Products 5 and 6: the first 23 of the product 2 list, then these.
constexpr std::string_view kProducts5And6Tail[] = {
    "zonecfg", "sec1 debug dump", "sec2 debug dump", "err_cnts 0-47 read", "sec1 err_cnts 0-60 read",
    "sec2 err_cnts 0-60 read", "show threads", "sec1 show threads", "sec2 show threads", "qinfo", "sec1 qinfo",
    "sec2 qinfo", "status sas_phy", "sec1 status sas_phy", "sec2 status sas_phy", "show cable", "show vpd",
    "show autosync", "i2c rd -p=1 -a=0x71 -o=0x00 0xff", "i2c rd -p=2 -a=0x71 -o=0x00 0xff",
    "i2c rd -p=3 -a=0x71 -o=0x00 0xff", "i2c rd -p=4 -a=0x71 -o=0x00 0xff", "gpio",
};
// The IOM list of products 5 and 6, each command after "iom ".
constexpr std::string_view kIomCommands[] = {
    "i2c scan", "show gpio", "show enc", "show dual", "show hosts", "show phys", "sec1 show phys",
    "sec2 show phys", "show ac", "show le", "show sensor", "show drives", "show drives high", "show drives low",
    "show thermon", "show ses", "phyinfo", "phyinfo buffer", "sec1 phyinfo", "sec1 phyinfo buffer",
    "sec2 phyinfo", "sec2 phyinfo buffer", "debug dump", "sec1 debug dump", "sec2 debug dump", "zonecfg",
    "err_cnts 0-47 read", "sec1 err_cnts 0-60 read", "sec2 err_cnts 0-60 read", "show threads",
    "sec1 show threads", "sec2 show threads", "qinfo", "sec1 qinfo", "sec2 qinfo", "status sas_phy",
    "sec1 status sas_phy", "sec2 status sas_phy", "show cable", "show vpd", "show autosync", "gpio",
};
constexpr std::string_view kIomShowCable = "iom show cable";

std::vector<std::string> joined(std::size_t head, std::span<const std::string_view> tail) {
    std::vector<std::string> list(std::begin(kProduct2Commands), std::begin(kProduct2Commands) + head);
    list.insert(list.end(), tail.begin(), tail.end());
    return list;
}

std::vector<std::string> product_commands(std::uint32_t product) {
    switch (product) {
    case kProductAmberRidge: return {std::begin(kProduct1Commands), std::end(kProduct1Commands)};
    case kProductSlateRidge: return {std::begin(kProduct2Commands), std::end(kProduct2Commands)};
    case kProductGarnetRidge: return joined(25, kProduct7Tail);
    case kProductOpalRidge:
    case kProductMtAlder: return joined(23, kProducts5And6Tail);
    default: return {};
    }
}

}  // namespace

std::string cli_file_stem(std::string_view command) {
    // The four FPGA port reads have names of their own.
    constexpr std::string_view kFpgaRead = "i2c rd -p=";
    if (command.starts_with(kFpgaRead) && command.size() > kFpgaRead.size() &&
        command.substr(kFpgaRead.size() + 1) == " -a=0x71 -o=0x00 0xff")
        return "i2c_read_fpga_port" + std::string(1, command[kFpgaRead.size()]);
    std::string stem(command);
    for (char& c : stem)
        if (c == ' ') c = '_';
    return stem;
}

bool save_to_text_file(const std::string& path, std::span<const std::uint8_t> page) {
    std::string text;
    const std::size_t lines = for_each_cli_reply_line(page, [&](std::string_view line) { text += line; });
    const bool saved = lines > 0 && append_capture(path, text);
    if (saved)
        CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
    else
        CONSOLE_PRINT(kVerbosityNormal, "ERROR - Not saved: %s\n", path.c_str());
    return saved;
}

void save_ses_cli_page(vdx_dev& device, std::string_view stem) {
    const std::string path = enclosure_file(device, stem, ".txt");
    std::string text;
    vdx_error error{};
    const cli_reply reply =
        read_cli_reply(&error, device, kCliCaptureAllocation, [&](std::string_view line) { text += line; });
    if (reply.lines > 0 && append_capture(path, text))
        CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
    else
        CONSOLE_PRINT(kVerbosityNormal, "ERROR - Not saved: %s\n", path.c_str());
}

int get_private_cli_data(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || !target->extended_support) return 0;
    enter_log_folder(kJbodLogsFolder, true);
    for (const std::string& command : product_commands(target->product_code)) {
        if (target->marked && (command.find("emip") != std::string::npos || command.find("rd_") != std::string::npos)) {
            CONSOLE_PRINT(kVerbosityDebug, "Skipping, this command is not supported in customer mode: %s\n",
                          command.c_str());
            continue;
        }
        vdx_error error{};
        send_cli_command(&error, device, command);
        save_ses_cli_page(device, cli_file_stem(command));
    }
    return 0;
}

int get_private_cli_iom(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    const bool qualifies = target && (target->product_code == kProductOpalRidge || target->product_code == kProductMtAlder) &&
                           !target->single_iom && !target->multi_tenant;
    if (!qualifies) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation not supported on this product\n\n");
        return 0;
    }
    CONSOLE_PRINT(kVerbosityNormal, "RCLI IOM commands are meant to run only on one IOM at a time.\n");
    CONSOLE_PRINT(kVerbosityNormal,
                  "Please do not run multiple RCLI IOM commands from multiple IOMs to avoid potential command "
                  "timeouts.\n");
    CONSOLE_PRINT(kVerbosityNormal, "If you want to proceed, press 'Y' or 'y': ");
    const bool confirmed = read_confirmation();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    if (!confirmed) {
        CONSOLE_PRINT(kVerbosityNormal, "Operation canceled by the user\n\n");
        return 0;
    }
    enter_log_folder(kJbodLogsFolder, true);
    int captured = 0;
    for (const std::string_view base : kIomCommands) {
        const std::string command = "iom " + std::string(base);
        if (command == kIomShowCable && !firmware_version_at_least(*target, kFwGate3000)) continue;
        vdx_error error{};
        send_cli_command(&error, device, command);
        save_ses_cli_page(device, cli_file_stem(command));
        ++captured;
    }
    return captured;
}

int get_device_handles(vdx_dev& device, const target_list& targets) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || !target->extended_support || target->product_code == kProductAmberRidge) return 1;
    // get_private_cli_data of this enclosure made the folder already; made
    // here too, so that the listing is never lost to a missing folder.
    enter_log_folder(kJbodLogsFolder, true);
    const std::string path = enclosure_file(device, "device_handles", ".txt");
    if (console_capture_begin(path) == 0) {
        show_end_devices(device, disk_pairing(targets));
        console_capture_end();
    }
    CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", path.c_str());
    return 0;
}

int get_enctl_logs() {
    // Made here too: a run without an enclosure of extended support has none yet.
    const std::string folder = enter_log_folder(kJbodLogsFolder, true);
    const std::string program(text_of(g_enctl_data.execution_file));
    for (const char* operation : {"show", "iom"}) {
        const command_line command{.argv = {program, operation},
                                   .output_file = folder + kPathSeparator + "enctl_" + operation + ".txt"};
        CONSOLE_PRINT(kVerbosityDebug, "***command=%s\n", command_text(command).c_str());
        run_command(command);
    }
    return 0;
}

}  // namespace enctl
