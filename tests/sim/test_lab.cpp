// The lab in-process: device names, lookup, injected faults, counters.
#include <gtest/gtest.h>

#include "sim/enclosure.h"
#include "sim/lab.h"
#include "tests/sim/sim_test_util.h"

namespace enctl::sim {
namespace {

using namespace enctl::sim::testing;

lab make_lab(const std::string& json) {
    std::string error;
    auto d = parse_lab_description(json, error);
    EXPECT_TRUE(d) << error;
    return lab(d ? *d : lab_description{});
}

scsi_result exec(lab& l, const std::string& name, std::vector<std::uint8_t> cdb, std::uint32_t cap = 4096,
                 std::uint32_t timeout_ms = 30000) {
    scsi_command c;
    c.cdb = cdb;
    c.data_in_capacity = cap;
    c.timeout_ms = timeout_ms;
    lab_device* d = l.find(name);
    EXPECT_TRUE(d) << name;
    return d ? l.execute_scsi(*d, c) : scsi_result{};
}

TEST(SimLab, KernelNames) {
    EXPECT_EQ(sd_name(0), "sda");
    EXPECT_EQ(sd_name(25), "sdz");
    EXPECT_EQ(sd_name(26), "sdaa");
    EXPECT_EQ(sd_name(701), "sdzz");
    EXPECT_EQ(sd_name(702), "sdaaa");
}

TEST(SimLab, DevicesAreNamedAsTheOperatingSystemNamesThem) {
    lab l = make_lab(R"({"enclosures": [{"product": 5, "host": 2, "target": 5}, {"product": 1}],
        "disks": [{"enclosure": "encl0", "slot": 0}, {"enclosure": "encl1", "slot": 3}, {"kind": "nvme"}]})");
    const auto& d = l.devices();
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[0].name, "SCSI2:0,5,0");
    EXPECT_EQ(d[1].name, "SCSI1:0,0,0");
    // sg numbers and sd letters follow the SCSI addresses: host 1 first.
    EXPECT_EQ(d[1].sg_node, "sg0");
    EXPECT_EQ(d[3].sg_node, "sg1");
    EXPECT_EQ(d[3].block_node, "sda");
    EXPECT_EQ(d[3].name, "disk0");
    EXPECT_EQ(d[0].sg_node, "sg3");
    EXPECT_EQ(d[2].address.host, 2);
    EXPECT_EQ(d[2].address.target, 0);
    EXPECT_EQ(d[2].name, "disk1");
    EXPECT_EQ(d[4].name, "nvme0");
    EXPECT_EQ(l.find("scsi2:0,5,0"), &l.devices()[0]);
    EXPECT_EQ(l.find("/dev/sg3"), &l.devices()[0]);
    EXPECT_EQ(l.find("/tmp/x/root/dev/sda"), &l.devices()[3]);
    EXPECT_EQ(l.find("nvme0"), &l.devices()[4]);
    EXPECT_EQ(l.find("/tmp/sg3"), nullptr);
    EXPECT_EQ(l.find("sg9"), nullptr);
    // The seated disk's short serial is in its slot's descriptor.
    const auto ed = exec(l, "sg3", receive_diag_cdb(0x07));
    const std::string text(ed.data_in.begin(), ed.data_in.end());
    EXPECT_NE(text.find("SLOT 000," + d[2].serial.substr(0, 8)), std::string::npos);
}

TEST(SimLab, InjectedFaults) {
    lab l = make_lab(R"({"enclosures": [{"product": 5, "faults": [
        {"opcode": "0x1C", "page": 2, "kind": "check_condition", "sense": {"key": 2, "asc": 4, "ascq": 1}},
        {"opcode": "0x1C", "page": 7, "kind": "short", "length": 10, "skip": 1, "count": 1},
        {"opcode": "0x1C", "page": 10, "kind": "delay", "ms": 45000},
        {"opcode": "0x1C", "page": 1, "kind": "busy", "count": 2},
        {"opcode": "0x12", "page": "0x80", "kind": "transport"}]}]})");
    const std::string e = "SCSI1:0,0,0";
    const auto cc = exec(l, e, receive_diag_cdb(0x02));
    EXPECT_EQ(cc.status, 0x02);
    EXPECT_EQ(sense_code(cc), 0x020401u);
    EXPECT_TRUE(cc.data_in.empty());
    // Other pages are untouched.
    EXPECT_EQ(exec(l, e, receive_diag_cdb(0x05)).status, 0);
    // skip 1, then once short, then whole again.
    EXPECT_GT(exec(l, e, receive_diag_cdb(0x07)).data_in.size(), 10u);
    EXPECT_EQ(exec(l, e, receive_diag_cdb(0x07)).data_in.size(), 10u);
    EXPECT_GT(exec(l, e, receive_diag_cdb(0x07)).data_in.size(), 10u);
    // A delay within the time-out: the answer comes after 45 s of lab time.
    const auto before = l.clock().now_ms();
    const auto slow = exec(l, e, receive_diag_cdb(0x0A), 4096, 60000);
    EXPECT_EQ(slow.status, 0);
    EXPECT_EQ(slow.duration_ms, 45000u);
    EXPECT_EQ(l.clock().now_ms() - before, 45000u);
    // Longer than the time-out: the command times out.
    const auto late = exec(l, e, receive_diag_cdb(0x0A), 4096, 30000);
    EXPECT_EQ(late.host_status, 0x03);
    EXPECT_TRUE(late.data_in.empty());
    EXPECT_EQ(exec(l, e, receive_diag_cdb(0x01)).status, 0x08);
    EXPECT_EQ(exec(l, e, receive_diag_cdb(0x01)).status, 0x08);
    EXPECT_EQ(exec(l, e, receive_diag_cdb(0x01)).status, 0x00);
    EXPECT_TRUE(exec(l, e, inquiry_cdb(0x80)).transport_failure);
    EXPECT_FALSE(exec(l, e, inquiry_cdb(0x83)).transport_failure);
}

TEST(SimLab, CountsCommandsPerOpcodeAndPage) {
    lab l = make_lab(R"({"enclosures": [{"product": 7}], "disks": [{"kind": "nvme"}]})");
    exec(l, "sg0", inquiry_cdb());
    exec(l, "sg0", receive_diag_cdb(0x02));
    exec(l, "sg0", receive_diag_cdb(0x02));
    exec(l, "sg0", receive_diag_cdb(0x0A));
    nvme_command c;
    c.opcode = 0x06;
    c.cdw10 = 1;
    c.data_len = 4096;
    l.execute_nvme(*l.find("nvme0"), c);
    EXPECT_EQ(l.stats_text(),
              "SCSI1:0,0,0 /dev/sg0 12h - 1\n"
              "SCSI1:0,0,0 /dev/sg0 1Ch 02h 2\n"
              "SCSI1:0,0,0 /dev/sg0 1Ch 0Ah 1\n"
              "nvme0 /dev/nvme0 06h 01h 1\n"
              "total 5\n");
    l.reset_stats();
    EXPECT_EQ(l.stats_text(), "total 0\n");
}

}  // namespace
}  // namespace enctl::sim
