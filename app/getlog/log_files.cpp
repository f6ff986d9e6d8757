// Paths and files of the log tree.
#include <filesystem>
#include <system_error>

#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "app/getlog/getlog_steps.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace enctl {

std::string enter_log_folder(std::string_view folder, bool create) {
    std::string path = std::string(text_of(g_enctl_data.log_dir)) + kPathSeparator + std::string(folder);
    set_text(g_enctl_data.log_sub_dir, path);
    if (create) {
        // Inside the run's own fresh folder: a folder already there is one an
        // earlier step of this run made.
        std::error_code ignored;
        std::filesystem::create_directory(path, ignored);
    }
    return path;
}

std::string enclosure_file(const vdx_dev& device, std::string_view stem, std::string_view extension) {
    const enclosure_target* target = enclosure_of(device);
    const std::string_view encl = target ? text_of(target->name) : std::string_view{};
    return std::string(text_of(g_enctl_data.log_sub_dir)) + kPathSeparator + std::string(stem) + "_" +
           std::string(encl) + std::string(extension);
}

bool append_capture(const std::string& path, std::span<const std::uint8_t> bytes) {
    return append_to_file(path.c_str(), bytes.data(), bytes.size()) == 0;
}

bool append_capture(const std::string& path, std::string_view text) {
    return append_to_file(path.c_str(), text.data(), text.size()) == 0;
}

}  // namespace enctl
