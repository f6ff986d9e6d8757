// The in-process lab backend: the same devices, outputs and device commands
// as the real binary on the lab through the preload shim.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "tests/support/in_process_lab.h"
#include "tests/support/running_lab.h"
#include "vdx/vdx.h"

namespace enctl::testing {
namespace {

TEST(InProcessLab, ShowAndShowHandlesMatchTheRealBinaryOnTheDefaultLab) {
    running_lab shimmed;
    ASSERT_TRUE(shimmed.started()) << shimmed.start_result().err;
    in_process_lab lab;
    ASSERT_TRUE(lab.ok()) << lab.error();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"show"}, {"show", "handles"}}) {
        shimmed.lab_command({"stats", shimmed.dir(), "reset"});
        lab.reset_counters();
        const process_result expected = shimmed.enctl(args);
        const in_process_result actual = run_enctl_in_process(args);
        EXPECT_EQ(actual.exit_code, expected.exit_code) << args.back();
        EXPECT_EQ(actual.out, expected.out) << args.back();
        EXPECT_EQ(lab.stats(), shimmed.lab_command({"stats", shimmed.dir()}).out) << args.back();
    }
}

// The lab's devices reached through the device layer and the command sets
// (faults, retries and outputs are the end-to-end tests' part).
TEST(InProcessLab, ListsTheDescribedDevicesAndCountsTheirCommands) {
    in_process_lab lab(R"({"enclosures": [{"product": 5, "host": 3, "target": 5}],
      "disks": [{"enclosure": "encl0", "slot": 1, "serial": "ZL01"},
                {"kind": "sata", "serial": "WL02"}, {"kind": "nvme", "serial": "NL03"}]})");
    ASSERT_TRUE(lab.ok()) << lab.error();
    // The unseated SATA disk sits on the first free host, before the enclosure's.
    EXPECT_EQ(lab.device_names(), (std::vector<std::string>{"disk0", "disk1", "nvme0", "SCSI3:0,5,0"}));

    // Serial numbers through each disk's command set, and what each cost.
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, kVdxEnumDisks | kVdxEnumScsiControllers);
    ASSERT_EQ(list.count, 3u);
    const char* const serials[] = {"WL02", "ZL01", "NL03"};
    for (std::uint32_t i = 0; i < list.count; ++i) {
        vdx_error error{};
        ASSERT_EQ(vdx_dev_probe(&error, &list[i]), 0) << list[i].name << ": " << error.message;
        char serial[32] = {};
        EXPECT_EQ(cmdxbasics_get_serial(&error, &list[i], serial), 0) << list[i].name << ": " << error.message;
        EXPECT_STREQ(serial, serials[i]);
    }
    EXPECT_EQ(std::tuple(list[0].interface, list[1].interface), std::tuple(kVdxInterfaceScsiSatAta, kVdxInterfaceScsi));
    // The probe decided by the kernel's vendor: the SATA disk's one IDENTIFY
    // is its serial's, and the SAS disk gets no ATA command.
    EXPECT_EQ(std::tuple(lab.commands("disk0", 0x85), lab.commands("disk0", 0x85, 0xEC), lab.commands("disk1", 0x85),
                         lab.commands("nvme0", 0x06)),
              std::tuple(1u, 1u, 0u, 1u));

    // ATA on the SATA disk goes out as ATA PASS-THROUGH; the registers come back from the sense.
    vdx_ata_cmd power{};
    power.protocol = 3;  // non-data
    power.command = 0xE5;  // CHECK POWER MODE
    power.check_condition = 1;
    vdx_error error{};
    ASSERT_EQ(vdx_ata_execute(&error, &list[0], &power), 0) << error.message;
    EXPECT_EQ(lab.commands("disk0", 0x85, 0xE5), 1u);
    EXPECT_EQ(std::tuple(power.count, power.status, power.device), std::tuple(0xFF, 0x50, 0x40)) << "active";

    // One lab at a time.
    EXPECT_FALSE(in_process_lab().ok());
    vdx_dev_release(&list);
}

}  // namespace
}  // namespace enctl::testing
