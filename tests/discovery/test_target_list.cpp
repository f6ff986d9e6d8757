#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/discovery/discovery.h"
#include "app/discovery/ses_elements.h"
#include "app/discovery/target_list.h"
#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

std::string g_traced;
void capture_trace(const char* text) { g_traced += text; }

vdx_dev* add_device(target_list& targets, const char* name) {
    vdx_dev device;
    set_text(device.name, name);
    return target_list_append(targets, device);
}

void attach(vdx_dev& device, std::uint64_t tag, const char* serial, int bus, const char* os_name,
            const char* sas = "", const char* capacity = "") {
    auto record = std::make_unique<enclosure_target>();
    set_text(record->serial, serial);
    set_text(record->os_name, os_name);
    set_text(record->sas_address, sas);
    set_text(record->capacity, capacity);
    record->bus = bus;
    vdx_dev_data_attach(&device, tag, std::move(record));
}

TEST(TargetList, HoldsAtMost8192DevicesAndTracesTheRest) {
    target_list targets;
    for (std::uint32_t i = 0; i < kTargetListSize; ++i) {
        ASSERT_NE(add_device(targets, "disk"), nullptr) << i;
    }
    trace_clear_sinks();
    trace_register_sink(capture_trace);
    const std::uint32_t saved = g_trace_level;
    g_trace_level = kTraceDevice;
    g_traced.clear();
    EXPECT_EQ(add_device(targets, "disk8192"), nullptr);
    g_trace_level = saved;
    trace_clear_sinks();
    EXPECT_EQ(targets.count, kTargetListSize);
    EXPECT_NE(g_traced.find("device table: disk8192 not added (8192 of 8192 devices held)\n"), std::string::npos)
        << g_traced;
    target_list_release(targets);
    EXPECT_EQ(targets.count, 0u);
}

TEST(TargetList, AttachedRecordIsTheFirstNodeWithItsTag) {
    target_list targets;
    vdx_dev* enclosure = add_device(targets, "SCSI1:0,0,0");
    attach(*enclosure, kEnclosureTargetTag, "ENC", 1, "SCSI1:0,0,0");
    vdx_dev* disk = add_device(targets, "disk0");
    attach(*disk, kEndDeviceTag, "DISK", 1, "/dev/sda");
    vdx_dev* bare = add_device(targets, "disk1");
    ASSERT_NE(enclosure_of(*enclosure), nullptr);
    EXPECT_EQ(text_of(enclosure_of(*enclosure)->serial), "ENC");
    EXPECT_EQ(enclosure_of(*disk), nullptr);
    EXPECT_NE(attached_record(*disk, kEndDeviceTag), nullptr);
    EXPECT_EQ(enclosure_of(*bare), nullptr);
    // Found by its tag wherever it sits in the chain.
    attach(*bare, kEndDeviceTag, "SECOND", 1, "/dev/sdb");
    attach(*bare, kEnclosureTargetTag, "THIRD", 1, "SCSI1:0,1,0");
    ASSERT_NE(enclosure_of(*bare), nullptr);
    EXPECT_EQ(text_of(enclosure_of(*bare)->serial), "THIRD");
    target_list_release(targets);
}

TEST(EndDeviceOsName, DevicePathOnLinuxElsePhysicalDrive) {
    vdx_dev device;
    char os_name[1024];
    set_text(device.device_path, "/dev/sdc");
    end_device_os_name(device, os_name);
    EXPECT_STREQ(os_name, "/dev/sdc");
    set_text(device.device_path, "/dev/nvme1");
    end_device_os_name(device, os_name);
    EXPECT_STREQ(os_name, "/dev/nvme1");
    set_text(device.device_path, "\\\\.\\PhysicalDrive4");
    device.physical_drive_number = 4;
    end_device_os_name(device, os_name);
    EXPECT_STREQ(os_name, "PD4");
}

class FindOsHandleName : public ::testing::Test {
protected:
    void SetUp() override {
        vdx_dev* enclosure = add_device(targets_, "SCSI1:0,0,0");
        attach(*enclosure, kEnclosureTargetTag, "ENCLSERIAL", 1, "SCSI1:0,0,0");
        // The same drive serial on another bus comes first in the table.
        attach(*add_device(targets_, "disk0"), kEndDeviceTag, "ZA1ABC12345", 2, "/dev/sda", "5000C500000000A0", "4000");
        attach(*add_device(targets_, "disk1"), kEndDeviceTag, "ZA1ABC12345", 1, "/dev/sdb", "5000C500000000B0", "12000");
        attach(*add_device(targets_, "disk2"), kEndDeviceTag, "", 1, "/dev/sdc");
    }
    void TearDown() override { target_list_release(targets_); }
    target_list targets_;
};

TEST_F(FindOsHandleName, SerialContainedInTheDisksOnTheSameBus) {
    slot_record slot{};
    set_text(slot.serial, "ABC12345");
    EXPECT_EQ(find_os_handle_name(1, slot, targets_), 0);
    EXPECT_EQ(text_of(slot.os_handle_name), "/dev/sdb");
    EXPECT_EQ(text_of(slot.naa_identifier), "5000C500000000B0");
    EXPECT_EQ(text_of(slot.capacity), "12000");

    slot_record other_bus{};
    set_text(other_bus.serial, "ABC12345");
    EXPECT_EQ(find_os_handle_name(3, other_bus, targets_), 1);
    EXPECT_EQ(text_of(other_bus.naa_identifier), "                ");
    EXPECT_EQ(text_of(other_bus.os_handle_name), "");
    EXPECT_EQ(text_of(other_bus.capacity), "");
}

TEST_F(FindOsHandleName, LongerSlotSerialDoesNotMatchAndDebugTellsEveryComparison) {
    slot_record slot{};
    set_text(slot.serial, "XZA1ABC12345");
    const std::string out = testing::console_output([&] { EXPECT_EQ(find_os_handle_name(1, slot, targets_), 1); },
                                                    kVerbosityDebug);
    EXPECT_EQ(out.rfind("find_os_handle_name: ses_scsi_bus=1 sn=XZA1ABC12345 sas=\n", 0), 0u) << out;
    EXPECT_NE(out.find("***Compare [2] /dev/sdb bus=1 sn=ZA1ABC12345 sas=5000C500000000B0\n"), std::string::npos);
    EXPECT_EQ(out.find("***Match"), std::string::npos);
}

}  // namespace
}  // namespace enctl
