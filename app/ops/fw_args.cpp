#include <cstring>
#include <string_view>

#include "app/ops/fw_options.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"

namespace enctl {

int fw_parse_args(fw_options& options, std::span<const char* const> args) {
    options = {};
    if (args.empty()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Illegal number of arguments\n\n");
        return 1;
    }
    const std::string_view first = args[0];
    // Flags that must stand alone.
    static constexpr struct {
        std::string_view keyword;
        std::uint32_t fw_options::*flag;
    } kAlone[] = {
        {"status", &fw_options::status},
        {"activate", &fw_options::activate},
        {"reset", &fw_options::reset},
    };
    for (const auto& entry : kAlone) {
        if (first != entry.keyword) continue;
        if (args.size() != 1) return 1;
        options.*entry.flag = 1;
        return 0;
    }
    // Downloads, optionally followed by the activation or the IOM reset.
    static constexpr struct {
        std::string_view keyword;
        std::uint32_t fw_options::*then;
    } kDownload[] = {
        {"download", nullptr},
        {"download_activate", &fw_options::activate},
        {"download_reset", &fw_options::reset},
    };
    for (const auto& entry : kDownload) {
        if (first != entry.keyword) continue;
        if (args.size() < 2 || args.size() > 3) return 1;
        if (std::strlen(args[1]) >= kFwFileSize) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: <file> cannot be more than %u characters\n\n",
                          static_cast<unsigned>(kFwFileSize));
            return 1;
        }
        options.download = 1;
        set_text(options.file, args[1]);
        if (entry.then) options.*entry.then = 1;
        if (args.size() == 3) {
            if (std::strcmp(args[2], "-nostatdelay") != 0) {
                CONSOLE_PRINT(kVerbosityNormal, "ERROR: unknown argument %s\n\n", args[2]);
                return 1;
            }
            options.nostatdelay = 1;
        }
        return 0;
    }
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: unknown argument %s\n\n", args[0]);
    return 1;
}

void fw_usage() {
    static constexpr char kUsage[] =
    "Usage:\n"
    "    fw activate | reset | status\n"
    "    fw download* <file> [-nostatdelay]\n"
    "\n"
    "Options for [argument]:\n"
    "    download <file>            download microcode with the given binary file\n"
    "    download_activate <file>   download followed by the activate command\n"
    "    download_reset <file>      download followed by the IOM reset command\n"
    "    activate                   activate the previously downloaded firmware\n"
    "    reset                      reset IOMs\n"
    "    status                     display the download microcode diagnostic page 0Eh\n"
    "    -nostatdelay               optional flag to skip the default delay after a download command\n"
    "\n"
    "The \"fw\" command requires the user to specify one target device.\n"
    "Example: enctl SCSI1:4,64,0 fw download <file>\n"
    "Example: enctl SCSI1:4,64,0 fw download_activate <file> -nostatdelay\n"
    "\n";
    CONSOLE_PRINT(kVerbosityNormal, "%s", kUsage);
}

}  // namespace enctl
