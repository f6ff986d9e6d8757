// The iom operation: which IOMs are present, and the OOBM network settings
// of an IOM (vendor mode page 23h subpage 01h), with the OOBM firmware
// version and MAC address from the enclosure's "show enc".
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/discovery/discovery.h"
#include "app/operation.h"
#include "app/ops/cli_channel.h"
#include "app/ops/enclosure_walk.h"
#include "app/ops/iom_options.h"
#include "app/product/product.h"
#include "basekit/bytes.h"
#include "basekit/console.h"
#include "basekit/text.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"

namespace enctl {

namespace {

iom_options g_iom;  // the run's request, filled by the parse

constexpr std::uint8_t kOobmPage = 0x23;
constexpr std::uint8_t kOobmSubpage = 0x01;
constexpr std::size_t kOobmSenseLength = 4096;
constexpr std::size_t kOobmSelectLength = 512;
// Blocks of the mode page as MODE SENSE returns it (header included).
constexpr std::size_t kOobmBlockA = 16;
constexpr std::size_t kOobmBlockB = 32;
constexpr std::size_t kOobmBlockSize = 16;
// A version or MAC line this long (without its LF) is not taken.
constexpr std::size_t kOobmValueLineLimit = 80;

bool oobm_product(const enclosure_target& target) {
    return target.product_code == kProductOpalRidge || target.product_code == kProductMtAlder ||
           target.product_code == kProductGarnetRidge;
}

const char* mode_text(std::uint8_t mode, char (&other)[16]) {
    if (mode == 0) return "static (0)";
    if (mode == 1) return "DHCP (1)";
    std::snprintf(other, sizeof other, "N/A (%u)", mode);
    return other;
}

void show_iom_configuration(vdx_dev& device, const enclosure_target& target) {
    switch (target.product_code) {
    case kProductAmberRidge:
    case kProductGarnetRidge: CONSOLE_PRINT(kVerbosityNormal, "Single IOM operation\n"); return;
    case kProductSlateRidge:
    case kProductOpalRidge:
    case kProductMtAlder: break;
    default: print_product_not_supported(); return;
    }
    if (target.single_iom) {
        CONSOLE_PRINT(kVerbosityNormal, "Single IOM operation\n");
        return;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Dual IOM operation\n");
    const int iom = get_iom_type(device);
    CONSOLE_PRINT(kVerbosityNormal, "%s", iom == kIomA ? "IOM A\n" : iom == kIomB ? "IOM B\n" : "Unknown IOM\n");
}

// The OOBM version and MAC of `iom_name` ("IOM A"/"IOM B") from the
// enclosure's "show enc": 0 when the MAC line was found. Both stay as they
// are (the caller's "N/A") when not found.
int find_oobm_version_and_mac(vdx_dev& device, std::string_view iom_name, std::string& version, std::string& mac) {
    vdx_error error{};
    if (send_cli_command(&error, device, "show enc") != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR sending command to get oobm version\n");
        return 1;
    }
    bool in_section = false;
    int result = 1;
    bool done = false;
    const auto value_of = [](std::string_view line, std::string_view marker, std::string& out, const char* what) {
        std::string_view value = line.substr(line.find(marker) + marker.size());
        value.remove_suffix(1);  // the LF
        if (line.size() - 1 >= kOobmValueLineLimit) {
            CONSOLE_PRINT(kVerbosityDebug, "ERROR retrieving the %s from: %s\n", what, visible_text(line).c_str());
            return false;
        }
        out = value;
        return true;
    };
    const cli_reply reply = read_cli_reply(&error, device, kCliCaptureAllocation, [&](std::string_view line) {
        if (done) return;
        CONSOLE_PRINT(kVerbosityDebug, "***parse line: %s", visible_text(line).c_str());
        const auto has = [&](std::string_view text) { return line.find(text) != std::string_view::npos; };
        if (!in_section) {
            in_section = has(iom_name) && !has("Enclosure Information");
            if (in_section) CONSOLE_PRINT(kVerbosityDebug, "***found: %s\n", visible_text(line).c_str());
        } else if (has("FW(OOBM)  : ")) {
            done = !value_of(line, "FW(OOBM)  : ", version, "OOBM version");
            CONSOLE_PRINT(kVerbosityDebug, "***version=%s\n", visible_text(version).c_str());
        } else if (has("MAC       : ")) {
            done = true;
            if (value_of(line, "MAC       : ", mac, "MAC value")) result = 0;
            CONSOLE_PRINT(kVerbosityDebug, "***mac=%s\n", visible_text(mac).c_str());
        }
    });
    if (!reply.read) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR retrieving drive information from the enclosure\n");
        return 1;
    }
    return result;
}

// Shows the OOBM settings of the IOM the host is attached through: 0 when
// shown, 1 (with a message) when the IOM or the page could not be read.
int read_oobm(vdx_dev& device, const enclosure_target& target) {
    CONSOLE_PRINT(kVerbosityDebug, "read_oobm\n");
    int iom = kIomA;
    if (target.single_iom) {
        CONSOLE_PRINT(kVerbosityDebug, "read_oobm: Single IOM = IOM A\n");
    } else {
        iom = get_iom_type(device);
        CONSOLE_PRINT(kVerbosityDebug, "%s", iom == kIomA   ? "read_oobm: IOM A\n"
                                             : iom == kIomB ? "read_oobm: IOM B\n"
                                                            : "read_oobm: Unknown IOM\n");
        if (iom != kIomA && iom != kIomB) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: could not tell which IOM the host is attached through\n");
            return 1;
        }
    }
    std::array<std::uint8_t, kOobmSenseLength> page{};
    vdx_error error{};
    std::uint32_t transferred = 0;
    const std::size_t at = iom == kIomA ? kOobmBlockA : kOobmBlockB;
    if (cmdxscsi_mode_sense10(&error, &device, false, true, 0, kOobmPage, kOobmSubpage, page, &transferred) != 0 ||
        transferred < at + kOobmBlockSize || (page[8] & 0x3F) != kOobmPage || page[9] != kOobmSubpage) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: could not read the OOBM settings (mode page 23h)\n");
        return 1;
    }
    const std::uint8_t* block = &page[at];
    char other[16];
    CONSOLE_PRINT(kVerbosityNormal, "    %s   : %s\n", iom == kIomA ? "IOM A" : "IOM B", mode_text(block[0], other));
    std::string version = "N/A";
    std::string mac = "N/A";
    find_oobm_version_and_mac(device, iom == kIomA ? "IOM A" : "IOM B", version, mac);
    const auto address = [&](const char* label, std::size_t offset) {
        CONSOLE_PRINT(kVerbosityNormal, "    %s : %u.%u.%u.%u\n", label, block[offset], block[offset + 1],
                      block[offset + 2], block[offset + 3]);
    };
    address("IP     ", 4);
    address("Netmask", 8);
    address("Gateway", 12);
    CONSOLE_PRINT(kVerbosityNormal, "    OOBM FW : %s\n", visible_text(version).c_str());
    CONSOLE_PRINT(kVerbosityNormal, "    MAC     : %s\n", visible_text(mac).c_str());
    return 0;
}

// The MODE SELECT(10) parameter list that sets one IOM's OOBM block.
std::array<std::uint8_t, kOobmSelectLength> oobm_select_list(const iom_options& request) {
    std::array<std::uint8_t, kOobmSelectLength> list{};
    list[8] = 0x40 | kOobmPage;
    list[9] = kOobmSubpage;
    put_be16(&list[10], 0x001A);
    list[12] = request.iom;
    list[16] = request.dhcp;
    for (std::size_t i = 0; i < 4; ++i) {
        list[20 + i] = static_cast<std::uint8_t>(request.ip[i]);
        list[24 + i] = static_cast<std::uint8_t>(request.netmask[i]);
        list[28 + i] = static_cast<std::uint8_t>(request.gateway[i]);
    }
    return list;
}

int write_oobm(vdx_dev& device, const iom_options& request) {
    CONSOLE_PRINT(kVerbosityDebug, "write_oobm\n");
    auto list = oobm_select_list(request);
    vdx_error error{};
    const int status = cmdxscsi_mode_select10(&error, &device, true, false, false, list);
    CONSOLE_PRINT(kVerbosityNormal, "%s", status == 0 ? "Command to set new OOBM values was successful\n"
                                                      : "ERROR: Command to set new OOBM values failed\n");
    return status;
}

int iom_run(target_list& targets) {
    for_each_enclosure(targets, [](vdx_dev& device, const enclosure_target& target) {
        if (g_iom.show) {
            show_iom_configuration(device, target);
        } else if (g_iom.read) {
            if (oobm_product(target))
                read_oobm(device, target);
            else
                print_product_not_supported();
        } else if (g_iom.write) {
            if (oobm_product(target) && !target.multi_tenant)
                write_oobm(device, g_iom);
            else
                print_product_not_supported();
        }
    });
    return 0;
}

}  // namespace

extern constinit const operation kIomOperation{
    .code = 6,
    .keyword = "iom",
    .summary = "display and set IOM configuration",
    .parse = [](std::span<const char* const> args) { return iom_parse_args(g_iom, args); },
    .usage = iom_usage,
    .run = iom_run,
    // Setting OOBM values changes one IOM of one enclosure.
    .needs_one_target = [] { return g_iom.write != 0; },
};

}  // namespace enctl
