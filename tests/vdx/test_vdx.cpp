#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "basekit/trace.h"
#include "tests/vdx/fake_backend.h"
#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl {
namespace {

using testing_fake::fake_backend_scope;
using testing_fake::g_fake;
using testing_fake::make_fake_device;

std::string g_traced;
void capture_sink(const char* text) { g_traced += text; }

class VdxTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace_clear_sinks();
        trace_register_sink(capture_sink);
        g_traced.clear();
        g_trace_level = kTraceDevice;
    }
    void TearDown() override {
        g_trace_level = 0;
        trace_clear_sinks();
    }
    fake_backend_scope fake_;
};

// Destructor log shared by the payload helpers below.
std::vector<std::string> g_destroyed;
void destroy_text(void* payload) {
    auto* text = static_cast<std::string*>(payload);
    g_destroyed.push_back(*text);
    std::unique_ptr<std::string> owned(text);
}
int copy_text(void** dest, const void* src) {
    *dest = std::make_unique<std::string>(*static_cast<const std::string*>(src) + "'").release();
    return 0;
}
std::unique_ptr<vdx_dev_data> node(std::uint64_t tag, const char* text, bool copyable) {
    auto n = std::make_unique<vdx_dev_data>();
    n->tag = tag;
    n->payload = std::make_unique<std::string>(text).release();
    n->destructor = &destroy_text;
    n->copy = copyable ? &copy_text : nullptr;
    return n;
}

TEST_F(VdxTest, ListGrowsFrom8To16To32WhenCountPlusOneReachesCapacity) {
    vdx_dev_list list;
    vdx_dev_enumerate_flags(&list, 0);
    EXPECT_EQ(list.capacity, 8u);
    EXPECT_EQ(list.count, 0u);
    std::vector<std::uint32_t> capacity_after;
    for (int i = 0; i < 16; ++i) {
        vdx_dev* rec = vdx_dev_enumeration_push_back(&list);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->backend_index, -1);
        EXPECT_EQ(rec->scsi_address.port, 255);
        EXPECT_EQ(rec->os_handle, kVdxInvalidHandle);
        rec->name[0] = static_cast<char>('a' + i);
        capacity_after.push_back(list.capacity);
    }
    // The eighth push (count 7) already reallocates; the sixteenth again.
    EXPECT_EQ(capacity_after[6], 8u);
    EXPECT_EQ(capacity_after[7], 16u);
    EXPECT_EQ(capacity_after[14], 16u);
    EXPECT_EQ(capacity_after[15], 32u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(list[i].name[0], 'a' + i) << "records survive growth";
}

TEST_F(VdxTest, ListNeverHoldsMoreThanTheDeviceBound) {
    vdx_dev_list list;
    for (std::uint32_t i = 0; i < kVdxMaxDevices; ++i) ASSERT_NE(vdx_dev_enumeration_push_back(&list), nullptr);
    g_traced.clear();
    EXPECT_EQ(vdx_dev_enumeration_push_back(&list), nullptr);
    EXPECT_EQ(list.count, kVdxMaxDevices);
    EXPECT_NE(g_traced.find("device table full (8192 devices)"), std::string::npos) << g_traced;
}

TEST_F(VdxTest, ReleaseOfNeverAllocatedListAndPopBackOfEmptyListAreHarmless) {
    vdx_dev_list list;
    vdx_dev_release(&list);
    vdx_dev_enumeration_pop_back(&list);
    EXPECT_EQ(list.capacity, 0u);
    EXPECT_EQ(list.count, 0u);
}

TEST_F(VdxTest, PopBackCleansUpAndDropsTheLastRecord) {
    vdx_dev_list list;
    vdx_dev* a = vdx_dev_enumeration_push_back(&list);
    std::snprintf(a->name, sizeof a->name, "a");
    vdx_dev* b = vdx_dev_enumeration_push_back(&list);
    std::snprintf(b->name, sizeof b->name, "b");
    b->backend = &testing_fake::fake_backend();
    b->os_handle = 7;
    vdx_dev_enumeration_pop_back(&list);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(g_fake.calls, std::vector<std::string>{"cleanup b"});
    EXPECT_EQ(list[1].name[0], '\0');
}

TEST_F(VdxTest, EnumerationRunsSelectedEnumeratorsInFlagOrder) {
    g_fake.entries = {{kVdxEnumSes, "SCSI1:0,5,0", kVdxInterfaceScsi, kVdxConnectionEnclosure},
                      {kVdxEnumDisks, "disk0", 0, kVdxConnectionStorage},
                      {kVdxEnumScsiControllers, "nvme0", kVdxInterfaceNvme, kVdxConnectionStorage}};
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    ASSERT_EQ(list.count, 3u);
    EXPECT_STREQ(list[0].name, "disk0");
    EXPECT_STREQ(list[1].name, "nvme0");
    EXPECT_STREQ(list[2].name, "SCSI1:0,5,0");
    EXPECT_EQ(list[2].backend, &testing_fake::fake_backend());

    vdx_dev_enumerate_flags(&list, kVdxEnumDisks | kVdxEnumSes);
    ASSERT_EQ(list.count, 2u);
    EXPECT_STREQ(list[0].name, "disk0");
    EXPECT_STREQ(list[1].name, "SCSI1:0,5,0");
}

TEST_F(VdxTest, DataChainKeepsOrderAndCleanupRunsEachDestructorOnceInOrder) {
    g_destroyed.clear();
    {
        vdx_dev dev = make_fake_device("SCSI0:0,1,0", kVdxInterfaceScsi);
        vdx_dev_data_add(&dev, node(kVdxTagEnclosure, "first", false));
        vdx_dev_data_add(&dev, node(kVdxTagEndDevice, "second", false));
        vdx_dev_data_add(&dev, node(kVdxTagEndDevice, "third", false));
        vdx_dev_data* head = vdx_dev_data_first(dev);
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(head->prev, nullptr);
        EXPECT_EQ(head->next->prev, head);
        EXPECT_EQ(head->next->next->prev, head->next.get());
        EXPECT_EQ(vdx_dev_data_find(dev, kVdxTagEndDevice), head->next.get());
        EXPECT_EQ(vdx_dev_cleanup(&dev), 0);
        EXPECT_EQ(vdx_dev_data_first(dev), nullptr);
        EXPECT_EQ(g_destroyed, (std::vector<std::string>{"first", "second", "third"}));
    }
    // The record's destructor found nothing left to free.
    EXPECT_EQ(g_destroyed.size(), 3u);
    EXPECT_EQ(vdx_dev_cleanup(nullptr), 1);
    EXPECT_NE(g_traced.find("invalid device - skip cleanup\n"), std::string::npos);
}

TEST_F(VdxTest, CopyRebuildsTheChainThroughCopyFunctionsAndSkipsNodesWithout) {
    g_destroyed.clear();
    vdx_dev src = make_fake_device("SCSI0:0,1,0", kVdxInterfaceScsi);
    std::snprintf(src.device_path, sizeof src.device_path, "/dev/sg1");
    vdx_dev_data_add(&src, node(kVdxTagEnclosure, "enc", true));
    vdx_dev_data_add(&src, node(kVdxTagEndDevice, "plain", false));
    vdx_dev_data_add(&src, node(kVdxTagEndDevice, "end", true));
    vdx_dev dest;
    ASSERT_EQ(vdx_dev_copy(&dest, &src), 0);
    EXPECT_STREQ(dest.name, "SCSI0:0,1,0");
    EXPECT_STREQ(dest.device_path, "/dev/sg1");
    vdx_dev_data* n = vdx_dev_data_first(dest);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(*static_cast<std::string*>(n->payload), "enc'");
    EXPECT_EQ(n->tag, kVdxTagEnclosure);
    ASSERT_NE(n->next, nullptr);
    EXPECT_EQ(*static_cast<std::string*>(n->next->payload), "end'");
    EXPECT_EQ(n->next->prev, n);
    EXPECT_EQ(n->next->next, nullptr);
    EXPECT_NE(g_traced.find("has no copy function - not copied"), std::string::npos);
    // A closed source is copied without opening anything.
    EXPECT_TRUE(g_fake.calls.empty());
    vdx_dev_cleanup(&dest);
    vdx_dev_cleanup(&src);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"enc'", "end'", "enc", "plain", "end"}));
}

TEST_F(VdxTest, CopyOfOpenDeviceOpensIndependentHandleAndReportsFailure) {
    vdx_dev src = make_fake_device("disk1", kVdxInterfaceScsi, kVdxConnectionStorage);
    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &src), 0);
    vdx_dev dest;
    ASSERT_EQ(vdx_dev_copy(&dest, &src), 0);
    EXPECT_TRUE(vdx_dev_is_open(dest));
    EXPECT_NE(dest.os_handle, src.os_handle);

    g_fake.fail_copy = true;
    vdx_dev other;
    EXPECT_EQ(vdx_dev_copy(&other, &src), 1);
    EXPECT_EQ(vdx_dev_copy(nullptr, &src), 1);
    EXPECT_NE(g_traced.find("invalid dest ((nil)) or src"), std::string::npos) << g_traced;
}

TEST_F(VdxTest, AppendCopyAddsToTableAndDropsTheSlotWhenTheCopyFails) {
    vdx_dev src = make_fake_device("SCSI2:0,3,0", kVdxInterfaceScsi);
    vdx_error error{};
    vdx_dev_open(&error, &src);
    vdx_dev_list table;
    ASSERT_NE(vdx_dev_append_copy(&table, src), nullptr);
    ASSERT_NE(vdx_dev_append_copy(&table, src), nullptr);
    EXPECT_EQ(table.count, 2u);
    g_fake.fail_copy = true;
    EXPECT_EQ(vdx_dev_append_copy(&table, src), nullptr);
    EXPECT_EQ(table.count, 2u);
}

TEST_F(VdxTest, MovedRecordLeavesNothingOwnedBehindAndDestructorCleansUp) {
    {
        vdx_dev a = make_fake_device("disk3", kVdxInterfaceScsi, kVdxConnectionStorage);
        vdx_error error{};
        vdx_dev_open(&error, &a);
        vdx_dev b(std::move(a));
        EXPECT_FALSE(a.owns_resources());
        EXPECT_TRUE(b.owns_resources());
    }
    EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"open disk3", "cleanup disk3"}));
}

TEST_F(VdxTest, OpenAndCloseGoThroughTheBackendOnlyWhenNeeded) {
    vdx_dev dev = make_fake_device("disk2", kVdxInterfaceScsi, kVdxConnectionStorage);
    vdx_error error{};
    EXPECT_FALSE(vdx_dev_is_open(dev));
    EXPECT_EQ(vdx_dev_close(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_close(&error, &dev), 0);
    EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"open disk2", "close disk2"}));

    // Intel RST disks need the second handle too; hubs and RAID libraries count as open.
    dev.os_handle = 5;
    dev.connection_driver = kVdxDriverIntelRst;
    EXPECT_FALSE(vdx_dev_is_open(dev));
    dev.second_handle = 6;
    EXPECT_TRUE(vdx_dev_is_open(dev));
    dev.os_handle = dev.second_handle = kVdxInvalidHandle;
    vdx_dev hub = make_fake_device("hub", kVdxInterfaceUsbRootHub, kVdxConnectionUsbRootHub);
    EXPECT_TRUE(vdx_dev_is_open(hub));
    vdx_dev raid = make_fake_device("r", 0, kVdxConnectionMegaraid);
    EXPECT_TRUE(vdx_dev_is_open(raid));
}

TEST_F(VdxTest, ScsiExecuteOnInterfaceWithoutScsiPathIsError2NamingTheDevice) {
    vdx_dev dev = make_fake_device("rste0", kVdxInterfaceNvmeIntelRste, kVdxConnectionStorage);
    vdx_error error{};
    vdx_scsi_cmd cmd{};
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.code, 2u);
    EXPECT_EQ(error.subcode, 7u);
    EXPECT_STREQ(error.message, "scsi execute not supported on device rste0");

    // Adaptec interface without the library backend installed: no path either.
    dev.interface = kVdxInterfaceAdaptecScsi;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 1);
    EXPECT_EQ(error.subcode, 13u);

    vdx_ata_cmd ata{};
    dev.interface = kVdxInterfaceScsi;
    EXPECT_EQ(vdx_ata_execute(&error, &dev, &ata), 1);
    EXPECT_EQ(error.code, 2u);
    EXPECT_EQ(error.subcode, 9u);
    EXPECT_STREQ(error.message, "interface is not supported by ata execute");

    vdx_nvme_cmd nvme{};
    EXPECT_EQ(vdx_nvme_execute(&error, &dev, &nvme), 1);
    EXPECT_EQ(error.code, 2u);
    EXPECT_STREQ(error.message, "nvme execute not supported on device rste0");
}

TEST_F(VdxTest, ScsiAndNvmeDispatchReachThePlatformBackend) {
    vdx_dev dev = make_fake_device("SCSI1:0,2,0", kVdxInterfaceScsi);
    vdx_error error{};
    vdx_scsi_cmd cmd{};
    cmd.cdb[0] = 0x12;
    EXPECT_EQ(vdx_scsi_execute(&error, &dev, &cmd), 0);
    ASSERT_EQ(g_fake.scsi_sent.size(), 1u);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[0], 0x12);

    int nvme_calls = 0;
    g_fake.on_nvme = [&](vdx_error*, vdx_dev*, vdx_nvme_cmd*) { return ++nvme_calls, 0; };
    dev.interface = kVdxInterfaceNvme;
    vdx_nvme_cmd nvme{};
    EXPECT_EQ(vdx_nvme_execute(&error, &dev, &nvme), 0);
    EXPECT_EQ(nvme_calls, 1);
}

TEST_F(VdxTest, AtaOnSatInterfaceIsWrappedAndResultComesBackFromSense) {
    vdx_dev dev = make_fake_device("disk4", kVdxInterfaceScsiSatAta, kVdxConnectionStorage);
    g_fake.on_scsi = [](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        cmd->scsi_status = 2;
        std::uint8_t sense[32] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x00, 0x04,
                                  0x00, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0x51};
        std::memcpy(cmd->sense, sense, sizeof sense);
        cmd->sense_length = 22;
        return 0;
    };
    std::uint8_t buffer[512];
    vdx_ata_cmd ata{};
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.data = buffer;
    ata.length = sizeof buffer;
    ata.direction = kVdxDirFromDevice;
    vdx_error error{};
    ASSERT_EQ(vdx_ata_execute(&error, &dev, &ata), 0);
    ASSERT_EQ(g_fake.scsi_sent.size(), 1u);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[0], 0x85);
    EXPECT_EQ(g_fake.scsi_sent[0].cdb[14], 0xEC);
    EXPECT_EQ(ata.status, 0x51);
    EXPECT_EQ(ata.error, 0x04);
    EXPECT_EQ(ata.device, 0xA0);
    EXPECT_EQ(ata.count, 1);
}

TEST_F(VdxTest, ProbeAsksPredicatesInOrderAndFailsWithError3WhenNoneAnswers) {
    vdx_dev dev = make_fake_device("disk5", 0, kVdxConnectionStorage);
    std::vector<std::string> asked;
    g_fake.probe_nvme = [&](vdx_dev*) { asked.push_back("nvme"); return false; };
    g_fake.probe_sat = [&](vdx_dev*) { asked.push_back("sat"); return true; };
    g_fake.probe_scsi = [&](vdx_dev*) { asked.push_back("scsi"); return true; };
    vdx_error error{};
    ASSERT_EQ(vdx_dev_probe(&error, &dev), 0);
    EXPECT_EQ(dev.interface, kVdxInterfaceScsiSatAta);
    EXPECT_EQ(asked, (std::vector<std::string>{"nvme", "sat"}));
    EXPECT_NE(g_traced.find("probe device disk5\n"), std::string::npos);
    EXPECT_NE(g_traced.find("detected WINDOWS_SCSI_SAT_ATA\n"), std::string::npos);

    vdx_dev none = make_fake_device("disk6", 0, kVdxConnectionStorage);
    g_fake.probe_sat = g_fake.probe_scsi = nullptr;
    EXPECT_EQ(vdx_dev_probe(&error, &none), 1);
    EXPECT_EQ(error.code, 3u);
    EXPECT_STREQ(error.message, "unable to find a supported interface for device disk6");

    // Marvell bridges keep their interface; an open failure stops the probe.
    vdx_dev marvell = make_fake_device("disk7", kVdxInterfaceMarvellNevox, kVdxConnectionStorage);
    g_fake.probe_scsi = [&](vdx_dev*) { return true; };
    EXPECT_EQ(vdx_dev_probe(&error, &marvell), 0);
    EXPECT_EQ(marvell.interface, kVdxInterfaceMarvellNevox);
    g_fake.fail_open = true;
    vdx_dev closed = make_fake_device("disk8", 0, kVdxConnectionStorage);
    EXPECT_EQ(vdx_dev_probe(&error, &closed), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
}

}  // namespace
}  // namespace enctl
