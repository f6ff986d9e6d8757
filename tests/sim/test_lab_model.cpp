// The lab in process: its description (defaults, mistakes, the built-in and
// generated labs), the names its devices get, injected faults on the lab
// clock and NVMe admin answers.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "sim/lab.h"
#include "sim/lab_description.h"
#include "tests/support/golden.h"

namespace enctl::sim {
namespace {

using testing::expect_golden;
using testing::golden;

lab_description described(const std::string& json) {
    std::string error;
    auto d = parse_lab_description(json, error);
    EXPECT_TRUE(d) << error;
    return d ? *d : lab_description{};
}

// Each mistake is a description on one line, then "-> " and the error it
// gives, all in one golden file.
TEST(SimLabDescription, MistakesAreNamed) {
    std::istringstream cases(golden("sim/golden/description_mistakes.txt"));
    std::string text;
    for (std::string json, expected; std::getline(cases, json) && std::getline(cases, expected);) {
        std::string error;
        EXPECT_FALSE(parse_lab_description(json, error)) << "accepted: " << json;
        text += json + "\n-> " + error + "\n";
    }
    expect_golden(text, "sim/golden/description_mistakes.txt");
}

TEST(SimLabDescription, DefaultsFillWhatAFileLeavesOut) {
    const auto lab = described(R"({"enclosures": [{"product": 6, "multi_tenant": true}],
        "disks": [{"enclosure": "encl0", "slot": 3}, {"kind": "nvme"}, {"kind": "sata"}]})");
    ASSERT_EQ(lab.disks.size(), 3u);
    const auto& e = lab.enclosures.at(0);
    EXPECT_EQ(e.product_id, "M7320-P");
    EXPECT_EQ(e.product_name, "ZMC-NX3AMT");
    EXPECT_EQ(e.slots, 102u);
    EXPECT_TRUE(e.dual_iom);
    EXPECT_EQ(std::tie(e.address.host, e.address.target), std::make_tuple(1, 0));
    // A seated disk is on its enclosure's host; one outside gets a host of its own.
    EXPECT_EQ(std::tie(lab.disks[0].address.host, lab.disks[0].address.target), std::make_tuple(1, 1));
    EXPECT_EQ(lab.disks[2].address.host, 2);
    // The slot names a SAS disk by the first 8 characters of its serial.
    EXPECT_EQ(lab.disks[0].slot_serial, lab.disks[0].serial.substr(0, 8));
    EXPECT_EQ(lab.disks[2].slot_serial, lab.disks[2].serial);
}

TEST(SimLabDescription, BuiltInAndGeneratedLabs) {
    // What the default lab holds shows in the golden pages and transcripts of
    // the tools and end-to-end tests.
    const auto lab = default_lab();
    // Written as JSON, it reads back the same.
    std::string error;
    const auto again = parse_lab_description(lab_description_json(lab), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(lab_description_json(*again), lab_description_json(lab));

    const auto big = generated_lab(16, 1000);
    EXPECT_EQ(big.enclosures.size(), 16u);
    std::set<std::tuple<int, int, int, int>> addresses;
    for (const auto& d : big.disks) {
        EXPECT_FALSE(d.enclosure.empty());
        addresses.insert({d.address.host, d.address.channel, d.address.target, d.address.lun});
    }
    EXPECT_EQ(addresses.size(), 1000u);
    EXPECT_TRUE(parse_lab_description(lab_description_json(big), error)) << error;
    // More disks than slots: the rest sit outside the enclosures.
    const auto over = generated_lab(1, 70);
    EXPECT_EQ(over.disks.size(), 70u);
    EXPECT_TRUE(over.disks.back().enclosure.empty());
}

TEST(SimLab, DevicesAreNamedAsTheOperatingSystemNamesThemAndFoundByAnyName) {
    for (const auto& [index, name] :
         std::map<int, std::string>{{0, "sda"}, {25, "sdz"}, {26, "sdaa"}, {701, "sdzz"}, {702, "sdaaa"}})
        EXPECT_EQ(sd_name(index), name);
    lab l(described(R"({"enclosures": [{"product": 5, "host": 2, "target": 5}, {"product": 1}],
        "disks": [{"enclosure": "encl0", "slot": 0}, {"enclosure": "encl1", "slot": 3}, {"kind": "nvme"}]})"));
    // sg numbers follow the SCSI addresses (host 1 first): SCSI2:0,5,0 is sg3.
    const std::vector<lab_device>& d = l.devices();
    for (const auto& [name, index] :
         std::map<std::string, int>{{"scsi2:0,5,0", 0}, {"/dev/sg3", 0}, {"/tmp/x/root/dev/sda", 3}, {"nvme0", 4}})
        EXPECT_EQ(l.find(name), &d[index]) << name;
    EXPECT_EQ(l.find("/tmp/sg3"), nullptr);
    EXPECT_EQ(l.find("sg9"), nullptr);
}

scsi_result receive_diagnostic(lab& l, std::uint8_t page, std::uint32_t timeout_ms = 30000) {
    const std::uint8_t cdb[] = {0x1C, 0x01, page, 0x10, 0x00, 0};
    scsi_command c;
    c.cdb = cdb;
    c.data_in_capacity = 4096;
    c.timeout_ms = timeout_ms;
    return l.execute_scsi(l.devices()[0], c);
}

TEST(SimLab, FaultsFireAsDescribedOnTheLabClock) {
    // Pages and opcodes as numbers, 0x and h hex; sense as fields or hex text.
    lab l(described(R"({"enclosures": [{"product": 5, "faults": [
        {"opcode": "0x1C", "page": "02h", "kind": "check_condition", "sense": {"key": 2, "asc": 4, "ascq": 1}},
        {"opcode": 28, "page": 3, "kind": "check_condition", "sense": "72 02 04 01 00 00 00 00"},
        {"opcode": "1Ch", "page": 7, "kind": "short", "length": 10, "skip": 1, "count": 1},
        {"opcode": "0x1C", "page": 10, "kind": "delay", "ms": 45000},
        {"opcode": "0x1C", "page": 1, "kind": "busy", "count": 2},
        {"opcode": "0x5A", "kind": "busy"}]}]})"));
    const auto fixed = receive_diagnostic(l, 0x02);
    EXPECT_EQ(fixed.status, 0x02);
    EXPECT_EQ(fixed.sense, (bytes{0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x01, 0, 0, 0, 0}));
    EXPECT_TRUE(fixed.data_in.empty());
    EXPECT_EQ(receive_diagnostic(l, 0x03).sense, (bytes{0x72, 0x02, 0x04, 0x01, 0, 0, 0, 0}));
    // Skip one, then once short, then whole again.
    EXPECT_GT(receive_diagnostic(l, 0x07).data_in.size(), 10u);
    EXPECT_EQ(receive_diagnostic(l, 0x07).data_in.size(), 10u);
    EXPECT_GT(receive_diagnostic(l, 0x07).data_in.size(), 10u);
    // A delay within the time-out: the answer comes after 45 s of lab time
    // (a longer one times out: the tools tests).
    const auto before = l.clock().now_ms();
    const auto slow = receive_diagnostic(l, 0x0A, 60000);
    EXPECT_EQ(std::tie(slow.status, slow.duration_ms), std::make_tuple(std::uint8_t{0}, 45000u));
    EXPECT_EQ(l.clock().now_ms() - before, 45000u);
    for (std::uint8_t status : {0x08, 0x08, 0x00}) EXPECT_EQ(receive_diagnostic(l, 0x01).status, status);
    // Untouched page; a fault without a page hits every page of its opcode.
    EXPECT_EQ(receive_diagnostic(l, 0x00).status, 0);
    const std::uint8_t mode_sense[] = {0x5A, 0x08, 0x3F, 0, 0, 0, 0, 0x02, 0x00, 0};
    scsi_command c;
    c.cdb = mode_sense;
    c.data_in_capacity = 512;
    EXPECT_EQ(l.execute_scsi(l.devices()[0], c).status, 0x08);
}

// A clock that records the service waits instead of sleeping.
struct service_waits final : clock_source {
    std::uint64_t now_ms() override { return 0; }
    void sleep_ms(std::uint64_t ms) override { waited_us.push_back(ms * 1000); }
    void sleep_us(std::uint64_t us) override { waited_us.push_back(us); }
    std::vector<std::uint64_t> waited_us;
};

TEST(SimLab, ServiceTimesPerDeviceOrByKindAndTheBusiestDevice) {
    lab l(described(R"({"enclosure_service_us": 2000, "disk_service_us": 300,
        "enclosures": [{"product": 5}, {"product": 6, "service_us": 0}],
        "disks": [{"enclosure": "encl0", "slot": 0}, {"enclosure": "encl0", "slot": 1, "service_us": 5000}]})"));
    service_waits waits;
    l.set_service_clock(&waits);
    const std::uint8_t inquiry[] = {0x12, 0, 0, 0, 96, 0};
    scsi_command c;
    c.cdb = inquiry;
    c.data_in_capacity = 96;
    for (const char* name : {"SCSI1:0,0,0", "SCSI1:0,0,0", "SCSI2:0,0,0", "disk0", "disk1"})
        EXPECT_EQ(l.execute_scsi(*l.find(name), c).status, 0) << name;
    EXPECT_EQ(waits.waited_us, (std::vector<std::uint64_t>{2000, 2000, 300, 5000}));
    const std::string stats = l.stats_text();
    EXPECT_TRUE(stats.ends_with("total 5\nbusiest disk1 5000 us\n")) << stats;
    l.reset_stats();
    EXPECT_EQ(l.stats_text(), "total 0\n");
    // The completed description keeps them.
    const std::string json = lab_description_json(l.description());
    for (const char* key : {"\"enclosure_service_us\":\t2000", "\"disk_service_us\":\t300", "\"service_us\":\t5000"})
        EXPECT_NE(json.find(key), std::string::npos) << key << json;
}

TEST(SimLab, NvmeControllerAnswersWithNvmeStatuses) {
    lab l(described(R"({"disks": [{"kind": "nvme",
        "faults": [{"opcode": 6, "page": 2, "kind": "nvme_status", "status": 385}]}]})"));
    const struct {
        std::uint8_t opcode;
        std::uint32_t cdw10;  // bits 7-0: the CNS of Identify
        std::uint16_t status;
    } cases[] = {{0x06, 0x01, 0x0000}, {0x06, 0x77, 0x0002}, {0x99, 0x01, 0x0001}, {0x06, 0x02, 385}};
    for (const auto& x : cases) {
        nvme_command c;
        c.opcode = x.opcode;
        c.cdw10 = x.cdw10;
        c.data_len = 4096;
        EXPECT_EQ(l.execute_nvme(l.devices()[0], c).status, x.status) << int{x.opcode} << " " << x.cdw10;
    }
}

}  // namespace
}  // namespace enctl::sim
