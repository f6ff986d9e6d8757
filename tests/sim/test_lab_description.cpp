// The lab description: defaults, checks, the built-in and generated labs.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "sim/lab_description.h"

namespace enctl::sim {
namespace {

std::string parse_error(const std::string& json) {
    std::string error;
    auto lab = parse_lab_description(json, error);
    EXPECT_FALSE(lab) << "accepted: " << json;
    return error;
}

TEST(SimLabDescription, DefaultLabHoldsEveryProductAndThreeDiskKinds) {
    const auto lab = default_lab();
    std::vector<std::pair<int, bool>> products;
    for (const auto& e : lab.enclosures) products.emplace_back(e.product, e.multi_tenant);
    EXPECT_EQ(products, (std::vector<std::pair<int, bool>>{
                            {1, false}, {2, false}, {3, false}, {4, false}, {5, false}, {6, false}, {6, true}, {7, false}}));
    std::map<disk_kind, int> kinds;
    std::map<std::string, int> per_enclosure;
    for (const auto& d : lab.disks) {
        ++kinds[d.kind];
        if (!d.enclosure.empty()) ++per_enclosure[d.enclosure];
    }
    EXPECT_EQ(kinds[disk_kind::sata], 1);
    EXPECT_EQ(kinds[disk_kind::nvme], 1);
    for (const auto& e : lab.enclosures) {
        EXPECT_GT(per_enclosure[e.label] * 10, static_cast<int>(e.slots) * 7) << e.label << ": most slots hold a drive";
        EXPECT_LT(per_enclosure[e.label], static_cast<int>(e.slots)) << e.label << ": some slots are empty";
    }
    for (const auto& d : lab.disks) {
        if (d.enclosure.empty()) continue;
        // The slot names the disk's serial or a shorter one contained in it.
        EXPECT_NE(d.serial.find(d.slot_serial), std::string::npos);
        const auto& e = *std::find_if(lab.enclosures.begin(), lab.enclosures.end(),
                                      [&](const enclosure_spec& x) { return x.label == d.enclosure; });
        EXPECT_EQ(d.address.host, e.address.host);
    }
}

TEST(SimLabDescription, MinimalEnclosureGetsProductDefaults) {
    std::string error;
    auto lab = parse_lab_description(R"({"enclosures": [{"product": 6, "multi_tenant": true}],
        "disks": [{"enclosure": "encl0", "slot": 3}, {"kind": "nvme"}, {"kind": "sata"}]})", error);
    ASSERT_TRUE(lab) << error;
    const auto& e = lab->enclosures[0];
    EXPECT_EQ(e.product_id, "M7320-P");
    EXPECT_EQ(*e.product_name, "ZMC-NX3AMT");
    EXPECT_EQ(e.slots, 102u);
    EXPECT_TRUE(e.dual_iom);
    EXPECT_EQ(e.address.host, 1);
    EXPECT_EQ(e.address.target, 0);
    EXPECT_EQ(lab->disks[0].address.host, 1);
    EXPECT_EQ(lab->disks[0].address.target, 1);
    // A disk outside every enclosure gets a host of its own.
    EXPECT_EQ(lab->disks[2].address.host, 2);
    EXPECT_EQ(lab->disks[2].slot_serial, lab->disks[2].serial);
    EXPECT_EQ(lab->disks[0].slot_serial, lab->disks[0].serial.substr(0, 8));
}

TEST(SimLabDescription, FaultsAreRead) {
    std::string error;
    auto lab = parse_lab_description(R"({"enclosures": [{"product": 5, "faults": [
        {"opcode": "0x1C", "page": "02h", "kind": "check_condition", "sense": {"key": 5, "asc": "0x24", "ascq": 0}},
        {"opcode": 18, "kind": "check_condition", "sense": "72 02 04 01 00 00 00 00"},
        {"opcode": "0x1C", "kind": "short", "length": 10, "skip": 2, "count": 1},
        {"opcode": "0x1C", "kind": "delay", "ms": 40000},
        {"opcode": "0x12", "kind": "busy"}, {"opcode": "0x12", "kind": "transport"}]}]})", error);
    ASSERT_TRUE(lab) << error;
    const auto& f = lab->enclosures[0].faults;
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].opcode, 0x1C);
    EXPECT_EQ(*f[0].page, 0x02);
    EXPECT_EQ(f[0].sense.size(), 18u);
    EXPECT_EQ(f[0].sense[2], 5);
    EXPECT_EQ(f[0].sense[12], 0x24);
    EXPECT_EQ(f[1].sense, (bytes{0x72, 0x02, 0x04, 0x01, 0, 0, 0, 0}));
    EXPECT_FALSE(f[1].page);
    EXPECT_EQ(f[2].kind, fault_kind::short_transfer);
    EXPECT_EQ(f[2].skip, 2u);
    EXPECT_EQ(*f[2].count, 1u);
    EXPECT_EQ(f[3].delay_ms, 40000u);
    EXPECT_EQ(f[4].kind, fault_kind::busy);
    EXPECT_EQ(f[5].kind, fault_kind::transport);
}

TEST(SimLabDescription, MistakesAreNamed) {
    EXPECT_EQ(parse_error("{"), "not valid JSON");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 8}]})"),
              "enclosures[0].product: must be a number from 0 to 7");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"prodcut": 5}]})"), "enclosures[0]: unknown key \"prodcut\"");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "slots": 201}]})"),
              "enclosures[0].slots: must be a number from 0 to 200");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "multi_tenant": true}]})"),
              "enclosures[0]: only product 6 has a multi-tenant firmware");
    EXPECT_EQ(parse_error(R"({"disks": [{"enclosure": "nowhere", "slot": 1}]})"),
              "disks[0].enclosure: no enclosure labelled \"nowhere\"");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 1}], "disks": [{"enclosure": "encl0", "slot": 12}]})"),
              "disks[0].slot: must be below 12");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 1}],
        "disks": [{"enclosure": "encl0", "slot": 2}, {"enclosure": "encl0", "slot": 2}]})"),
              "disks[1].slot: slot 2 is taken");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 1, "host": 3, "target": 0}, {"product": 2, "host": 3, "target": 0}]})"),
              "enclosures[1]: SCSI address 3:0:0:0 used twice");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "faults": [{"opcode": 28, "kind": "explode"}]}]})"),
              "enclosures[0].faults[0].kind: must be check_condition, busy, transport, short, delay or nvme_status");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "faults": [{"opcode": 28, "kind": "check_condition"}]}]})"),
              "enclosures[0].faults[0]: check_condition needs \"sense\" (hex text or {key, asc, ascq})");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "elements": [{"type": 5, "index": 1}]}]})"),
              "enclosures[0].elements: no element 1 of type 5");
    EXPECT_EQ(parse_error(R"({"disks": [{"kind": "nvme", "enclosure": "x"}]})"),
              "disks[0]: an NVMe disk cannot sit in an enclosure slot");
    EXPECT_EQ(parse_error(R"({"enclosures": [{"product": 5, "sas_address": "xyz"}]})"),
              "enclosures[0].sas_address: must be 1 to 16 hex digits, not all zero");
}

TEST(SimLabDescription, WrittenJsonReadsBackTheSame) {
    const auto lab = default_lab();
    std::string error;
    const auto again = parse_lab_description(lab_description_json(lab), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(lab_description_json(*again), lab_description_json(lab));
    ASSERT_EQ(again->disks.size(), lab.disks.size());
    EXPECT_EQ(again->disks.back().serial, lab.disks.back().serial);
}

TEST(SimLabDescription, GeneratedBigLab) {
    const auto lab = generated_lab(16, 1000);
    EXPECT_EQ(lab.enclosures.size(), 16u);
    EXPECT_EQ(lab.disks.size(), 1000u);
    std::set<std::tuple<int, int, int, int>> addresses;
    for (const auto& d : lab.disks) {
        EXPECT_FALSE(d.enclosure.empty());
        addresses.insert({d.address.host, d.address.channel, d.address.target, d.address.lun});
    }
    EXPECT_EQ(addresses.size(), 1000u);
    std::string error;
    EXPECT_TRUE(parse_lab_description(lab_description_json(lab), error)) << error;
    // More disks than slots: the rest sit outside the enclosures.
    const auto over = generated_lab(1, 70);
    EXPECT_EQ(over.disks.size(), 70u);
    EXPECT_TRUE(over.disks.back().enclosure.empty());
}

}  // namespace
}  // namespace enctl::sim
