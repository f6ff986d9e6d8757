// The Linux backend on sysfs trees written by the lab's own tree writer, and
// its SG_IO and NVMe requests through the ioctl seam.
#include <gtest/gtest.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "basekit/trace.h"
#include "tests/support/golden.h"
#include "sim/lab_description.h"
#include "sim/sysfs_tree.h"
#include "vdx/linux/vdx_linux.h"

namespace enctl {
namespace {

namespace fs = std::filesystem;

// An enclosure on host 1, a SAS disk in its slot, an unseated SATA disk (host
// 2), an NVMe controller and a second enclosure on host 300 whose driver is
// aacraid. Nodes: sg0 SAS disk, sg1 enclosure, sg2 SATA disk, sg3 enclosure.
constexpr const char* kLab = R"({"kernel_class_links": LINKS,
  "enclosures": [{"product": 5, "host": 1, "target": 5}, {"product": 1, "host": 300, "target": 7, "proc_name": "aacraid"}],
  "disks": [{"enclosure": "encl0", "slot": 0}, {"kind": "sata"}, {"kind": "nvme"}]})";

std::string g_traced;

class LinuxTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("enctl-vdx-" + std::to_string(::getpid()));
        write_tree(true);
        vdx_linux_set_sysroot(root_.string());
        g_traced.clear();
        trace_clear_sinks();
        trace_register_sink([](const char* text) { g_traced += text; });
        g_trace_level = kTraceDevice;
    }
    void TearDown() override {
        g_trace_level = 0;
        trace_clear_sinks();
        vdx_linux_set_sysroot("");
        linux_ioctl_seam = &linux_ioctl_default;
        fs::remove_all(root_);
    }
    void write_tree(bool kernel_class_links) {
        std::string json = kLab, error;
        json.replace(json.find("LINKS"), 5, kernel_class_links ? "true" : "false");
        const auto description = sim::parse_lab_description(json, error);
        ASSERT_TRUE(description) << error;
        ASSERT_TRUE(sim::write_sysfs_tree(sim::lab(*description), root_.string(), error)) << error;
    }
    std::vector<std::string> names(std::uint32_t flags) {
        list_ = vdx_dev_list{};
        vdx_dev_enumerate_flags(&list_, flags);
        std::vector<std::string> out;
        for (const vdx_dev& d : list_.view()) out.emplace_back(d.name);
        return out;
    }
    fs::path root_;
    vdx_dev_list list_;
};

TEST(LinuxNames, DiskIndexOfKernelNamesAndTheRoot) {
    const std::pair<const char*, int> names[] = {{"sda", 0},   {"sdb", 1},  {"sdz", 25}, {"sdaa", 26}, {"sdab", 27},
                                                 {"sdba", 52}, {"sd", -1},  {"sda1", -1}, {"hda", -1}};
    for (const auto& [name, index] : names) EXPECT_EQ(vdx_linux_disk_index(name), index) << name;

    // Runs on a lab's root (ENCTL_SYSROOT) are the end-to-end tests' part.
    ::unsetenv("ENCTL_SYSROOT");
    EXPECT_EQ(vdx_linux_path("/dev/sg3"), "/dev/sg3");
}

// Names, nodes, kinds, drive numbers, buses and addresses (golden file), the
// same with and without the kernel's class links.
TEST_F(LinuxTree, EnumeratesTheLabsDevicesInKernelOrderWithTheirNodesAndAddresses) {
    for (bool kernel_class_links : {true, false}) {
        write_tree(kernel_class_links);
        std::string text;
        for (const std::string& name : names(kVdxEnumAll)) text += name + " ";
        for (const vdx_dev& d : list_.view()) {
            char line[160];
            text += "\n" + std::string(d.device_path);
            std::snprintf(line, sizeof line, ": interface %u, connection %u, driver %u, drive %d, bus %d, address %u:%u:%u:%u, %s",
                          d.interface, d.connection, d.connection_driver,
                          static_cast<int>(d.physical_drive_number), vdx_dev_bus_number(d), d.scsi_address.port,
                          d.scsi_address.path, d.scsi_address.target, d.scsi_address.lun,
                          d.os_handle == kVdxInvalidHandle ? "closed" : "open");
            text += line;
        }
        testing::expect_golden(text + "\n", "vdx/golden/linux_devices.txt");
        // Enclosure discovery's mask leaves the controllers out.
        EXPECT_EQ(names(0x23).size(), 4u);
    }
    EXPECT_TRUE(vdx_adaptec_present());
    fs::remove(root_ / "sys/class/scsi_host/host300");
    EXPECT_FALSE(vdx_adaptec_present());
    fs::remove_all(root_);
    EXPECT_TRUE(names(kVdxEnumAll).empty());
    EXPECT_EQ(list_.capacity, 8u);
}

TEST_F(LinuxTree, BrokenEntriesAreSkippedWithATraceLineAndAbsoluteLinksReadBelowTheRoot) {
    const fs::path sg = root_ / "sys/class/scsi_generic";
    fs::create_directories(root_ / "sys/block/sdc");  // no device link
    fs::create_directories(sg / "sg5");
    fs::create_symlink("/sys/devices/platform/host1", sg / "sg5/device");  // not a SCSI address
    fs::remove(fs::canonical(sg / "sg1/device") / "type");
    fs::create_directories(sg / "sg7");
    fs::create_symlink("../../nowhere/4:0:0:0", sg / "sg7/device");  // dangling
    fs::create_directories(sg / "sg8");
    fs::create_symlink("../sg8/loop", sg / "sg8/loop");  // links that go round
    fs::create_symlink("loop/4:0:0:0", sg / "sg8/device");
    fs::create_directories(sg / "sgX");
    // The kernel's relative link replaced by an absolute one, read below the root.
    fs::remove(sg / "sg3");
    fs::create_directories(sg / "sg3");
    fs::create_symlink("/sys/devices/platform/host300/target300:0:7/300:0:7:0", sg / "sg3/device");
    EXPECT_EQ(names(kVdxEnumAll), (std::vector<std::string>{"disk0", "disk1", "nvme0", "SCSI300:0,7,0"}));
    for (const char* line : {"skipping sdc - no device link\n", "skipping sg5 - device host1 is not a scsi address\n",
                             "skipping sg1 - peripheral type unreadable\n", "skipping sg7 - no device link\n",
                             "skipping sg8 - no device link\n",
                             "skipping /sys/class/scsi_generic/sgX - unexpected name\n"})
        EXPECT_NE(g_traced.find(line), std::string::npos) << line << g_traced;
}

// A FIFO planted as an attribute is never opened (it would block the run; here
// its writer would hand over a valid type), and a LUN above 32 bits keeps its
// value in the device name.
TEST_F(LinuxTree, FifoAttributeIsNotReadAndLunKeepsItsSixtyFourBits) {
    const fs::path sg = root_ / "sys/class/scsi_generic";
    const fs::path fifo = fs::canonical(sg / "sg1/device") / "type";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
        if (fd >= 0 && ::write(fd, "13\n", 3) == 3) ::close(fd);
    });
    const fs::path big_lun = root_ / "sys/devices/platform/host300/target300:0:7/300:0:7:4294967296";
    fs::create_directories(big_lun);
    std::ofstream(big_lun / "type") << "13\n";
    fs::create_directories(sg / "sg9");
    fs::create_symlink("/sys/devices/platform/host300/target300:0:7/300:0:7:4294967296", sg / "sg9/device");
    EXPECT_EQ(names(kVdxEnumSes), (std::vector<std::string>{"SCSI300:0,7,0", "SCSI300:0,7,4294967296"}));
    EXPECT_NE(g_traced.find("skipping sg1 - peripheral type unreadable\n"), std::string::npos) << g_traced;
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
    writer.join();
    ::close(reader);
}

TEST_F(LinuxTree, OpenJoinsTheRootAndACopyOpensItsOwnHandle) {
    names(kVdxEnumSes);
    vdx_dev& enclosure = list_[0];
    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &enclosure), 0) << error.message;
    vdx_dev copy;
    ASSERT_EQ(vdx_dev_copy(&copy, &enclosure), 0);
    EXPECT_TRUE(vdx_dev_is_open(copy));
    EXPECT_NE(copy.os_handle, enclosure.os_handle);
    EXPECT_EQ(vdx_dev_bus_number(copy), 1) << "the backend state came along";
    EXPECT_EQ(vdx_dev_close(&error, &enclosure), 0);
    EXPECT_FALSE(vdx_dev_is_open(enclosure));

    fs::remove(root_ / "dev/sg1");
    EXPECT_EQ(vdx_dev_open(&error, &enclosure), 1);
    EXPECT_EQ(std::tuple(error.code, error.subcode), std::tuple(4u, std::uint32_t{ENOENT}));
    EXPECT_STREQ(error.message, "linux dev open failed, could not open /dev/sg1");
    EXPECT_TRUE(vdx_dev_is_open(copy));
    vdx_dev closed_copy;
    EXPECT_EQ(vdx_dev_copy(&closed_copy, &enclosure), 0);
    EXPECT_FALSE(vdx_dev_is_open(closed_copy));
}

// ---------------------------------------------------------------------------
// The ioctl seam: a scripted kernel that records the request and answers.

struct sg_answer {
    int result = 0, error_number = 0;
    unsigned char status = 0;
    unsigned short host = 0, driver = 0;
    int resid = 0;
    std::vector<std::uint8_t> sense = {}, data = {};
};
struct kernel {
    unsigned long request = 0;
    sg_io_hdr_t hdr{};
    std::vector<std::uint8_t> cdb;
    nvme_passthru_cmd nvme{};
    sg_answer answer;  // for NVMe: result is the status
    unsigned nvme_result = 0;
    std::function<unsigned char(const std::uint8_t* cdb)> status_for;
};
kernel g_kernel;

int scripted_ioctl(int, unsigned long request, void* arg) {
    kernel& k = g_kernel;
    const sg_answer& a = k.answer;
    k.request = request;
    auto* hdr = static_cast<sg_io_hdr_t*>(arg);
    auto* nvme = static_cast<nvme_passthru_cmd*>(arg);
    if (request == SG_IO) {
        k.hdr = *hdr;
        k.cdb.assign(hdr->cmdp, hdr->cmdp + hdr->cmd_len);
    } else {
        k.nvme = *nvme;
    }
    if (a.result < 0) {
        errno = a.error_number;
        return -1;
    }
    if (request != SG_IO) {
        nvme->result = k.nvme_result;
        return a.result;
    }
    hdr->status = k.status_for ? k.status_for(hdr->cmdp) : a.status;
    hdr->host_status = a.host;
    hdr->driver_status = a.driver;
    hdr->resid = a.resid;
    hdr->sb_len_wr = static_cast<unsigned char>(std::min<std::size_t>(a.sense.size(), hdr->mx_sb_len));
    std::copy_n(a.sense.begin(), hdr->sb_len_wr, hdr->sbp);
    if (hdr->dxfer_direction == SG_DXFER_FROM_DEV)
        std::copy_n(a.data.begin(), std::min<std::size_t>(a.data.size(), hdr->dxfer_len),
                    static_cast<std::uint8_t*>(hdr->dxferp));
    return 0;
}

class Seam : public LinuxTree {
protected:
    void SetUp() override {
        LinuxTree::SetUp();
        g_kernel = kernel{};
        linux_ioctl_seam = &scripted_ioctl;
        names(kVdxEnumAll);
        vdx_error error{};
        for (vdx_dev& d : list_.view()) ASSERT_EQ(vdx_dev_open(&error, &d), 0) << error.message;
    }
    // A 6-byte RECEIVE DIAGNOSTIC RESULTS (or the direction given) of 64 bytes.
    static vdx_scsi_cmd command(std::uint8_t* buffer, std::uint32_t direction = kVdxDirFromDevice) {
        vdx_scsi_cmd cmd{};
        std::copy(kCdb.begin(), kCdb.end(), cmd.cdb);
        cmd.cdb_length = 6;
        cmd.data = direction == kVdxDirNone ? nullptr : buffer;
        cmd.transfer_length = 64;
        cmd.sense_length = 32;
        cmd.timeout = 30000;
        cmd.direction = direction;
        return cmd;
    }
    static inline const std::vector<std::uint8_t> kCdb = {0x1C, 0x01, 0x02, 0x00, 64, 0x00};
};

// A RECEIVE DIAGNOSTIC RESULTS of 64 bytes on the enclosure: the request
// built, and the kernel's answer -> result, error record, status, sense,
// count, time-out mark (golden file).
TEST_F(Seam, ScsiRequestAndTheKernelsAnswer) {
    const std::vector<std::uint8_t> sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    const std::pair<std::uint32_t, sg_answer> rows[] = {
        {kVdxDirFromDevice, {.resid = 60, .data = {2, 0, 0, 0x10}}},
        {kVdxDirToDevice, {}},
        {kVdxDirNone, {}},
        // CHECK CONDITION with sense available (driver status 08h) is a delivered command.
        {kVdxDirFromDevice, {.status = 2, .driver = 8, .resid = 64, .sense = sense}},
        {kVdxDirFromDevice, {.result = -1, .error_number = EBADF}},
        {kVdxDirFromDevice, {.host = 1}},
        {kVdxDirFromDevice, {.driver = 4}},
        // Time-outs: host status DID_TIME_OUT, driver status DRIVER_TIMEOUT, ETIMEDOUT.
        {kVdxDirFromDevice, {.host = 3}},
        {kVdxDirFromDevice, {.driver = 6}},
        {kVdxDirFromDevice, {.result = -1, .error_number = ETIMEDOUT}},
        {kVdxDirFromDevice, {.resid = 100}},  // residual beyond the transfer
        {kVdxDirFromDevice, {.resid = -5}},
    };
    std::string text;
    for (const auto& [direction, answer] : rows) {
        g_kernel.answer = answer;
        std::uint8_t buffer[64] = {};
        vdx_scsi_cmd cmd = command(buffer, direction);
        vdx_error error{};
        list_[3].timed_out = false;
        const int rc = vdx_scsi_execute(&error, &list_[3], &cmd);
        EXPECT_EQ(std::tuple(g_kernel.request, g_kernel.hdr.interface_id, g_kernel.cdb, g_kernel.hdr.dxferp,
                             g_kernel.hdr.dxfer_len, +g_kernel.hdr.mx_sb_len, g_kernel.hdr.timeout),
                  std::tuple(static_cast<unsigned long>(SG_IO), 'S', kCdb, static_cast<void*>(cmd.data),
                             cmd.data ? 64u : 0u, 32, 30000u));
        char line[160];
        std::snprintf(line, sizeof line, "dir %u -> sg dir %d: rc %d, status %u, sense %u (%02X), %u bytes, byte 3 %02X%s",
                      direction, g_kernel.hdr.dxfer_direction, rc, cmd.scsi_status, cmd.sense_length, cmd.sense[12],
                      cmd.bytes_transferred, buffer[3], list_[3].timed_out ? ", timed out" : "");
        text += line + (" | error " + std::to_string(error.code) + "/" + std::to_string(error.subcode) + " ") +
                error.message + "\n";
    }
    testing::expect_golden(text, "vdx/golden/sg_io_answers.txt");
}

// A unit attention (here: reported LUNs changed, fixed and descriptor sense)
// means the command was not run: it is sent again, a bounded number of times;
// other check conditions are not.
TEST_F(Seam, UnitAttentionIsSentAgainAFewTimes) {
    struct row {
        std::vector<std::uint8_t> sense;
        int attentions;  // answers with the sense before a GOOD one
        int sent;        // SG_IO requests expected
        unsigned char status;
    };
    const std::vector<std::uint8_t> fixed = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3F, 0x0E};
    const std::vector<std::uint8_t> descriptor = {0x72, 0x06, 0x3F, 0x0E, 0, 0, 0, 0};
    const std::vector<std::uint8_t> not_ready = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x01};
    for (const row& r : std::vector<row>{{fixed, 1, 2, 0x00}, {descriptor, 3, 4, 0x00}, {fixed, 100, 4, 0x02},
                                         {not_ready, 100, 1, 0x02}}) {
        int sent = 0;
        g_kernel.answer = {.sense = r.sense};
        g_kernel.status_for = [&](const std::uint8_t*) -> unsigned char { return ++sent <= r.attentions ? 0x02 : 0x00; };
        std::uint8_t buffer[64];
        vdx_scsi_cmd cmd = command(buffer);
        vdx_error error{};
        ASSERT_EQ(vdx_scsi_execute(&error, &list_[3], &cmd), 0);
        EXPECT_EQ(sent, r.sent);
        EXPECT_EQ(cmd.scsi_status, r.status);
    }
}

TEST_F(Seam, NvmeAdminCommandAndItsStatus) {
    std::uint8_t buffer[4096];
    vdx_nvme_cmd cmd{};
    cmd.opcode = 0x06;
    cmd.cdw10 = 1;
    cmd.data = buffer;
    cmd.length = sizeof buffer;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 30000;
    g_kernel.answer.result = 0x4102;  // DNR, status code type 1, status code 2
    g_kernel.nvme_result = 0xABCD;
    vdx_error error{};
    ASSERT_EQ(vdx_nvme_execute(&error, &list_[2], &cmd), 0);
    EXPECT_EQ(std::tuple(g_kernel.request, g_kernel.nvme.opcode, g_kernel.nvme.cdw10, g_kernel.nvme.addr,
                         g_kernel.nvme.data_len, g_kernel.nvme.timeout_ms),
              std::tuple(static_cast<unsigned long>(NVME_IOCTL_ADMIN_CMD), 0x06, 1u,
                         reinterpret_cast<std::uintptr_t>(buffer), 4096u, 30000u));
    EXPECT_EQ(cmd.completion[0], 0xABCDu);
    EXPECT_EQ(cmd.completion[3] >> 16, 0x4102u << 1) << "status code in bits 1-8, type in 9-11, phase 0";

    g_kernel.answer = {.result = -1, .error_number = ENOTTY};
    EXPECT_EQ(vdx_nvme_execute(&error, &list_[2], &cmd), 1);
    EXPECT_EQ(std::tuple(error.code, error.subcode, list_[2].timed_out), std::tuple(4u, std::uint32_t{ENOTTY}, false));
    // A command aborted at its time-out (Host Aborted Command, or EINTR).
    for (const sg_answer& aborted : {sg_answer{.result = 0x4371}, sg_answer{.result = -1, .error_number = EINTR}}) {
        list_[2].timed_out = false;
        g_kernel.answer = aborted;
        EXPECT_EQ(vdx_nvme_execute(&error, &list_[2], &cmd), 1);
        EXPECT_EQ(error.subcode, kVdxSubcodeTimedOut);
        EXPECT_TRUE(list_[2].timed_out);
    }
}

// Without a readable vendor (the kernel's INQUIRY decides otherwise, without
// a command) the disk is asked. A SAS disk refuses VPD 89h and ATA
// PASS-THROUGH...
TEST_F(Seam, ProbeAsksADiskWithoutAVendor) {
    vdx_error error{};
    for (const char* disk : {"sda", "sdb"}) ASSERT_TRUE(fs::remove(root_ / "sys/block" / disk / "device/vendor"));
    names(kVdxEnumAll);
    for (vdx_dev& d : list_.view()) ASSERT_EQ(vdx_dev_open(&error, &d), 0) << error.message;
    g_kernel.answer.status = 0x02;
    ASSERT_EQ(vdx_dev_probe(&error, &list_[0]), 0) << error.message;
    EXPECT_EQ(list_[0].interface, kVdxInterfaceScsi);
    EXPECT_EQ(g_kernel.cdb[0], 0x85);
    // ...a SATA disk has the ATA Information page...
    g_kernel.answer = {.data = {0x00, 0x89, 0x02, 0x38}};
    ASSERT_EQ(vdx_dev_probe(&error, &list_[1]), 0);
    EXPECT_EQ(list_[1].interface, kVdxInterfaceScsiSatAta);
    // ...or answers IDENTIFY through SAT.
    g_kernel.answer.data = {};
    g_kernel.status_for = [](const std::uint8_t* cdb) -> unsigned char { return cdb[0] == 0x85 ? 0 : 2; };
    list_[1].interface = 0;
    ASSERT_EQ(vdx_dev_probe(&error, &list_[1]), 0);
    EXPECT_EQ(list_[1].interface, kVdxInterfaceScsiSatAta);
}

}  // namespace
}  // namespace enctl
