// The lab as other programs see it: enctl-lab's commands, the fake sysfs
// tree, and the real sg3_utils tools reaching the simulated devices through
// the preload shim.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/lab_description.h"
#include "tests/sim/lab_fixture.h"

namespace enctl::testing {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What sg_ses prints when something is wrong with a page.
void expect_clean(const process_result& r, const std::string& what) {
    EXPECT_EQ(r.exit_code, 0) << what << "\n" << r.err;
    EXPECT_EQ(r.err, "") << what;
    for (const char* bad : {"<<<", "too short", "arning:", "rror", "problem", "Illegal", "unexpected", "mismatch"})
        EXPECT_FALSE(contains(r.out, bad)) << what << ": \"" << bad << "\" in\n" << r.out;
}

// Element types and counts of page 01h as sg_ses lists them.
std::vector<std::pair<std::string, int>> element_types(const std::string& page1) {
    std::vector<std::pair<std::string, int>> out;
    std::istringstream in(page1);
    std::string line;
    while (std::getline(in, line)) {
        auto at = line.find("Element type: ");
        if (at != std::string::npos) {
            const auto comma = line.find(',', at);
            out.emplace_back(line.substr(at + 14, comma - at - 14), -1);
        }
        at = line.find("number of possible elements: ");
        if (at != std::string::npos && !out.empty()) out.back().second = std::stoi(line.substr(at + 29));
    }
    return out;
}

std::vector<std::pair<std::string, int>> designed_types(int product) {
    struct counts {
        int slots, fans, temps;
        bool door;
        int amps, volts, exps, conns;
    };
    static const std::map<int, counts> table = {
        {1, {12, 4, 4, false, 2, 18, 2, 2}},  {2, {24, 4, 6, false, 2, 6, 6, 6}}, {3, {24, 4, 3, false, 2, 4, 2, 4}},
        {4, {24, 4, 3, false, 2, 4, 2, 4}},   {5, {60, 4, 8, true, 4, 4, 6, 6}},  {6, {102, 8, 10, true, 4, 4, 6, 8}},
        {7, {68, 6, 8, true, 4, 4, 3, 3}},
    };
    const counts& c = table.at(product);
    return {{"Array device slot", c.slots},
            {"Power supply", 2},
            {"Cooling", c.fans},
            {"Temperature sensor", c.temps},
            {c.door ? "Door" : "Audible alarm", 1},
            {"Enclosure services controller electronics", 2},
            {"Enclosure", 1},
            {"Current sensor", c.amps},
            {"Voltage sensor", c.volts},
            {"SAS expander", c.exps},
            {"SAS connector", c.conns}};
}

TEST(SimLabProcess, StartPrintsTheEnvironmentAndNothingElse) {
    running_lab lab;
    ASSERT_TRUE(lab.started()) << lab.start_err();
    EXPECT_EQ(lab.start_err(), "");
    std::istringstream in(lab.start_out());
    std::string line;
    std::vector<std::string> names;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        names.push_back(line.substr(0, eq));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ENCTL_SYSROOT", "ENCTL_LAB_SOCKET", "LD_PRELOAD", "ASAN_OPTIONS"}));
    EXPECT_EQ(lab.env_value("ENCTL_SYSROOT"), lab.dir() + "/root");
    EXPECT_TRUE(fs::exists(lab.env_value("LD_PRELOAD")));
    EXPECT_TRUE(contains(lab.env_value("ASAN_OPTIONS"), "verify_asan_link_order=0"));

    // A second lab in the same directory is refused; the first keeps running.
    const auto again = lab.lab_command({"start", lab.dir()});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_TRUE(contains(again.err, "already running"));
    EXPECT_EQ(lab.lab_command({"stats", lab.dir()}).exit_code, 0);
}

TEST(SimLabProcess, StopEndsTheLab) {
    char templ[] = "/tmp/enctl-lab-stop-XXXXXX";
    const std::string dir = ::mkdtemp(templ);
    const std::string lab_prog = built_program("enctl-lab");
    ASSERT_EQ(run_process({lab_prog, "start", dir}).exit_code, 0);
    const auto stop = run_process({lab_prog, "stop", dir});
    EXPECT_EQ(stop.exit_code, 0);
    EXPECT_EQ(stop.out, "stopped\n");
    EXPECT_FALSE(fs::exists(dir + "/lab.sock"));
    const auto again = run_process({lab_prog, "stop", dir});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(again.err, "enctl-lab: no lab running in " + dir + "\n");
    fs::remove_all(dir);
}

TEST(SimLabProcess, BadDescriptionStartsNothing) {
    running_lab lab(R"({"enclosures": [{"product": 9}]})");
    EXPECT_FALSE(lab.started());
    EXPECT_EQ(lab.start_out(), "");
    EXPECT_TRUE(contains(lab.start_err(), "lab.json: enclosures[0].product: must be a number from 0 to 7"))
        << lab.start_err();
    EXPECT_FALSE(fs::exists(lab.dir() + "/lab.sock"));
}

TEST(SimLabProcess, SysfsTreeAsOnALinuxHost) {
    running_lab lab;
    ASSERT_TRUE(lab.started());
    const fs::path sys = lab.root() + "/sys";
    const fs::path sg0 = sys / "class/scsi_generic/sg0";
    EXPECT_EQ(fs::canonical(sg0 / "device").filename(), "1:0:0:0");
    EXPECT_EQ(read_file(sg0 / "device/type"), "13\n");
    EXPECT_EQ(read_file(sg0 / "device/vendor"), "KORV    \n");
    EXPECT_EQ(read_file(sg0 / "device/model"), "AMBER RIDGE     \n");
    EXPECT_EQ(read_file(sg0 / "device/rev"), "2043\n");
    EXPECT_TRUE(fs::is_directory(sg0 / "device/scsi_generic/sg0"));
    EXPECT_EQ(read_file(sys / "class/scsi_host/host1/proc_name"), "mpt3sas\n");
    // The first disk: sg1 and sda, both on 1:0:1:0.
    EXPECT_EQ(fs::canonical(sys / "block/sda/device"), fs::canonical(sys / "class/scsi_generic/sg1/device"));
    EXPECT_EQ(fs::canonical(sys / "block/sda/device").filename(), "1:0:1:0");
    EXPECT_EQ(read_file(sys / "block/sda/device/type"), "0\n");
    EXPECT_TRUE(fs::is_directory(sys / "class/scsi_generic/sg1/device/block/sda"));
    const fs::path nvme = sys / "class/nvme/nvme0";
    EXPECT_EQ(read_file(nvme / "model"), "LabNVMe LN1920\n");
    EXPECT_EQ(read_file(nvme / "firmware_rev"), "1.2.0\n");
    EXPECT_TRUE(fs::is_directory(nvme / "device"));
    for (const char* node : {"sg0", "sda", "nvme0"}) EXPECT_TRUE(fs::is_regular_file(lab.node(node))) << node;
    // One sg node per SCSI device, one sd node per SCSI disk.
    const auto lab_model = enctl::sim::default_lab();
    std::size_t sg = 0, sd = 0;
    for (const auto& e : fs::directory_iterator(lab.root() + "/dev")) {
        const std::string n = e.path().filename();
        sg += n.rfind("sg", 0) == 0;
        sd += n.rfind("sd", 0) == 0;
    }
    EXPECT_EQ(sg, lab_model.enclosures.size() + lab_model.disks.size() - 1);
    EXPECT_EQ(sd, lab_model.disks.size() - 1);
}

TEST(SimLabProcess, ClassEntriesAreLinksAsTheKernelMakesThem) {
    running_lab lab(R"({"enclosures": [{"product": 7}],
                        "disks": [{"enclosure": "encl0", "slot": 0}, {"kind": "nvme"}]})");
    ASSERT_TRUE(lab.started()) << lab.start_err();
    const fs::path sys = lab.root() + "/sys";
    for (const char* entry : {"class/scsi_generic/sg0", "block/sda", "class/nvme/nvme0"})
        EXPECT_TRUE(fs::is_symlink(sys / entry)) << entry;
    EXPECT_EQ(fs::read_symlink(sys / "class/scsi_generic/sg0"),
              "../../devices/platform/host1/target1:0:0/1:0:0:0/scsi_generic/sg0");
    EXPECT_EQ(fs::read_symlink(sys / "class/scsi_generic/sg0/device"), "../../../1:0:0:0");
    EXPECT_EQ(read_file(sys / "class/scsi_generic/sg0/device/type"), "13\n");
    EXPECT_EQ(read_file(sys / "block/sda/device/type"), "0\n");
    EXPECT_EQ(read_file(sys / "class/nvme/nvme0/serial"), "NL00007001\n");
    expect_clean(lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=1"}), "page 1");

    running_lab dirs(R"({"kernel_class_links": false, "enclosures": [{"product": 7}],
                         "disks": [{"enclosure": "encl0", "slot": 0}]})");
    ASSERT_TRUE(dirs.started()) << dirs.start_err();
    const fs::path dsys = dirs.root() + "/sys";
    EXPECT_TRUE(fs::is_directory(dsys / "class/scsi_generic/sg0"));
    EXPECT_FALSE(fs::is_symlink(dsys / "class/scsi_generic/sg0"));
    const fs::path lexical = (dsys / "class/scsi_generic/sg0" / fs::read_symlink(dsys / "class/scsi_generic/sg0/device"))
                                 .lexically_normal();
    EXPECT_EQ(read_file(lexical / "type"), "13\n");
}

TEST(SimLabProcess, SgSesReadsEveryEnclosure) {
    running_lab lab;
    ASSERT_TRUE(lab.started());
    const auto model = enctl::sim::default_lab();
    for (const auto& e : model.enclosures) {
        const std::string hctl = std::to_string(e.address.host) + ":0:0:0";
        const std::string node = lab.node(lab.sg_of(hctl));
        SCOPED_TRACE(e.label + " " + node);
        for (const char* page : {"0", "1", "2", "3", "5", "7", "0xA"}) {
            const auto r = lab.run({"/usr/bin/sg_ses", node, std::string("--page=") + page});
            expect_clean(r, std::string("page ") + page);
            if (std::string(page) == "0") {
                EXPECT_TRUE(contains(r.out, "Additional Element Status (SES-2) [aes] [0xa]"));
            }
            if (std::string(page) == "1") {
                EXPECT_EQ(element_types(r.out), designed_types(e.product));
            }
            if (std::string(page) == "2") {
                // Only the Host-S enclosure of the default lab has troubles.
                EXPECT_TRUE(contains(r.out, e.label == "garnet" ? "INVOP=0, INFO=0, NON-CRIT=1, CRIT=1, UNRECOV=0"
                                                                : "INVOP=0, INFO=0, NON-CRIT=0, CRIT=0, UNRECOV=0"));
                if (e.label == "garnet") {
                    EXPECT_TRUE(contains(r.out, "Actual speed=0 rpm, Fan stopped"));
                    EXPECT_TRUE(contains(r.out, "Crit Under=1"));
                    EXPECT_TRUE(contains(r.out, "Voltage: 115.00 volts"));
                    EXPECT_TRUE(contains(r.out, "status: Not available"));
                    EXPECT_TRUE(contains(r.out, "Device off=1"));
                    EXPECT_TRUE(contains(r.out, "Open=1"));
                }
            }
            if (std::string(page) == "3") {
                const bool vendor = e.product != 3 && e.product != 4;
                EXPECT_EQ(contains(r.out, "FwRev:" + e.firmware + "\n"), vendor);
                EXPECT_EQ(contains(r.out, "|SES Status|"), vendor);
                EXPECT_EQ(contains(r.out, "|SES Status|\nPSU B:AC input low line\n"), e.label == "garnet");
            }
            if (std::string(page) == "7") {
                // Slot 0 holds the first drive of the enclosure; slot 4 is empty or holds the SATA disk.
                std::string slot0;
                for (const auto& d : model.disks)
                    if (d.enclosure == e.label && d.slot == 0) slot0 = d.slot_serial;
                const std::string prefix = e.multi_tenant ? "SLOT A" : "SLOT ";
                EXPECT_TRUE(contains(r.out, "Element 0 descriptor: " + prefix + "000," + slot0)) << r.out;
                const std::string esce =
                    "ESCE IOMA," + e.serial + "-IOMA,H3," + enctl::sim::hex16(e.sas_address + 0x100) + ",3.1.12";
                EXPECT_TRUE(contains(r.out, esce));
                EXPECT_TRUE(contains(r.out, "EXP IOMA 0," + e.firmware + "," +
                                                enctl::sim::hex16(e.sas_address + 0x100 + 0x3F)));
                EXPECT_EQ(contains(r.out, "EXP IOMB 1,3011-002,"), e.label == "alder");
            }
            if (std::string(page) == "0xA") {
                EXPECT_TRUE(contains(r.out, "device slot number: 0\n"));
                EXPECT_TRUE(contains(r.out, "target port for: SSP"));
            }
        }
        const auto join = lab.run({"/usr/bin/sg_ses", node, "--join"});
        expect_clean(join, "join");
        EXPECT_TRUE(contains(join.out, "Additional Element Status:"));
        EXPECT_TRUE(contains(join.out, "Element type: Voltage sensor"));
    }
}

TEST(SimLabProcess, WithoutElementIndexTheAdditionalStatusStillDecodes) {
    running_lab lab(R"({"enclosures": [{"product": 5, "eip": false}],
                        "disks": [{"enclosure": "encl0", "slot": 0}, {"enclosure": "encl0", "slot": 2}]})");
    ASSERT_TRUE(lab.started()) << lab.start_err();
    const auto r = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=0xa"});
    expect_clean(r, "page 0xA");
    EXPECT_FALSE(contains(r.out, "Element index:"));
    EXPECT_TRUE(contains(r.out, "SAS address: 0x50d15c0000100001"));
    const auto join = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--join"});
    expect_clean(join, "join");
}

TEST(SimLabProcess, SgInqAndSgVpdShowIdentities) {
    running_lab lab(R"({"enclosures": [{"product": 7, "serial": "KVGR12345678", "sas_address": "50E1AB000A0BC000"}],
        "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZA11BB22CC33DD44", "naa": "50D15C00ABCDEF00"},
                  {"kind": "sata", "enclosure": "encl0", "slot": 1, "serial": "WD-SATA-0001"}]})");
    ASSERT_TRUE(lab.started()) << lab.start_err();
    const auto inq = lab.run({"/usr/bin/sg_inq", lab.node("sg0")});
    EXPECT_EQ(inq.exit_code, 0) << inq.err;
    EXPECT_TRUE(contains(inq.out, "Peripheral device type: enclosure services device"));
    EXPECT_TRUE(contains(inq.out, "Product identification: M7310-R"));
    EXPECT_TRUE(contains(inq.out, "Unit serial number: KVGR12345678"));
    const auto vpd = lab.run({"/usr/bin/sg_vpd", "-p", "di", lab.node("sg0")});
    EXPECT_EQ(vpd.exit_code, 0) << vpd.err;
    // The logical unit is named after the attached IOM (A: base + 100h).
    EXPECT_TRUE(contains(vpd.out, "designator type: NAA,  code set: Binary\n      0x50e1ab000a0bc100")) << vpd.out;

    const auto disk = lab.run({"/usr/bin/sg_inq", lab.node("sda")});
    EXPECT_EQ(disk.exit_code, 0) << disk.err;
    EXPECT_TRUE(contains(disk.out, "Unit serial number: ZA11BB22CC33DD44"));
    const auto dvpd = lab.run({"/usr/bin/sg_vpd", "--page=di", lab.node("sda")});
    EXPECT_TRUE(contains(dvpd.out, "0x50d15c00abcdef00")) << dvpd.out;
    const auto sata = lab.run({"/usr/bin/sg_inq", lab.node("sdb")});
    EXPECT_TRUE(contains(sata.out, "Vendor identification: ATA"));
    EXPECT_TRUE(contains(sata.out, "Unit serial number: WD-SATA-0001"));
    // The enclosure's slot descriptors name both drives.
    const auto ed = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=7"});
    EXPECT_TRUE(contains(ed.out, "SLOT 000,ZA11BB22"));
    EXPECT_TRUE(contains(ed.out, "SLOT 001,WD-SATA-0001"));
}

TEST(SimLabProcess, InjectedFaultsReachTheTools) {
    running_lab lab(R"({"enclosures": [{"product": 5, "faults": [
        {"opcode": "0x1C", "page": 2, "kind": "check_condition", "sense": {"key": 2, "asc": "0x04", "ascq": 1}},
        {"opcode": "0x1C", "page": 7, "kind": "busy"}]}],
        "disks": [{"faults": [{"opcode": "0x12", "page": "0x80", "kind": "transport"}]}]})");
    ASSERT_TRUE(lab.started()) << lab.start_err();
    const auto cc = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=2", "-v"});
    EXPECT_NE(cc.exit_code, 0);
    EXPECT_TRUE(contains(cc.err, "Not Ready")) << cc.err;
    EXPECT_TRUE(contains(cc.err, "becoming ready")) << cc.err;
    const auto busy = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=7"});
    EXPECT_NE(busy.exit_code, 0);
    // Other pages still answer.
    expect_clean(lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=1"}), "page 1");
    const auto sn = lab.run({"/usr/bin/sg_vpd", "--page=sn", lab.node("sda")});
    EXPECT_NE(sn.exit_code, 0);
    EXPECT_EQ(lab.run({"/usr/bin/sg_vpd", "--page=di", lab.node("sda")}).exit_code, 0);
}

TEST(SimLabProcess, TimeOutsShortTransfersAndOneShotFaults) {
    running_lab lab(R"({"enclosures": [{"product": 5, "faults": [
        {"opcode": "0x1C", "page": 2, "kind": "delay", "ms": 90000},
        {"opcode": "0x1C", "page": 7, "kind": "short", "length": 100},
        {"opcode": "0x1C", "page": 3, "kind": "check_condition", "count": 1,
         "sense": {"key": 6, "asc": "0x29", "ascq": 0}}]}]})");
    ASSERT_TRUE(lab.started()) << lab.start_err();
    // Longer than the tool's 60-second time-out, in lab time: the command times out at once.
    const auto late = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=2"});
    EXPECT_TRUE(contains(late.out + late.err, "DID_TIME_OUT")) << late.out << late.err;
    const auto cut = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=7"});
    EXPECT_TRUE(contains(cut.out + cut.err, "response too short")) << cut.out << cut.err;
    // A one-shot fault is used up by the first process; the next one is answered.
    const auto first = lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=3"});
    EXPECT_NE(first.exit_code, 0);
    EXPECT_TRUE(contains(first.err, "Unit Attention")) << first.err;
    expect_clean(lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=3"}), "page 3 after the one-shot fault");
}

TEST(SimLabProcess, DumpGivesThePageInTheInputFormOfSgSes) {
    running_lab lab;
    ASSERT_TRUE(lab.started());
    const auto page1 = lab.lab_command({"dump", lab.dir(), "SCSI5:0,0,0", "1"});
    const auto page7 = lab.lab_command({"dump", lab.dir(), "/dev/" + lab.sg_of("5:0:0:0"), "0x07"});
    ASSERT_EQ(page1.exit_code, 0) << page1.err;
    ASSERT_EQ(page7.exit_code, 0) << page7.err;
    EXPECT_EQ(page7.out.substr(0, 12), "07 00 09 18 ");
    const std::string file = lab.dir() + "/pages.hex";
    std::ofstream(file) << page1.out << page7.out;
    const auto offline = run_process({"/usr/bin/sg_ses", "--inhex=" + file, "--status", "--page=7"});
    const auto live = lab.run({"/usr/bin/sg_ses", lab.node(lab.sg_of("5:0:0:0")), "--page=7"});
    ASSERT_EQ(offline.exit_code, 0) << offline.err;
    const auto from = live.out.find("Element Descriptor In diagnostic page:");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(offline.out.substr(offline.out.find("Element Descriptor In")), live.out.substr(from));

    const auto none = lab.lab_command({"dump", lab.dir(), "SCSI99:0,0,0", "1"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.err, "no device SCSI99:0,0,0 in the lab\n");
    EXPECT_EQ(lab.lab_command({"dump", lab.dir(), "disk0", "1"}).err, "disk0 is not an enclosure\n");
    EXPECT_EQ(lab.lab_command({"dump", lab.dir(), "SCSI1:0,0,0", "zz"}).exit_code, 1);
}

TEST(SimLabProcess, StateIsKeptAcrossProcesses) {
    running_lab lab(R"({"enclosures": [{"product": 2}]})");
    ASSERT_TRUE(lab.started());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(lab.run({"/usr/bin/sg_ses", lab.node("sg0"), "--page=7"}).exit_code, 0);
    const auto stats = lab.lab_command({"stats", lab.dir()});
    EXPECT_EQ(stats.exit_code, 0);
    // Two processes, each: INQUIRY, then page 01h and 07h.
    EXPECT_TRUE(contains(stats.out, "SCSI1:0,0,0 /dev/sg0 12h - 2\n")) << stats.out;
    EXPECT_TRUE(contains(stats.out, "SCSI1:0,0,0 /dev/sg0 1Ch 07h 2\n")) << stats.out;
    EXPECT_EQ(lab.lab_command({"stats", lab.dir(), "reset"}).exit_code, 0);
    EXPECT_EQ(lab.lab_command({"stats", lab.dir()}).out, "total 0\n");
}

TEST(SimLabProcess, ShimFollowsDescriptorsAndShowsDeviceNodes) {
    running_lab lab(R"({"enclosures": [{"product": 2}], "disks": [{"enclosure": "encl0", "slot": 0}]})");
    ASSERT_TRUE(lab.started());
    // Through a plain C library user: open non-blocking, fstat, dup, dup2, close.
    const std::string script = R"(
import fcntl, os, stat, struct, sys
SG_GET_VERSION_NUM = 0x2282
def version(fd):
    try:
        return struct.unpack("i", fcntl.ioctl(fd, SG_GET_VERSION_NUM, b"\0" * 4))[0]
    except OSError as e:
        return -e.errno
sg = os.open(sys.argv[1], os.O_RDWR | os.O_NONBLOCK)
st = os.fstat(sg)
print("sg", stat.S_ISCHR(st.st_mode), os.major(st.st_rdev), os.minor(st.st_rdev), version(sg))
sd = os.open(sys.argv[2], os.O_RDONLY)
st = os.fstat(sd)
print("sd", stat.S_ISBLK(st.st_mode), os.major(st.st_rdev), os.minor(st.st_rdev))
copy = os.dup(sg)
print("dup", version(copy))
null = os.open("/dev/null", os.O_RDWR)
os.dup2(null, sg)
print("replaced", version(sg), version(copy))
os.close(copy)
other = os.open(sys.argv[3], os.O_RDONLY)
print("other", version(other), stat.S_ISREG(os.fstat(other).st_mode))
)";
    const auto r = lab.run({"/usr/bin/python3", "-c", script, lab.node("sg0"), lab.node("sda"),
                            lab.root() + "/sys/class/scsi_generic/sg0/dev"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "sg True 21 0 30536\n"
              "sd True 8 0\n"
              "dup 30536\n"
              "replaced -25 30536\n"
              "other -25 True\n");
}

TEST(SimLabProcess, OtherFilesAreUntouchedByTheShim) {
    running_lab lab(R"({"enclosures": [{"product": 2}]})");
    ASSERT_TRUE(lab.started());
    // A regular file that merely looks like a node is not a lab device.
    const std::string fake = lab.dir() + "/sg0";
    std::ofstream(fake) << "enctl-lab sg0 1 0 0 0 13\n";
    const auto r = lab.run({"/usr/bin/sg_inq", fake});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(lab.lab_command({"stats", lab.dir()}).out, "total 0\n");
}

}  // namespace
}  // namespace enctl::testing
