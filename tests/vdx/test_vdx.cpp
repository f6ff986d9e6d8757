// The device model, the backend array and the dispatch, against the fake
// backend that logs every call. (The in-process lab tests run the same layer
// against the lab's devices.)
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "basekit/trace.h"
#include "tests/support/fake_backend.h"
#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl {
namespace {

using testing_fake::g_fake;

struct fake_state final : vdx_backend_state {
    std::unique_ptr<vdx_backend_state> clone() const override { return std::make_unique<fake_state>(*this); }
};

std::string g_traced;

class VdxTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_traced.clear();
        trace_clear_sinks();
        trace_register_sink([](const char* text) { g_traced += text; });
        g_trace_level = kTraceDevice;
    }
    void TearDown() override {
        g_trace_level = 0;
        trace_clear_sinks();
    }
    static vdx_dev device(const char* name, std::uint32_t interface, std::uint32_t connection = kVdxConnectionStorage) {
        return testing_fake::make_fake_device(name, interface, connection);
    }
    testing_fake::fake_backend_scope fake_;
};

// Payloads that log their destruction; copies get a "'".
std::vector<std::string> g_destroyed;
std::unique_ptr<vdx_dev_data> node(std::uint64_t tag, const char* text, bool copyable) {
    auto n = std::make_unique<vdx_dev_data>();
    n->tag = tag;
    n->payload = std::make_unique<std::string>(text).release();
    n->destructor = [](void* p) {
        std::unique_ptr<std::string> owned(static_cast<std::string*>(p));
        g_destroyed.push_back(*owned);
    };
    if (copyable)
        n->copy = [](void** dest, const void* src) {
            *dest = std::make_unique<std::string>(*static_cast<const std::string*>(src) + "'").release();
            return 0;
        };
    return n;
}

TEST_F(VdxTest, ListGrowsWhenCountPlusOneReachesCapacityAndStopsAtTheDeviceBound) {
    vdx_dev_list list;
    vdx_dev_release(&list);
    vdx_dev_enumeration_pop_back(&list);  // empty lists are harmless
    std::vector<std::uint32_t> capacity;
    for (int i = 0; i < 16; ++i) {
        vdx_dev* rec = vdx_dev_enumeration_push_back(&list);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(std::tuple(rec->backend_index, rec->scsi_address.port), std::tuple(-1, 255));
        *rec = device(std::string(1, static_cast<char>('a' + i)).c_str(), 0);
        capacity.push_back(list.capacity);
    }
    // The eighth push (count 7) already reallocates; the sixteenth again.
    EXPECT_EQ(std::tuple(capacity[6], capacity[7], capacity[14], capacity[15]), std::tuple(8u, 16u, 16u, 32u));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(list[i].name[0], 'a' + i) << "records survive growth";
    EXPECT_TRUE(g_fake.calls.empty());
    // Pop back cleans up the last record.
    list[15].os_handle = 7;
    vdx_dev_enumeration_pop_back(&list);
    EXPECT_EQ(list.count, 15u);
    EXPECT_EQ(g_fake.calls, std::vector<std::string>{"cleanup p"});
    EXPECT_EQ(list[15].name[0], '\0');

    while (list.count < kVdxMaxDevices) ASSERT_NE(vdx_dev_enumeration_push_back(&list), nullptr);
    EXPECT_EQ(vdx_dev_enumeration_push_back(&list), nullptr);
    EXPECT_EQ(list.count, kVdxMaxDevices);
    EXPECT_NE(g_traced.find("device table full (8192 devices)"), std::string::npos);
}

TEST_F(VdxTest, CleanupRunsEachDestructorOnceInChainOrder) {
    g_destroyed.clear();
    {
        vdx_dev dev = device("SCSI0", kVdxInterfaceScsi);
        for (const char* text : {"first", "second", "third"})
            vdx_dev_data_add(&dev, node(text[0] == 'f' ? kVdxTagEnclosure : kVdxTagEndDevice, text, false));
        vdx_dev_data* head = vdx_dev_data_first(dev);
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(head->prev, nullptr);
        EXPECT_EQ(head->next->next->prev, head->next.get());
        EXPECT_EQ(vdx_dev_data_find(dev, kVdxTagEndDevice), head->next.get());
        EXPECT_EQ(vdx_dev_cleanup(&dev), 0);
        EXPECT_EQ(vdx_dev_data_first(dev), nullptr);
    }
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(vdx_dev_cleanup(nullptr), 1);
    EXPECT_NE(g_traced.find("invalid device - skip cleanup\n"), std::string::npos);
}

TEST_F(VdxTest, CopyRebuildsTheChainClonesTheBackendStateAndOpensItsOwnHandle) {
    g_destroyed.clear();
    vdx_dev src = device("SCSI0", kVdxInterfaceScsi);
    src.backend_state = std::make_unique<fake_state>();
    vdx_dev_data_add(&src, node(kVdxTagEnclosure, "enc", true));
    vdx_dev_data_add(&src, node(kVdxTagEndDevice, "plain", false));
    vdx_dev_data_add(&src, node(kVdxTagEndDevice, "end", true));
    vdx_dev closed;
    ASSERT_EQ(vdx_dev_copy(&closed, &src), 0);
    EXPECT_STREQ(closed.name, "SCSI0");
    EXPECT_TRUE(g_fake.calls.empty()) << "a closed source is copied without opening anything";
    EXPECT_NE(g_traced.find("has no copy function - not copied"), std::string::npos);
    ASSERT_NE(vdx_backend_state_of<fake_state>(closed), nullptr);
    EXPECT_NE(closed.backend_state, src.backend_state);
    const vdx_dev_data* n = vdx_dev_data_first(closed);
    ASSERT_TRUE(n && n->next && !n->next->next);
    EXPECT_EQ(*static_cast<std::string*>(n->payload), "enc'");
    EXPECT_EQ(n->next->tag, kVdxTagEndDevice);
    EXPECT_EQ(*static_cast<std::string*>(n->next->payload), "end'");
    EXPECT_EQ(n->next->prev, n);
    vdx_dev_cleanup(&closed);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"enc'", "end'"}));

    vdx_error error{};
    ASSERT_EQ(vdx_dev_open(&error, &src), 0);
    vdx_dev_list table;
    ASSERT_NE(vdx_dev_append_copy(&table, src), nullptr);
    EXPECT_TRUE(vdx_dev_is_open(table[0]));
    EXPECT_NE(table[0].os_handle, src.os_handle);
    g_fake.fail_copy = true;
    EXPECT_EQ(vdx_dev_append_copy(&table, src), nullptr);
    EXPECT_EQ(table.count, 1u) << "the slot of a failed copy is dropped";
    EXPECT_EQ(vdx_dev_copy(nullptr, &src), 1);
    EXPECT_NE(g_traced.find("invalid dest ((nil)) or src"), std::string::npos);
}

TEST_F(VdxTest, MovedRecordTakesItsHandleAndStateAlong) {
    {
        vdx_dev a = device("disk3", kVdxInterfaceScsi);
        a.backend_state = std::make_unique<fake_state>();
        vdx_error error{};
        vdx_dev_open(&error, &a);
        vdx_dev b(std::move(a));
        EXPECT_FALSE(a.owns_resources());
        EXPECT_EQ(a.backend_state, nullptr);
        EXPECT_NE(vdx_backend_state_of<fake_state>(b), nullptr);
    }
    EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"open disk3", "cleanup disk3"}));
}

TEST_F(VdxTest, OpenAndCloseReachTheBackendOnlyWhenNeeded) {
    vdx_dev dev = device("disk2", kVdxInterfaceScsi);
    vdx_error error{};
    EXPECT_EQ(vdx_dev_close(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_open(&error, &dev), 0);
    EXPECT_EQ(vdx_dev_close(&error, &dev), 0);
    EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"open disk2", "close disk2"}));

    // Intel RST disks need the second handle too; hubs and RAID wrappers count as open.
    dev.os_handle = 5;
    dev.connection_driver = kVdxDriverIntelRst;
    EXPECT_FALSE(vdx_dev_is_open(dev));
    dev.second_handle = 6;
    EXPECT_TRUE(vdx_dev_is_open(dev));
    dev.os_handle = dev.second_handle = kVdxInvalidHandle;
    EXPECT_TRUE(vdx_dev_is_open(device("hub", kVdxInterfaceUsbRootHub, kVdxConnectionUsbRootHub)));
    EXPECT_TRUE(vdx_dev_is_open(device("r", 0, kVdxConnectionMegaraid)));
}

// Interfaces without a path fail with error 2 and the interface number.
TEST_F(VdxTest, InterfacesWithoutACommandPathFailWithError2) {
    vdx_dev dev = device("rste0", kVdxInterfaceNvmeIntelRste);
    vdx_scsi_cmd scsi{};
    vdx_ata_cmd ata{};
    vdx_nvme_cmd nvme{};
    const std::tuple<std::uint32_t, std::function<int(vdx_error*)>, const char*> rows[] = {
        {kVdxInterfaceNvmeIntelRste, [&](vdx_error* e) { return vdx_scsi_execute(e, &dev, &scsi); },
         "scsi execute not supported on device rste0"},
        // The Adaptec slot is empty.
        {kVdxInterfaceAdaptecScsi, [&](vdx_error* e) { return vdx_scsi_execute(e, &dev, &scsi); },
         "scsi execute not supported on device rste0"},
        {kVdxInterfaceScsi, [&](vdx_error* e) { return vdx_ata_execute(e, &dev, &ata); },
         "interface is not supported by ata execute"},
        {kVdxInterfaceScsi, [&](vdx_error* e) { return vdx_nvme_execute(e, &dev, &nvme); },
         "nvme execute not supported on device rste0"},
    };
    for (const auto& [interface, execute, message] : rows) {
        dev.interface = interface;
        vdx_error error{};
        EXPECT_EQ(execute(&error), 1);
        EXPECT_EQ(std::tuple(error.code, error.subcode), std::tuple(2u, interface)) << message;
        EXPECT_STREQ(error.message, message);
    }
    EXPECT_TRUE(g_fake.calls.empty());
}

TEST_F(VdxTest, BackendArraySlotsEnumerateInKindOrderAndServeTheirOwnDevices) {
    g_fake.entries = {{kVdxEnumSes, "SCSI1", kVdxInterfaceScsi, kVdxConnectionEnclosure},
                      {kVdxEnumDisks, "disk0", 0, kVdxConnectionStorage}};
    vdx_backend_ops adaptec = testing_fake::fake_backend();
    adaptec.adaptec_present = [] { return true; };
    EXPECT_EQ(vdx_backend_get(vdx_backend_kind::test), nullptr);
    {
        vdx_backend_scope test(vdx_backend_kind::test, &testing_fake::fake_backend());
        vdx_backend_scope wrapper(vdx_backend_kind::adaptec, &adaptec);
        vdx_dev_list list;
        vdx_dev_enumerate_flags(&list, kVdxEnumDisks | kVdxEnumSes);
        std::vector<std::string> names;
        for (const vdx_dev& d : list.view()) names.push_back(d.name);
        EXPECT_EQ(names, (std::vector<std::string>{"disk0", "disk0", "disk0", "SCSI1", "SCSI1", "SCSI1"}));
        EXPECT_EQ(list[1].backend, &adaptec);
        EXPECT_TRUE(vdx_adaptec_present()) << "every slot is asked";
        // A wrapper's device is served by the wrapper's slot even without a table of its own.
        vdx_dev raid = device("raid0", kVdxInterfaceAdaptecScsi, kVdxConnectionAdaptec);
        raid.backend = nullptr;
        vdx_dev_cleanup(&raid);
        vdx_scsi_cmd cmd{};
        vdx_error error{};
        EXPECT_EQ(vdx_scsi_execute(&error, &raid, &cmd), 0);
        EXPECT_EQ(g_fake.calls, std::vector<std::string>{"cleanup raid0"});
        EXPECT_EQ(g_fake.scsi_sent.size(), 1u);
        vdx_dev_release(&list);
    }
    EXPECT_EQ(vdx_backend_get(vdx_backend_kind::test), nullptr) << "the scope put back what was there";
    EXPECT_EQ(vdx_backend_install(vdx_backend_kind::platform, nullptr), &testing_fake::fake_backend());
    EXPECT_FALSE(vdx_adaptec_present());
    vdx_dev orphan = device("disk9", kVdxInterfaceScsi);
    orphan.backend = nullptr;
    vdx_error error{};
    EXPECT_EQ(vdx_dev_open(&error, &orphan), 1) << "no table serves a record of an empty slot";
    EXPECT_STREQ(error.message, "open not supported on device disk9");
}

TEST_F(VdxTest, ProbeAsksPredicatesInOrderAndFailsWithError3WhenNoneAnswers) {
    std::vector<std::string> asked;
    g_fake.probe_nvme = [&](vdx_dev*) { return asked.push_back("nvme"), false; };
    g_fake.probe_sat = [&](vdx_dev*) { return asked.push_back("sat"), true; };
    g_fake.probe_scsi = [&](vdx_dev*) { return asked.push_back("scsi"), true; };
    vdx_dev dev = device("disk5", 0);
    vdx_error error{};
    ASSERT_EQ(vdx_dev_probe(&error, &dev), 0);
    EXPECT_EQ(dev.interface, kVdxInterfaceScsiSatAta);
    EXPECT_EQ(asked, (std::vector<std::string>{"nvme", "sat"}));
    EXPECT_NE(g_traced.find("probe device disk5\n"), std::string::npos);
    EXPECT_NE(g_traced.find("detected WINDOWS_SCSI_SAT_ATA\n"), std::string::npos);

    // Marvell bridges keep their interface.
    vdx_dev marvell = device("disk7", kVdxInterfaceMarvellNevox);
    EXPECT_EQ(vdx_dev_probe(&error, &marvell), 0);
    EXPECT_EQ(marvell.interface, kVdxInterfaceMarvellNevox);

    g_fake.probe_sat = g_fake.probe_scsi = nullptr;
    vdx_dev none = device("disk6", 0);
    EXPECT_EQ(vdx_dev_probe(&error, &none), 1);
    EXPECT_EQ(error.code, 3u);
    EXPECT_STREQ(error.message, "unable to find a supported interface for device disk6");
    g_fake.fail_open = true;
    vdx_dev closed = device("disk8", 0);
    EXPECT_EQ(vdx_dev_probe(&error, &closed), 1);
    EXPECT_EQ(error.code, kErrOsRequest);
}

}  // namespace
}  // namespace enctl
