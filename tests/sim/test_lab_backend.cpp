// enctl's own Linux backend against the lab: enumeration from the fake sysfs
// tree, open, and commands through its real SG_IO and NVMe paths. The checks
// run in a child of this test program started with the lab's environment
// (the preload shim has to be in place when the process starts).
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <map>
#include <string>

#include "basekit/error.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "tests/support/running_lab.h"
#include "vdx/vdx.h"

namespace enctl::testing {
namespace {

constexpr const char* child_flag = "ENCTL_LAB_BACKEND_CHILD";

constexpr const char* lab_json = R"({
  "enclosures": [{"product": 5, "host": 1, "target": 5, "serial": "KVOR00770001",
    "faults": [{"opcode": "0x1C", "page": 2, "kind": "check_condition", "sense": {"key": 5, "asc": "0x24", "ascq": 0}},
               {"opcode": "0x1C", "page": 5, "kind": "check_condition", "sense": "72 0b 47 03 00 00 00 00"},
               {"opcode": "0x1C", "page": 7, "kind": "busy"},
               {"opcode": "0x1C", "page": 10, "kind": "transport"}]}],
  "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZL00000000000001"},
            {"enclosure": "encl0", "slot": 1, "serial": "ZL00000000000002"},
            {"kind": "sata", "serial": "WL0000000003"},
            {"kind": "nvme", "serial": "NL0000000004"}]
})";

std::string self_path() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = '\0';
    return buf;
}

// In the child: what enctl's backend sees and does.
void backend_checks() {
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumAll);
    std::map<std::string, vdx_dev*> by_name;
    for (auto& d : list.view()) by_name[d.name] = &d;
    ASSERT_EQ(by_name.size(), 5u);
    for (const char* name : {"SCSI1:0,5,0", "disk0", "disk1", "disk2", "nvme0"})
        ASSERT_TRUE(by_name.count(name)) << name;

    vdx_dev& encl = *by_name["SCSI1:0,5,0"];
    EXPECT_EQ(encl.connection, kVdxConnectionEnclosure);
    EXPECT_EQ(encl.interface, kVdxInterfaceScsi);
    EXPECT_EQ(std::string(encl.device_path), "/dev/sg2");  // after sda (1:0:0:0) and sdb (1:0:1:0)
    EXPECT_EQ(encl.scsi_address.port, 1);
    EXPECT_EQ(encl.scsi_address.target, 5);
    EXPECT_EQ(std::string(by_name["disk0"]->device_path), "/dev/sda");
    EXPECT_EQ(by_name["disk0"]->physical_drive_number, 0u);
    EXPECT_EQ(by_name["disk1"]->scsi_address.target, 1);
    EXPECT_EQ(std::string(by_name["disk2"]->device_path), "/dev/sdc");
    EXPECT_EQ(by_name["disk2"]->scsi_address.port, 2);
    EXPECT_EQ(std::string(by_name["nvme0"]->device_path), "/dev/nvme0");

    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &encl), 0) << error.message;
    std::array<std::uint8_t, 4096> buf{};
    ASSERT_EQ(cmdxscsi_inquiry(&error, &encl, false, 0, buf), 0) << error.message;
    EXPECT_EQ(buf[0], 0x0D);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[16]), 7), "M7310-P");
    std::uint32_t transferred = 0;
    ASSERT_EQ(cmdxscsi_receive_diagnostic(&error, &encl, 0x01, buf, &transferred), 0) << error.message;
    EXPECT_EQ(buf[0], 0x01);
    EXPECT_EQ(transferred, (std::uint32_t{buf[2]} << 8 | buf[3]) + 4u);

    // Injected faults, as the command set reports them.
    EXPECT_EQ(cmdxscsi_receive_diagnostic(&error, &encl, 0x02, buf, &transferred), 1);
    EXPECT_EQ(error.code, 1u);
    EXPECT_EQ(error.subcode, 0u);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 05/24/00H\n");
    EXPECT_EQ(cmdxscsi_receive_diagnostic(&error, &encl, 0x05, buf, &transferred), 1);
    EXPECT_STREQ(error.message, "SCSI Error: Status: 2H Sense Code: 0B/47/03H\n");
    EXPECT_EQ(cmdxscsi_receive_diagnostic(&error, &encl, 0x07, buf, &transferred), 1);
    EXPECT_EQ(error.code, 6u);
    EXPECT_EQ(error.subcode, 8u);
    EXPECT_NE(cmdxscsi_receive_diagnostic(&error, &encl, 0x0A, buf, &transferred), 0);
    EXPECT_EQ(error.code, 4u);
    // The enclosure still answers afterwards.
    EXPECT_EQ(cmdxscsi_receive_diagnostic(&error, &encl, 0x03, buf, &transferred), 0) << error.message;
    EXPECT_EQ(vdx_dev_close(&error, &encl), 0);

    // Serial numbers by each disk's command set: VPD 80h, ATA IDENTIFY, NVMe Identify.
    const std::map<std::string, std::string> serials = {
        {"disk0", "ZL00000000000001"}, {"disk2", "WL0000000003"}, {"nvme0", "NL0000000004"}};
    for (const auto& [name, serial] : serials) {
        vdx_dev& d = *by_name[name];
        ASSERT_EQ(vdx_dev_probe(&error, &d), 0) << name << ": " << error.message;
        char out[32] = {};
        EXPECT_EQ(cmdxbasics_get_serial(&error, &d, out), 0) << name << ": " << error.message;
        EXPECT_EQ(std::string(out), serial) << name;
        vdx_dev_close(&error, &d);
    }
    EXPECT_EQ(by_name["disk2"]->interface, kVdxInterfaceScsiSatAta);
    vdx_dev_release(&list);
}

TEST(SimLabBackend, LinuxBackendEnumeratesOpensAndRunsCommandsThroughTheLab) {
    if (std::getenv(child_flag)) {
        backend_checks();
        return;
    }
    running_lab lab(lab_json);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    process_options options;
    options.env = lab.env();
    options.env.emplace_back(child_flag, "1");
    const auto child = run_process(
        {self_path(), "--gtest_filter=SimLabBackend.LinuxBackendEnumeratesOpensAndRunsCommandsThroughTheLab"},
        options);
    EXPECT_EQ(child.exit_code, 0) << child.out << child.err;
    EXPECT_TRUE(child.out.find("[  PASSED  ] 1 test") != std::string::npos) << child.out;
    // The commands went through the lab process.
    const auto stats = lab.lab_command({"stats", lab.dir()});
    EXPECT_NE(stats.out.find("SCSI1:0,5,0 /dev/sg2 1Ch 02h 1\n"), std::string::npos) << stats.out;
    EXPECT_NE(stats.out.find("nvme0 /dev/nvme0 06h 01h"), std::string::npos) << stats.out;
    EXPECT_NE(stats.out.find("disk2 /dev/sg3 85h ECh"), std::string::npos) << stats.out;
}

}  // namespace
}  // namespace enctl::testing
