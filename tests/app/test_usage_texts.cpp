// Every usage text, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "app/args.h"
#include "app/discovery/show_options.h"
#include "app/getlog/getlog_options.h"
#include "app/ops/diag_options.h"
#include "app/ops/fw_options.h"
#include "app/ops/iom_options.h"
#include "app/ops/rcli_options.h"
#include "app/ops/zone_options.h"
#include "rest/http_args.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

using testing::console_output;

TEST(UsageTexts, Show) {
    EXPECT_EQ(console_output(show_usage),
              "Usage:\n"
              "    show           scan for all enclosures and display the following:\n"
              "                       product description\n"
              "                       serial number\n"
              "                       firmware revision\n"
              "                       product name\n"
              "    show handles   display connected drives with slot #, serial number, capacity,\n"
              "                   NAA ZMDID, expander, and OS device handle name\n"
              "\n");
}

TEST(UsageTexts, Rcli) {
    std::string expected =
              "Usage:\n"
              "    rcli <command string>\n"
              "\n"
              "Arguments:\n"
              "    <command string>\n"
              "        Any of the commands allowed by the enclosure firmware.\n"
              "        Specify in quotes if the command has spaces.\n"
              "        Maximum command length is %u characters.\n"
              "\n"
              "Example:\n"
              "    rcli \"show drives\"\n"
              "\n";
    expected.replace(expected.find("%u"), 2, "256");
    EXPECT_EQ(console_output(rcli_usage), expected);
}

TEST(UsageTexts, Iom) {
    EXPECT_EQ(console_output(iom_usage),
              "Usage:\n"
              "    iom [oobm|oobm=<iom>,<ip>,<netmask>,<gateway>]\n"
              "\n"
              "Arguments:\n"
              "    oobm        display current OOBM values\n"
              "    oobm=<args> set new OOBM values\n"
              "         <iom>     = [A|B]\n"
              "         <ip>      = [x.x.x.x]\n"
              "         <netmask> = [x.x.x.x]\n"
              "         <gateway> = [x.x.x.x]\n"
              "                     x must be 0-255\n"
              "\n"
              "    Default is to display current IOM single or dual setting\n"
              "\n"
              "Example to change IOM A to static addresses:\n"
              "    iom oobm=A,192.168.0.10,255.255.255.0,192.168.0.1\n"
              "\n"
              "Example to change IOM B to DHCP:\n"
              "    iom oobm=B,0.0.0.0,0.0.0.0,0.0.0.0\n"
              "\n"
              "Example to display current OOBM:\n"
              "    iom oobm\n"
              "\n"
              "Example to display if enclosure is set to single or dual IOM:\n"
              "    iom\n"
              "\n");
}

TEST(UsageTexts, Fw) {
    EXPECT_EQ(console_output(fw_usage),
              "Usage:\n"
              "    fw activate | reset | status\n"
              "    fw download* <file> [-nostatdelay]\n"
              "\n"
              "Options for [argument]:\n"
              "    download <file>            download microcode with the given binary file\n"
              "    download_activate <file>   download followed by the activate command\n"
              "    download_reset <file>      download followed by the IOM reset command\n"
              "    activate                   activate the previously downloaded firmware\n"
              "    reset                      reset IOMs\n"
              "    status                     display the download microcode diagnostic page 0Eh\n"
              "    -nostatdelay               optional flag to skip the default delay after a download command\n"
              "\n"
              "The \"fw\" command requires the user to specify one target device.\n"
              "Example: enctl SCSI1:4,64,0 fw download <file>\n"
              "Example: enctl SCSI1:4,64,0 fw download_activate <file> -nostatdelay\n"
              "\n");
}

TEST(UsageTexts, Zone) {
    EXPECT_EQ(console_output(zone_usage),
              "Usage:\n"
              "    zone config=<value>\n"
              "    zone file=<file>\n"
              "    zone reset\n"
              "    zone status\n"
              "\n"
              "Details:\n"
              "    config=<value>  configure zones to the given pre-defined value\n"
              "    config=0        disable zoning\n"
              "    config=<1-3>    pre-defined configuration per product type\n"
              "                    M7320-P:\n"
              "                      1: 17 drives visible to each host port\n"
              "                      2: 34 drives visible to each pair of consecutive host ports (i.e. A1, A2)\n"
              "                      3: 51 drives visible to each 3x consecutive host ports (i.e. A1, A2, A3)\n"
              "                    M7310-P:\n"
              "                      1: 10 drives visible to each host port\n"
              "                      2: 20 drives visible to each pair of consecutive host ports (i.e. A1, A2)\n"
              "                      3: 30 drives visible to each 3x consecutive host ports (i.e. A1, A2, A3)\n"
              "    file=<file>     send binary config file to the IOM\n"
              "    reset           reset the current IOM\n"
              "    status          display current zone configuration setting\n"
              "\n"
              "The \"zone\" command requires the user to specify one target device\n"
              "Example: enctl SCSI1:4,64,0 zone reset\n"
              "\n");
}

TEST(UsageTexts, Diag) {
    EXPECT_EQ(console_output(diag_usage),
              "Usage:\n"
              "    diag <identifier>\n"
              "\n"
              "Options for <identifier>:\n"
              "    clear-crashevent   clear crash event logs\n"
              "    clear-eventlog     clear event logs\n"
              "    nickname           display current nickname diagnostic page\n"
              "    nickname=<string>  set new nickname (use quotes if name has spaces)\n"
              "    nickname=          clear any previously set nickname\n"
              "    reset-enc          reset the enclosure\n"
              "    reset-iom-a        reset IOM A of the enclosure\n"
              "    reset-iom-b        reset IOM B of the enclosure\n"
              "    timestamp          display the enclosure's internal date and time\n"
              "    timestamp=<value>  set the enclosure's temporary internal date and time\n"
              "                       <value> must be a 32-bit epoch time value\n"
              "    autosync-enable    enable auto synchronization feature\n"
              "    autosync-disable   disable auto synchronization feature\n"
              "\n"
              "Examples:\n"
              "    diag nickname=DC2\n"
              "    diag nickname=\"DC2 Cage2\"\n"
              "\n");
}

TEST(UsageTexts, Getlog) {
    EXPECT_EQ(console_output(getlog_usage),
              "Usage:\n"
              "    getlog [<identifier> [<identifier>] ...]\n"
              "\n"
              "Options for <identifier>:\n"
              "    common           get publicly known logs\n"
              "    vendor           get vendor specific logs\n"
              "    system-heavy     get system host logs that cause heavy loads on the drives\n"
              "    system-light     get system host logs that cause light load on drives\n"
              "    system           combination of system-heavy and system-light\n"
              "    drives           get logs from the attached physical drives (nvme, sas, sata)\n"
              "    drives-noprompt  same as above but without prompting for user confirmation\n"
              "    pack=<path>      combine all requested logs into a single packaged file\n"
              "                     \"=<path>\" is optional (saved to the default log dir if not specified)\n"
              "    timeout=<sec>    seconds to wait when spawning a process to get logs\n"
              "    all              includes all of the above identifiers\n"
              "    all-noprompt     same as above but without prompting for user confirmation\n"
              "\n"
              "\n");
}

TEST(UsageTexts, Http) {
    EXPECT_EQ(console_output(http_usage),
              "Description:\n"
              "    General operations for Arcadeon Shelf enclosures\n"
              "\n"
              "Usage:\n"
              "    http=<ipv4> [[user=<id> pass=<password>] <identifier>]\n"
              "\n"
              "Options for <identifier>:\n"
              "    fw=<binary>         update firmware by uploading the given file\n"
              "    getlog              retrieve vendor logs from the enclosure\n"
              "    getlog dir=<path>   retrieve vendor logs from the enclosure\n"
              "    health              display health state for all enclosure components\n"
              "    health=bad          display only when health state is not ok\n"
              "    iom                 display current IO module settings\n"
              "    iom=dhcp            configure IO module to use dynamic IP\n"
              "    iom=<ip4v>          configure IO module to the given static IP\n"
              "    show                list available <device> names for the command below\n"
              "    show=<device>       display data for the given device\n"
              "\n"
              "Examples:\n"
              "    http=10.11.12.13\n"
              "    http=10.11.12.13 user=admin pass=tovek getlog\n"
              "\n");
}

TEST(UsageTexts, UsageIsPrintedAtNormalVerbosityOnly) {
    EXPECT_EQ(console_output(show_usage, kVerbosityOom), "");
    EXPECT_EQ(console_output(enctl_usage, kVerbosityOom), "");
}

}  // namespace
}  // namespace enctl
