#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/discovery/discovery.h"
#include "app/discovery/ses_fill.h"
#include "app/discovery/target_list.h"
#include "basekit/fixed_text.h"

namespace enctl {
namespace {

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

TEST(TargetList, HoldsAtMost8192Devices) {
    target_list targets;
    for (std::uint32_t i = 0; i < kTargetListSize; ++i) ASSERT_NE(add_device(targets, "disk"), nullptr) << i;
    EXPECT_EQ(add_device(targets, "disk8192"), nullptr);
    EXPECT_EQ(targets.count, kTargetListSize);
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
    device.physical_drive_number = 4;
    char os_name[1024];
    for (const auto& [path, name] : {std::pair{"/dev/sdc", "/dev/sdc"}, {"/dev/nvme1", "/dev/nvme1"},
                                     {"\\\\.\\PhysicalDrive4", "PD4"}}) {
        set_text(device.device_path, path);
        end_device_os_name(device, os_name);
        EXPECT_STREQ(os_name, name);
    }
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

// A disk matches when its serial contains the slot's and it sits on the
// enclosure's bus; without one the NAA identifier is 16 blanks.
TEST_F(FindOsHandleName, SerialContainedInTheDisksOnTheSameBus) {
    for (const auto& [bus, serial, result, handle, naa, capacity] :
         {std::tuple{1, "ABC12345", 0, "/dev/sdb", "5000C500000000B0", "12000"},
          {3, "ABC12345", 1, "", "                ", ""}, {1, "XZA1ABC12345", 1, "", "                ", ""}}) {
        slot_record slot{};
        set_text(slot.serial, serial);
        EXPECT_EQ(find_os_handle_name(bus, slot, targets_), result) << bus << serial;
        EXPECT_EQ(text_of(slot.os_handle_name), handle);
        EXPECT_EQ(text_of(slot.naa_identifier), naa);
        EXPECT_EQ(text_of(slot.capacity), capacity);
    }
}

}  // namespace
}  // namespace enctl
