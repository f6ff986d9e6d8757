#include <gtest/gtest.h>
#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include "basekit/trace.h"
#include "vdx/linux/vdx_linux.h"
#include "vdx/vdx.h"

namespace enctl {
namespace {

namespace fs = std::filesystem;

std::string g_traced;
void capture_sink(const char* text) { g_traced += text; }

void write_file(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A fake sysfs and /dev tree below a temporary root.
class LinuxTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("enctl-vdx-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        vdx_linux_set_sysroot(root_.string());
        trace_clear_sinks();
        trace_register_sink(capture_sink);
        g_traced.clear();
        g_trace_level = kTraceDevice;
    }
    void TearDown() override {
        g_trace_level = 0;
        trace_clear_sinks();
        vdx_linux_set_sysroot("");
        linux_ioctl_seam = &linux_ioctl_default;
        fs::remove_all(root_);
    }

    // A SCSI device folder "H:C:T:L" below a host, with its type and node.
    fs::path scsi_device(const std::string& hctl, int type) {
        const std::string host = hctl.substr(0, hctl.find(':'));
        const fs::path dir = root_ / "sys/devices/platform" / ("host" + host) /
                             ("target" + hctl.substr(0, hctl.rfind(':'))) / hctl;
        write_file(dir / "type", std::to_string(type) + "\n");
        write_file(dir / "vendor", "ACME    \n");
        return dir;
    }
    // As on a host: the class entry is a link to the device's own entry,
    // whose "device" link climbs back to the SCSI device folder.
    void sg(const std::string& name, const fs::path& device_dir) {
        const fs::path own = device_dir / "scsi_generic" / name;
        fs::create_directories(own);
        fs::create_symlink("../../../" + device_dir.filename().string(), own / "device");
        fs::create_directories(root_ / "sys/class/scsi_generic");
        fs::create_symlink(fs::relative(own, root_ / "sys/class/scsi_generic"), root_ / "sys/class/scsi_generic" / name);
        write_file(root_ / "dev" / name, "");
    }
    void block(const std::string& name, const fs::path& device_dir) {
        const fs::path own = device_dir / "block" / name;
        fs::create_directories(own);
        fs::create_symlink("../../../" + device_dir.filename().string(), own / "device");
        fs::create_directories(root_ / "sys/block");
        fs::create_symlink(fs::relative(own, root_ / "sys/block"), root_ / "sys/block" / name);
        write_file(root_ / "dev" / name, "");
    }
    void nvme(const std::string& name) {
        write_file(root_ / "sys/class/nvme" / name / "model", "ACME NVMe\n");
        write_file(root_ / "dev" / name, "");
    }
    // The lab layout: an enclosure, a SAS disk, a SATA disk, an NVMe controller.
    void standard_tree() {
        sg("sg0", scsi_device("1:0:5:0", 13));
        const fs::path sas = scsi_device("1:0:6:0", 0);
        sg("sg1", sas);
        block("sdb", sas);
        const fs::path sata = scsi_device("2:0:0:0", 0);
        sg("sg2", sata);
        block("sdaa", sata);
        nvme("nvme0");
    }

    fs::path root_;
};

TEST(LinuxNames, DiskIndexOfKernelNames) {
    EXPECT_EQ(vdx_linux_disk_index("sda"), 0);
    EXPECT_EQ(vdx_linux_disk_index("sdb"), 1);
    EXPECT_EQ(vdx_linux_disk_index("sdz"), 25);
    EXPECT_EQ(vdx_linux_disk_index("sdaa"), 26);
    EXPECT_EQ(vdx_linux_disk_index("sdab"), 27);
    EXPECT_EQ(vdx_linux_disk_index("sdba"), 52);
    EXPECT_EQ(vdx_linux_disk_index("sd"), -1);
    EXPECT_EQ(vdx_linux_disk_index("sda1"), -1);
    EXPECT_EQ(vdx_linux_disk_index("hda"), -1);
}

TEST(LinuxNames, RootComesFromTheEnvironmentUnlessSet) {
    vdx_linux_set_sysroot("");
    ::setenv("ENCTL_SYSROOT", "/tmp/lab-root/", 1);
    EXPECT_EQ(vdx_linux_sysroot(), "/tmp/lab-root/");
    EXPECT_EQ(vdx_linux_path("/dev/sg3"), "/tmp/lab-root/dev/sg3");
    vdx_linux_set_sysroot("/x");
    EXPECT_EQ(vdx_linux_path("/dev/sg3"), "/x/dev/sg3");
    vdx_linux_set_sysroot("");
    ::unsetenv("ENCTL_SYSROOT");
    EXPECT_EQ(vdx_linux_sysroot(), "/");
    EXPECT_EQ(vdx_linux_path("/dev/sg3"), "/dev/sg3");
}

TEST_F(LinuxTree, EnumeratesDisksNvmeAndEnclosuresWithNamesAddressesAndPaths) {
    standard_tree();
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    ASSERT_EQ(list.count, 4u) << g_traced;

    const vdx_dev& sas = list[0];
    EXPECT_STREQ(sas.name, "disk1");
    EXPECT_STREQ(sas.device_path, "/dev/sdb");
    EXPECT_EQ(sas.physical_drive_number, 1u);
    EXPECT_EQ(sas.connection, kVdxConnectionStorage);
    EXPECT_EQ(sas.interface, 0u);
    EXPECT_EQ(sas.scsi_address.port, 1);
    EXPECT_EQ(sas.scsi_address.target, 6);
    EXPECT_EQ(sas.os_handle, kVdxInvalidHandle);

    const vdx_dev& sata = list[1];
    EXPECT_STREQ(sata.name, "disk26");
    EXPECT_STREQ(sata.device_path, "/dev/sdaa");
    EXPECT_EQ(sata.physical_drive_number, 26u);
    EXPECT_EQ(vdx_dev_bus_number(sata), 2);

    const vdx_dev& ctrl = list[2];
    EXPECT_STREQ(ctrl.name, "nvme0");
    EXPECT_STREQ(ctrl.device_path, "/dev/nvme0");
    EXPECT_EQ(ctrl.interface, kVdxInterfaceNvme);
    EXPECT_EQ(ctrl.connection, kVdxConnectionStorage);

    const vdx_dev& enc = list[3];
    EXPECT_STREQ(enc.name, "SCSI1:0,5,0");
    EXPECT_STREQ(enc.device_path, "/dev/sg0");
    EXPECT_EQ(enc.connection, kVdxConnectionEnclosure);
    EXPECT_EQ(enc.interface, kVdxInterfaceScsi);
    EXPECT_EQ(enc.scsi_address.port, 1);
    EXPECT_EQ(enc.scsi_address.path, 0);
    EXPECT_EQ(enc.scsi_address.target, 5);
    EXPECT_EQ(enc.scsi_address.lun, 0);
    EXPECT_EQ(vdx_dev_bus_number(enc), 1);

    // Enclosure discovery's mask leaves the controllers out.
    vdx_dev_enumerate_flags(&list, 0x23);
    EXPECT_EQ(list.count, 3u);
}

TEST_F(LinuxTree, BrokenEntriesAreSkippedWithATraceLine) {
    standard_tree();
    fs::create_directories(root_ / "sys/block/sdc");  // no device link
    const fs::path odd = root_ / "sys/devices/platform/odd";
    write_file(odd / "type", "13\n");
    sg("sg5", odd);  // not a SCSI address
    const fs::path untyped = scsi_device("3:0:1:0", 13);
    fs::remove(untyped / "type");
    sg("sg6", untyped);
    fs::create_directories(root_ / "sys/class/scsi_generic/sgX");
    fs::create_directories(root_ / "sys/class/scsi_generic/sg7");
    fs::create_symlink("../../nowhere/4:0:0:0", root_ / "sys/class/scsi_generic/sg7/device");  // dangling
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    EXPECT_EQ(list.count, 4u);
    EXPECT_NE(g_traced.find("skipping sdc - no device link\n"), std::string::npos) << g_traced;
    EXPECT_NE(g_traced.find("skipping sg5 - device odd is not a scsi address\n"), std::string::npos);
    EXPECT_NE(g_traced.find("skipping sg6 - peripheral type unreadable\n"), std::string::npos);
    EXPECT_NE(g_traced.find("skipping sg7 - no device link\n"), std::string::npos);
    EXPECT_NE(g_traced.find("skipping /sys/class/scsi_generic/sgX - unexpected name\n"), std::string::npos);
}

TEST_F(LinuxTree, AbsoluteLinksAreReadBelowTheRootAndBigHostNumbersKept) {
    const fs::path dir = scsi_device("300:0:7:0", 13);
    const fs::path entry = root_ / "sys/class/scsi_generic/sg9";
    fs::create_directories(entry);
    fs::create_symlink("/sys/devices/platform/host300/target300:0:7/300:0:7:0", entry / "device");
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumSes);
    ASSERT_EQ(list.count, 1u) << g_traced;
    EXPECT_STREQ(list[0].name, "SCSI300:0,7,0");
    EXPECT_EQ(vdx_dev_bus_number(list[0]), 300);
}

TEST_F(LinuxTree, EmptyRootEnumeratesNothing) {
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.capacity, 8u);
}

TEST_F(LinuxTree, OpenJoinsTheRootAndFailureIsError4WithErrno) {
    standard_tree();
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumSes);
    ASSERT_EQ(list.count, 1u);
    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &list[0]), 0) << error.message;
    EXPECT_TRUE(vdx_dev_is_open(list[0]));

    vdx_dev copy;
    ASSERT_EQ(vdx_dev_copy(&copy, &list[0]), 0);
    EXPECT_TRUE(vdx_dev_is_open(copy));
    EXPECT_NE(copy.os_handle, list[0].os_handle);
    EXPECT_EQ(vdx_dev_close(&error, &list[0]), 0);
    EXPECT_FALSE(vdx_dev_is_open(list[0]));

    fs::remove(root_ / "dev/sg0");
    EXPECT_EQ(vdx_dev_open(&error, &list[0]), 1);
    EXPECT_EQ(error.code, 4u);
    EXPECT_EQ(error.subcode, static_cast<std::uint32_t>(ENOENT));
    EXPECT_STREQ(error.message, "linux dev open failed, could not open /dev/sg0");
    // The copy's own handle is unaffected; a copy of a closed record opens nothing.
    EXPECT_TRUE(vdx_dev_is_open(copy));
    vdx_dev closed_copy;
    EXPECT_EQ(vdx_dev_copy(&closed_copy, &list[0]), 0);
    EXPECT_FALSE(vdx_dev_is_open(closed_copy));
}

TEST_F(LinuxTree, AdaptecPresentWhenAHostRunsAacraid) {
    write_file(root_ / "sys/class/scsi_host/host0/proc_name", "ahci\n");
    EXPECT_FALSE(vdx_adaptec_present());
    write_file(root_ / "sys/class/scsi_host/host3/proc_name", "aacraid\n");
    EXPECT_TRUE(vdx_adaptec_present());
}

// ---------------------------------------------------------------------------
// The SG_IO and NVMe ioctl seam.

struct seam_state {
    unsigned long request = 0;
    sg_io_hdr_t hdr{};
    std::vector<std::uint8_t> cdb;
    nvme_passthru_cmd nvme{};
    // What the fake kernel answers.
    int result = 0;
    int error_number = 0;
    unsigned char status = 0;
    unsigned short host_status = 0;
    unsigned short driver_status = 0;
    int resid = 0;
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> data;
    unsigned nvme_result = 0;
    // Per-opcode answers for probing: opcode -> SCSI status.
    std::function<unsigned char(const std::uint8_t* cdb)> status_for;
};
seam_state g_seam;

int fake_ioctl(int, unsigned long request, void* arg) {
    g_seam.request = request;
    if (request == SG_IO) {
        auto* hdr = static_cast<sg_io_hdr_t*>(arg);
        g_seam.hdr = *hdr;
        g_seam.cdb.assign(hdr->cmdp, hdr->cmdp + hdr->cmd_len);
        if (g_seam.result < 0) {
            errno = g_seam.error_number;
            return -1;
        }
        hdr->status = g_seam.status_for ? g_seam.status_for(hdr->cmdp) : g_seam.status;
        hdr->host_status = g_seam.host_status;
        hdr->driver_status = g_seam.driver_status;
        hdr->resid = g_seam.resid;
        const std::size_t sense_n = std::min<std::size_t>(g_seam.sense.size(), hdr->mx_sb_len);
        if (sense_n) std::memcpy(hdr->sbp, g_seam.sense.data(), sense_n);
        hdr->sb_len_wr = static_cast<unsigned char>(sense_n);
        const std::size_t data_n = std::min<std::size_t>(g_seam.data.size(), hdr->dxfer_len);
        if (data_n && hdr->dxfer_direction == SG_DXFER_FROM_DEV) std::memcpy(hdr->dxferp, g_seam.data.data(), data_n);
        return 0;
    }
    auto* cmd = static_cast<nvme_passthru_cmd*>(arg);
    g_seam.nvme = *cmd;
    if (g_seam.result < 0) {
        errno = g_seam.error_number;
        return -1;
    }
    cmd->result = g_seam.nvme_result;
    return g_seam.result;
}

class SeamTest : public LinuxTree {
protected:
    void SetUp() override {
        LinuxTree::SetUp();
        g_seam = seam_state{};
        linux_ioctl_seam = &fake_ioctl;
        dev_.os_handle = 42;
        dev_.connection = kVdxConnectionEnclosure;
        dev_.interface = kVdxInterfaceScsi;
        dev_.backend = &vdx_linux_backend();
        std::snprintf(dev_.name, sizeof dev_.name, "SCSI1:0,5,0");
        std::snprintf(dev_.device_path, sizeof dev_.device_path, "/dev/sg0");
    }
    void TearDown() override {
        dev_.os_handle = kVdxInvalidHandle;  // never a real descriptor
        LinuxTree::TearDown();
    }
    vdx_scsi_cmd read_command(std::uint8_t* buffer, std::uint32_t length) {
        vdx_scsi_cmd cmd{};
        cmd.cdb[0] = 0x1C;
        cmd.cdb[1] = 0x01;
        cmd.cdb[2] = 0x02;
        cmd.cdb[4] = static_cast<std::uint8_t>(length);
        cmd.cdb_length = 6;
        cmd.data = buffer;
        cmd.transfer_length = length;
        cmd.sense_length = 32;
        cmd.timeout = 30000;
        cmd.direction = kVdxDirFromDevice;
        return cmd;
    }
    vdx_dev dev_;
};

TEST_F(SeamTest, ScsiRequestIsBuiltFromTheCommand) {
    std::uint8_t buffer[64] = {};
    vdx_scsi_cmd cmd = read_command(buffer, sizeof buffer);
    g_seam.data = {0x02, 0x00, 0x00, 0x10};
    g_seam.resid = 60;
    vdx_error error{};
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 0) << error.message;
    EXPECT_EQ(g_seam.request, static_cast<unsigned long>(SG_IO));
    EXPECT_EQ(g_seam.hdr.interface_id, 'S');
    EXPECT_EQ(g_seam.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(g_seam.hdr.cmd_len, 6);
    EXPECT_EQ(g_seam.cdb, (std::vector<std::uint8_t>{0x1C, 0x01, 0x02, 0x00, 64, 0x00}));
    EXPECT_EQ(g_seam.hdr.dxfer_len, 64u);
    EXPECT_EQ(g_seam.hdr.dxferp, buffer);
    EXPECT_EQ(g_seam.hdr.mx_sb_len, 32);
    EXPECT_EQ(g_seam.hdr.timeout, 30000u);
    EXPECT_EQ(cmd.bytes_transferred, 4u);
    EXPECT_EQ(cmd.scsi_status, 0);
    EXPECT_EQ(buffer[3], 0x10);

    g_seam.resid = 0;
    std::uint8_t page[8] = {0x04};
    vdx_scsi_cmd out{};
    out.cdb[0] = 0x1D;
    out.cdb_length = 6;
    out.data = page;
    out.transfer_length = sizeof page;
    out.direction = kVdxDirToDevice;
    out.sense_length = 32;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &out), 0);
    EXPECT_EQ(g_seam.hdr.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(out.bytes_transferred, 8u);

    vdx_scsi_cmd none{};
    none.cdb[0] = 0x00;
    none.cdb_length = 6;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &none), 0);
    EXPECT_EQ(g_seam.hdr.dxfer_direction, SG_DXFER_NONE);
}

TEST_F(SeamTest, CheckConditionComesBackWithStatusAndSense) {
    std::uint8_t buffer[16] = {};
    vdx_scsi_cmd cmd = read_command(buffer, sizeof buffer);
    g_seam.status = 0x02;
    g_seam.driver_status = 0x08;  // sense is available: not a failure of the request
    g_seam.resid = 16;
    g_seam.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    vdx_error error{};
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 0);
    EXPECT_EQ(cmd.scsi_status, 0x02);
    EXPECT_EQ(cmd.sense_length, 14u);
    EXPECT_EQ(cmd.sense[12], 0x24);
    EXPECT_EQ(cmd.bytes_transferred, 0u);
}

TEST_F(SeamTest, FailedIoctlHostAndDriverErrorsAreError4) {
    std::uint8_t buffer[16] = {};
    vdx_scsi_cmd cmd = read_command(buffer, sizeof buffer);
    vdx_error error{};
    g_seam.result = -1;
    g_seam.error_number = EBADF;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 1);
    EXPECT_EQ(error.code, 4u);
    EXPECT_EQ(error.subcode, static_cast<std::uint32_t>(EBADF));
    EXPECT_STREQ(error.message, "error executing scsi SG_IO ioctl");

    g_seam.result = 0;
    g_seam.host_status = 0x03;  // timed out
    EXPECT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 1);
    EXPECT_EQ(error.code, 4u);
    EXPECT_EQ(error.subcode, 3u);
    EXPECT_STREQ(error.message, "scsi command failed - host status 3h");

    g_seam.host_status = 0;
    g_seam.driver_status = 0x06;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 1);
    EXPECT_EQ(error.subcode, 6u);
    EXPECT_STREQ(error.message, "scsi command failed - driver status 6h");
}

TEST_F(SeamTest, ResidualOutsideTheTransferIsClamped) {
    std::uint8_t buffer[16] = {};
    vdx_scsi_cmd cmd = read_command(buffer, sizeof buffer);
    vdx_error error{};
    g_seam.resid = 100;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 0);
    EXPECT_EQ(cmd.bytes_transferred, 0u);
    g_seam.resid = -5;
    ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 0);
    EXPECT_EQ(cmd.bytes_transferred, 16u);
}

// A unit attention (here: reported LUNs changed, fixed and descriptor
// sense) means the command was not run: it is sent again, a bounded number of
// times; other check conditions are not.
TEST_F(SeamTest, UnitAttentionIsSentAgainAFewTimes) {
    struct row {
        std::vector<std::uint8_t> sense;
        int attentions;     // answers with the sense before a GOOD one
        int sent;           // SG_IO requests expected
        unsigned char status;
    };
    const std::vector<std::uint8_t> fixed = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3F, 0x0E};
    const std::vector<std::uint8_t> descriptor = {0x72, 0x06, 0x3F, 0x0E, 0, 0, 0, 0};
    const std::vector<std::uint8_t> not_ready = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x01};
    for (const row& r : std::vector<row>{{fixed, 1, 2, 0x00},
                                         {descriptor, 3, 4, 0x00},
                                         {fixed, 100, 4, 0x02},
                                         {not_ready, 100, 1, 0x02}}) {
        std::uint8_t buffer[16] = {};
        vdx_scsi_cmd cmd = read_command(buffer, sizeof buffer);
        int sent = 0;
        g_seam.sense = r.sense;
        g_seam.status_for = [&](const std::uint8_t*) -> unsigned char { return ++sent <= r.attentions ? 0x02 : 0x00; };
        vdx_error error{};
        ASSERT_EQ(vdx_scsi_execute(&error, &dev_, &cmd), 0);
        EXPECT_EQ(sent, r.sent);
        EXPECT_EQ(cmd.scsi_status, r.status);
    }
}

TEST_F(SeamTest, NvmeAdminCommandAndItsStatus) {
    dev_.interface = kVdxInterfaceNvme;
    std::uint8_t buffer[4096];
    vdx_nvme_cmd cmd{};
    cmd.opcode = 0x06;
    cmd.nsid = 0;
    cmd.cdw10 = 1;
    cmd.data = buffer;
    cmd.length = sizeof buffer;
    cmd.direction = kVdxDirFromDevice;
    cmd.timeout = 30000;
    g_seam.result = 0x4102;  // DNR, status code type 1, status code 2
    g_seam.nvme_result = 0xABCD;
    vdx_error error{};
    ASSERT_EQ(vdx_nvme_execute(&error, &dev_, &cmd), 0);
    EXPECT_EQ(g_seam.request, static_cast<unsigned long>(NVME_IOCTL_ADMIN_CMD));
    EXPECT_EQ(g_seam.nvme.opcode, 0x06);
    EXPECT_EQ(g_seam.nvme.cdw10, 1u);
    EXPECT_EQ(g_seam.nvme.addr, reinterpret_cast<std::uintptr_t>(buffer));
    EXPECT_EQ(g_seam.nvme.data_len, 4096u);
    EXPECT_EQ(g_seam.nvme.timeout_ms, 30000u);
    EXPECT_EQ(cmd.completion[0], 0xABCDu);
    const std::uint32_t status = cmd.completion[3] >> 16;
    EXPECT_EQ((status >> 1) & 0xFF, 0x02u);
    EXPECT_EQ((status >> 9) & 0x7, 0x1u);
    EXPECT_EQ(status & 1, 0u);

    g_seam.result = -1;
    g_seam.error_number = ENOTTY;
    EXPECT_EQ(vdx_nvme_execute(&error, &dev_, &cmd), 1);
    EXPECT_EQ(error.code, 4u);
    EXPECT_EQ(error.subcode, static_cast<std::uint32_t>(ENOTTY));
}

TEST_F(SeamTest, ProbeFindsNvmeSatAndPlainScsi) {
    standard_tree();
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    ASSERT_EQ(list.count, 4u);
    vdx_error error{};
    // SAS disk: VPD 89h and ATA PASS-THROUGH both end in CHECK CONDITION.
    g_seam.status = 0x02;
    ASSERT_EQ(vdx_dev_probe(&error, &list[0]), 0) << error.message;
    EXPECT_EQ(list[0].interface, kVdxInterfaceScsi);
    // SATA disk: the ATA Information page is there.
    g_seam.status = 0;
    g_seam.data = {0x00, 0x89, 0x02, 0x38};
    ASSERT_EQ(vdx_dev_probe(&error, &list[1]), 0);
    EXPECT_EQ(list[1].interface, kVdxInterfaceScsiSatAta);
    // A SATA disk without page 89h that answers IDENTIFY through SAT.
    g_seam.data = {};
    g_seam.status_for = [](const std::uint8_t* cdb) -> unsigned char { return cdb[0] == 0x85 ? 0 : 2; };
    list[1].interface = 0;
    ASSERT_EQ(vdx_dev_probe(&error, &list[1]), 0);
    EXPECT_EQ(list[1].interface, kVdxInterfaceScsiSatAta);
    EXPECT_EQ(g_seam.cdb[0], 0x85);
    // NVMe controller and enclosure.
    ASSERT_EQ(vdx_dev_probe(&error, &list[2]), 0);
    EXPECT_EQ(list[2].interface, kVdxInterfaceNvme);
    ASSERT_EQ(vdx_dev_probe(&error, &list[3]), 0);
    EXPECT_EQ(list[3].interface, kVdxInterfaceScsi);
    EXPECT_NE(g_traced.find("detected WINDOWS_SCSI_SAT_ATA\n"), std::string::npos);
}

}  // namespace
}  // namespace enctl
