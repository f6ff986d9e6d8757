// The host and drive captures of getlog on a Linux host: the system's own
// reporting tools, the sg3_utils and smartmontools tools on each device's own
// node, and a few lists read from sysfs (below the root the device layer
// reads, so that the lab shows its own devices). README.md lists the files.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/discovery/target_list.h"
#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_steps.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "vdx/vdx.h"

namespace fs = std::filesystem;

namespace enctl {

namespace {

// The sg3_utils tools whose versions the health report checks.
constexpr const char* kVersionedTools[] = {"sg_scan", "sg_ses", "sg_inq", "sg_vpd",
                                           "sg_logs", "sg_ses_microcode", "sg_senddiag"};

std::string in_folder(const std::string& folder, std::string_view file) {
    return folder + kPathSeparator + std::string(file);
}

void run_into(const std::string& file, std::vector<std::string> argv, bool merge_errors = false) {
    run_command({.argv = std::move(argv), .output_file = file, .merge_errors = merge_errors});
}

std::string read_small_file(const fs::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// The entries of a sysfs class folder below the device root, in name order.
std::vector<fs::path> class_entries(std::string_view class_folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(vdx_os_path(class_folder), ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

void write_text(const std::string& file, const std::string& text) {
    append_capture(file, text);
}

// Every SCSI host with its driver and that driver's version, and the NVMe
// driver's when there are NVMe controllers.
std::string driver_versions() {
    std::ostringstream out;
    const auto version_of = [](const std::string& driver) {
        const std::string v = read_small_file(vdx_os_path("/sys/module/" + driver + "/version"));
        return v.empty() ? std::string("unknown") : v;
    };
    for (const fs::path& host : class_entries("/sys/class/scsi_host")) {
        const std::string driver = read_small_file(host / "proc_name");
        out << host.filename().string() << ": " << (driver.empty() ? "unknown" : driver) << " "
            << (driver.empty() ? "" : version_of(driver));
        const std::string address = read_small_file(host / "host_sas_address");
        if (!address.empty()) out << " sas_address " << address;
        out << "\n";
    }
    if (!class_entries("/sys/class/nvme").empty()) out << "nvme: nvme " << version_of("nvme") << "\n";
    return out.str();
}

std::string nvme_devices() {
    std::ostringstream out;
    for (const fs::path& controller : class_entries("/sys/class/nvme"))
        out << controller.filename().string() << ": model " << read_small_file(controller / "model") << ", serial "
            << read_small_file(controller / "serial") << ", firmware " << read_small_file(controller / "firmware_rev")
            << "\n";
    return out.str();
}

// sg_scan on every SCSI generic node (the scan of a host's own /dev otherwise).
std::vector<std::string> sg_scan_argv() {
    std::vector<std::string> argv = {"sg_scan", "-i"};
    for (const fs::path& node : class_entries("/sys/class/scsi_generic"))
        argv.push_back(vdx_os_path("/dev/" + node.filename().string()));
    return argv;
}

void print_created(const std::string& folder) { CONSOLE_PRINT(kVerbosityNormal, "Created files in %s\n", folder.c_str()); }

// The disks the device layer lists (SCSI disks and NVMe controllers), by
// their host node ("/dev/sda") and its name ("sda").
struct disk {
    std::string path;
    std::string name;
    bool nvme;
};

std::vector<disk> list_disks() {
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumDisks | kVdxEnumScsiControllers);
    std::vector<disk> disks;
    for (const vdx_dev& device : list.view()) {
        const std::string path(text_of(device.device_path));
        const bool nvme = path.starts_with("/dev/nvme");
        if (nvme || path.starts_with("/dev/sd")) disks.push_back({path, fs::path(path).filename().string(), nvme});
    }
    vdx_dev_release(&list);
    return disks;
}

void save_drive_file(const std::string& file, std::vector<std::string> argv) {
    run_into(file, std::move(argv));
    CONSOLE_PRINT(kVerbosityNormal, "*File saved: %s\n", file.c_str());
}

}  // namespace

void get_system_heavy_logs() {
    const std::string folder = enter_log_folder(kHostLogsFolder, true);
    run_into(in_folder(folder, "sysinfo_os.txt"), {"uname", "-a"});
    std::ifstream release("/etc/os-release", std::ios::binary);
    std::ostringstream text;
    text << release.rdbuf();
    write_text(in_folder(folder, "os_release.txt"), text.str());
    run_into(in_folder(folder, "pci_devices.txt"), {"lspci", "-vvv"}, true);
    print_created(folder);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void get_system_light_logs() {
    std::string folder = enter_log_folder(kDisksFolder, true);
    run_into(in_folder(folder, "sg_scan_s.txt"), sg_scan_argv());
    run_into(in_folder(folder, "smartctl_scan.txt"), {"smartctl", "--scan"});
    run_into(in_folder(folder, "vantor_report.txt"), {"vantor", "generate-report"});
    run_into(in_folder(folder, "lsblk.txt"),
             {"lsblk", "-o", "NAME,KNAME,TYPE,SIZE,VENDOR,MODEL,SERIAL,REV,WWN,TRAN,HCTL,STATE"});
    write_text(in_folder(folder, "nvme_devices.txt"), nvme_devices());
    run_into(in_folder(folder, "multipath_-ll.txt"), {"multipath", "-ll"}, true);
    print_created(folder);

    folder = enter_log_folder(kHostLogsFolder, true);
    run_into(in_folder(folder, "hostname_file.txt"), {"hostname"});
    write_text(in_folder(folder, "driver_versions.txt"), driver_versions());
    run_into(in_folder(folder, "kernel_log.txt"), {"dmesg"}, true);
    run_into(in_folder(folder, "system_journal.txt"),
             {"journalctl", "--no-pager", "--reverse", "--since", "90 days ago"}, true);
    print_created(folder);

    folder = enter_log_folder(kSesFolder, true);
    run_into(in_folder(folder, "sg_map_-x.txt"), {"sg_map", "-x", "-i"}, true);
    for (const char* tool : kVersionedTools)
        run_into(in_folder(folder, std::string(tool) + "_-V.txt"), {tool, "-V"}, true);
    print_created(folder);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

void get_drive_logs() {
    const std::string folder = enter_log_folder(kDisksFolder, true);
    const std::vector<disk> disks = list_disks();
    for (const disk& d : disks) {
        const std::string node = vdx_os_path(d.path);
        // "sat,auto": ATA commands for a SATA disk behind SCSI/ATA translation, SCSI for the others.
        const char* type = d.nvme ? "nvme" : "sat,auto";
        CONSOLE_PRINT(kVerbosityNormal, "device: %s\n", d.path.c_str());
        save_drive_file(in_folder(folder, "smartctl_health_" + d.name + ".txt"), {"smartctl", "-d", type, "-H", node});
        save_drive_file(in_folder(folder, "smartctl_extended_" + d.name + ".txt"),
                        {"smartctl", "-d", type, "-x", node});
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
    for (const disk& d : disks) {
        if (d.nvme) continue;
        const std::string node = vdx_os_path(d.path);
        CONSOLE_PRINT(kVerbosityNormal, "device: %s\n", d.path.c_str());
        save_drive_file(in_folder(folder, "sg_logs_-p0x18_" + d.name + ".txt"), {"sg_logs", node, "-p0x18"});
        save_drive_file(in_folder(folder, "sg_inq_" + d.name + ".txt"), {"sg_inq", node});
        save_drive_file(in_folder(folder, "sg_inq_-p0x80_" + d.name + ".txt"), {"sg_inq", "-p0x80", node});
        save_drive_file(in_folder(folder, "sg_inq_-p0x83_" + d.name + ".txt"), {"sg_inq", "-p0x83", node});
        CONSOLE_PRINT(kVerbosityNormal, "\n");
    }
}

int get_private_vendor_logs(vdx_dev& device) {
    const enclosure_target* target = enclosure_of(device);
    if (!target || (target->product_code != 3 && target->product_code != 4)) return 0;
    const std::string folder = enter_log_folder(kSesFolder, true);
    // The tool leaves its dump files in its working folder: run it in "ses".
    const command_line command{.argv = {"korv_diag_tool", "-d", vdx_dev_tool_name(device), "-n"},
                               .working_dir = folder};
    int count = run_command(command) == 0 ? 1 : 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("diag_dump_") && name.ends_with(".dat")) {
            ++count;
            break;
        }
    }
    print_created(folder);
    return count;
}

}  // namespace enctl
