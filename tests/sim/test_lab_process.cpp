// enctl-lab as a program: start, stop and their mistakes, the fake sysfs and
// /dev tree laid out as on a Linux host, and the preload shim, which makes
// the lab's nodes device nodes and leaves every other file alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(SimLabProcess, StartWritesTheTreeAndPrintsTheEnvironmentStopEndsIt) {
    running_lab lab;
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    EXPECT_EQ(lab.start_result().err, "");
    std::vector<std::string> names;
    for (const auto& [name, value] : lab.env()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"ENCTL_SYSROOT", "ENCTL_LAB_SOCKET", "LD_PRELOAD", "ASAN_OPTIONS"}));
    EXPECT_EQ(lab.env()[0].second, lab.root());
    EXPECT_EQ(lab.env()[1].second, lab.dir() + "/lab.sock");
    EXPECT_TRUE(fs::exists(lab.env()[2].second));
    EXPECT_NE(lab.env()[3].second.find("verify_asan_link_order=0"), std::string::npos);

    // Class entries are links into sys/devices, as the kernel makes them.
    const fs::path sys = lab.root() + "/sys";
    const struct {
        const char* path;
        const char* content;  // of the file, or the target of the link when it ends in '@'
    } entries[] = {
        {"class/scsi_generic/sg0@", "../../devices/platform/host1/target1:0:0/1:0:0:0/scsi_generic/sg0"},
        {"class/scsi_generic/sg0/device@", "../../../1:0:0:0"},
        {"block/sda@", "../devices/platform/host1/target1:0:1/1:0:1:0/block/sda"},
        {"class/nvme/nvme0@", "../../devices/pci0000:00/0000:00:1d.0/nvme/nvme0"},
        {"class/scsi_generic/sg0/device/type", "13\n"},
        {"class/scsi_generic/sg0/device/vendor", "KORV    \n"},
        {"class/scsi_generic/sg0/device/model", "AMBER RIDGE     \n"},
        {"class/scsi_generic/sg0/device/rev", "2043\n"},
        {"class/scsi_host/host1/proc_name", "mpt3sas\n"},
        {"block/sda/device/type", "0\n"},
        {"class/nvme/nvme0/model", "LabNVMe LN1920\n"},
        {"class/nvme/nvme0/serial", "NL00007338\n"},
        {"class/nvme/nvme0/firmware_rev", "1.2.0\n"},
    };
    for (const auto& e : entries) {
        std::string path = e.path;
        if (path.back() == '@') {
            path.pop_back();
            EXPECT_EQ(fs::read_symlink(sys / path), e.content) << path;
        } else {
            EXPECT_EQ(read_file(sys / path), e.content) << path;
        }
    }
    // The nodes are regular files (the shim makes them devices).
    EXPECT_TRUE(fs::is_regular_file(lab.root() + "/dev/sg0"));
    EXPECT_TRUE(fs::is_regular_file(lab.root() + "/dev/sda"));

    // A second lab in the same directory is refused; the first keeps running.
    const auto again = lab.lab_command({"start", lab.dir()});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find("already running"), std::string::npos) << again.err;
    EXPECT_EQ(lab.lab_command({"stats", lab.dir()}).exit_code, 0);

    const auto stop = lab.lab_command({"stop", lab.dir()});
    EXPECT_EQ(stop.exit_code, 0);
    EXPECT_EQ(stop.out, "stopped\n");
    EXPECT_FALSE(fs::exists(lab.dir() + "/lab.sock"));
    const auto stopped = lab.lab_command({"stop", lab.dir()});
    EXPECT_EQ(stopped.exit_code, 1);
    EXPECT_EQ(stopped.err, "enctl-lab: no lab running in " + lab.dir() + "\n");
}

TEST(SimLabProcess, BadDescriptionStartsNothing) {
    running_lab lab(R"({"enclosures": [{"product": 9}]})");
    EXPECT_FALSE(lab.started());
    EXPECT_EQ(lab.start_result().out, "");
    EXPECT_NE(lab.start_result().err.find("lab.json: enclosures[0].product: must be a number from 0 to 7"),
              std::string::npos)
        << lab.start_result().err;
    EXPECT_FALSE(fs::exists(lab.dir() + "/lab.sock"));
}

TEST(SimLabProcess, ShimMakesLabNodesDevicesAndLeavesOtherFilesAlone) {
    // Class entries as directories whose device link reaches lexically too.
    running_lab lab(R"({"kernel_class_links": false, "enclosures": [{"product": 2}],
                        "disks": [{"enclosure": "encl0", "slot": 0}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const fs::path sg0 = lab.root() + "/sys/class/scsi_generic/sg0";
    EXPECT_FALSE(fs::is_symlink(sg0));
    EXPECT_EQ(read_file((sg0 / fs::read_symlink(sg0 / "device")).lexically_normal() / "type"), "13\n");

    // A regular file that merely looks like a node is not a lab device.
    const std::string fake = lab.dir() + "/sg0";
    std::ofstream(fake) << "enctl-lab sg0 1 0 0 0 13\n";
    EXPECT_NE(lab.run({"/usr/bin/sg_inq", fake}).exit_code, 0);
    EXPECT_EQ(lab.lab_command({"stats", lab.dir()}).out, "total 0\n");

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
    const auto r =
        lab.run({"/usr/bin/python3", "-c", script, lab.node("sg0"), lab.node("sda"), (sg0 / "dev").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "sg True 21 0 30536\n"
              "sd True 8 0\n"
              "dup 30536\n"
              "replaced -25 30536\n"
              "other -25 True\n");
}

}  // namespace
}  // namespace enctl::testing
