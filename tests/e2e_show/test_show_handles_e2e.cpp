// show handles through the real enctl binary: the enclosure's IOM, one line
// per connected slot, disks paired by serial and bus.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_show/lab_session.h"

namespace enctl::testing {
namespace {

std::string body(const std::string& out) {
    const std::size_t end = out.find("\n\n");
    return end == std::string::npos ? out : out.substr(end + 2);
}

const std::string kHeader =
    "  Slot  SN        Cap(GB)  NAA WWID          Expander            Drive Handle\n"
    "  ---------------------------------------------------------------------------\n";

std::string iom_lines(char iom, const std::string& address) {
    return std::string("\n  Enclosure IOM         : ") + iom + "\n  Enclosure SAS Address : " + address + "\n\n" +
           kHeader;
}

// Product 2 dual-IOM reached through IOM A; product 5 single-IOM reached
// through IOM B; product 6 multi-tenant; product 7 (IOM B never listed);
// product 5 with page 0Ah descriptors without element index (EIP clear);
// products 1 and 3, which have no drive listing; an enclosure whose own
// address is neither IOM's.
const char* const kHandlesLab = R"({
  "enclosures": [
    {"product": 2, "label": "slate", "serial": "SLATE-0001", "sas_address": "0x5000C0FF0A100000"},
    {"product": 5, "label": "opalb", "serial": "OPAL-B", "sas_address": "0x5000C0FF0A200000",
     "iom": "single", "attached_iom": "B"},
    {"product": 6, "multi_tenant": true, "label": "mt", "serial": "ALDER-MT", "sas_address": "0x5000C0FF0A300000"},
    {"product": 7, "label": "garnet", "serial": "GARNET-1", "sas_address": "0x5000C0FF0A400000"},
    {"product": 5, "label": "noeip", "serial": "OPAL-NOEIP", "sas_address": "0x5000C0FF0A500000", "eip": false},
    {"product": 1, "label": "amber", "serial": "AMBER-1"},
    {"product": 3, "label": "halcyon", "serial": "HALCYON-1"},
    {"product": 5, "label": "unknown-iom", "serial": "OPAL-NONE", "sas_address": "0x5000C0FF0A600000",
     "attached_iom": "none"},
    {"product": 6, "label": "alder", "serial": "ALDER-1", "sas_address": "0x5000C0FF0A700000"},
    {"product": 4, "label": "corvin", "serial": "CORVIN-1"}
  ],
  "disks": [
    {"enclosure": "slate", "slot": 0, "serial": "ZA1ABC12345", "slot_serial": "ABC12345",
     "naa": "0x5000C50000AA0001", "blocks": 1953525168},
    {"enclosure": "slate", "slot": 5, "serial": "ZB9XYZ00001", "slot_serial": "XYZ00001",
     "naa": "0x5000C50000AA0002", "host": 20},
    {"enclosure": "slate", "slot": 23, "serial": "SLATE23SERIAL", "naa": "0x5000C50000AA0003"},
    {"enclosure": "opalb", "slot": 7, "serial": "OPALB7", "naa": "0x5000C50000BB0007"},
    {"enclosure": "mt", "slot": 1, "serial": "MTA00001", "naa": "0x5000C50000CC0001"},
    {"enclosure": "mt", "slot": 100, "serial": "MTB00100", "naa": "0x5000C50000CC0100"},
    {"enclosure": "garnet", "slot": 3, "serial": "GAR00003", "naa": "0x5000C50000DD0003"},
    {"enclosure": "noeip", "slot": 2, "serial": "NOEIP002", "naa": "0x5000C50000EE0002"},
    {"enclosure": "unknown-iom", "slot": 0, "serial": "NONE0000", "naa": "0x5000C50000FF0000"},
    {"enclosure": "alder", "slot": 0, "serial": "ALDER000", "naa": "0x5000C50000AB0000"},
    {"enclosure": "alder", "slot": 101, "serial": "ALDER101", "naa": "0x5000C50000AB0101"}
  ]
})";

TEST(ShowHandlesE2e, EveryProductByteForByte) {
    lab_session lab(kHandlesLab);
    ASSERT_TRUE(lab.started()) << lab.start_output();
    const process_result r = lab.run({"show", "handles"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string expected =
        "Device: SCSI1:0,0,0\n" + iom_lines('A', "5000C0FF0A100100") +
        // The disk's serial contains the slot's shorter serial: paired.
        "     0  ABC12345  1000     5000C50000AA0001  1:5000C0FF0A10017F  /dev/sda\n"
        // Same serial rule, but the disk sits on another bus: not paired.
        "     5  XYZ00001                             1:5000C0FF0A10017F  \n"
        "    23  SLATE23S  12000    5000C50000AA0003  2:5000C0FF0A1001BF  /dev/sdb\n"
        "\n"
        // Single IOM reached through IOM B: only IOM B is known.
        "Device: SCSI2:0,0,0\n" + iom_lines('B', "5000C0FF0A200200") +
        "     7  OPALB7    12000    5000C50000BB0007  1:5000C0FF0A20027F  /dev/sdc\n"
        "\n"
        // Multi-tenant slot texts name tenants A and B before the number.
        "Device: SCSI3:0,0,0\n" + iom_lines('A', "5000C0FF0A300100") +
        "     1  MTA00001  12000    5000C50000CC0001  1:5000C0FF0A30017F  /dev/sdd\n"
        "   100  MTB00100  12000    5000C50000CC0100  2:5000C0FF0A3001BF  /dev/sde\n"
        "\n"
        "Device: SCSI4:0,0,0\n" + iom_lines('A', "5000C0FF0A400100") +
        "     3  GAR00003  12000    5000C50000DD0003  1:5000C0FF0A40017F  /dev/sdf\n"
        "\n"
        // EIP clear: the SAS part of each descriptor starts at byte 2.
        "Device: SCSI5:0,0,0\n" + iom_lines('A', "5000C0FF0A500100") +
        "     2  NOEIP002  12000    5000C50000EE0002  1:5000C0FF0A50017F  /dev/sdg\n"
        "\n"
        "Device: SCSI6:0,0,0\n"
        "Operation not supported on this product\n"
        "\n"
        "Device: SCSI7:0,0,0\n"
        "Operation not supported on this product\n"
        "\n"
        // The enclosure's own address is neither IOM's.
        "Device: SCSI8:0,0,0\n"
        "\n"
        "  Enclosure SAS Address: 5000C0FF0A600000\n\n" +
        kHeader +
        "     0  NONE0000  12000    5000C50000FF0000  1:5000C0FF0A60017F  /dev/sdh\n"
        "\n"
        "Device: SCSI9:0,0,0\n" + iom_lines('A', "5000C0FF0A700100") +
        "     0  ALDER000  12000    5000C50000AB0000  1:5000C0FF0A70017F  /dev/sdi\n"
        "   101  ALDER101  12000    5000C50000AB0101  2:5000C0FF0A7001BF  /dev/sdj\n"
        "\n"
        "Device: SCSI10:0,0,0\n"
        "Operation not supported on this product\n"
        "\n";
    EXPECT_EQ(body(r.out), expected);
}

TEST(ShowHandlesE2e, PageFailuresEndOnlyThatEnclosuresListing) {
    lab_session lab(R"({
      "enclosures": [
        {"product": 5, "serial": "NO-PAGE7", "faults": [{"opcode": "0x1C", "page": 7, "kind": "check_condition",
                                                          "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]},
        {"product": 5, "serial": "NO-PAGEA", "faults": [{"opcode": "0x1C", "page": "0x0A", "kind": "busy"}]},
        {"product": 5, "serial": "NO-PAGE1", "faults": [{"opcode": "0x1C", "page": 1, "kind": "transport", "skip": 1}]},
        {"product": 5, "serial": "FINE", "sas_address": "0x5000C0FF0A900000"}
      ],
      "disks": [
        {"enclosure": "encl3", "slot": 59, "serial": "LASTSLOT1", "naa": "0x5000C50000FF0059"},
        {"enclosure": "encl3", "slot": 58, "serial": "CAPFAIL1", "naa": "0x5000C50000FF0058",
         "faults": [{"opcode": "0x9E", "kind": "check_condition", "sense": {"key": 5, "asc": "0x20", "ascq": 0}}]},
        {"enclosure": "encl3", "slot": 57, "serial": "NONAA001", "naa": "0x5000C50000FF0057",
         "faults": [{"opcode": "0x12", "page": "0x83", "kind": "check_condition",
                     "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]}
      ]
    })");
    ASSERT_TRUE(lab.started()) << lab.start_output();
    const process_result r = lab.run({"show", "handles"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string out = body(r.out);
    EXPECT_EQ(out.substr(0, out.find("Device: SCSI4:0,0,0\n")),
              "Device: SCSI1:0,0,0\n"
              "ERROR retrieving page 7\n"
              "ERROR: Not able to get data from SES page 7\n"
              "\n"
              "Device: SCSI2:0,0,0\n"
              "ERROR retrieving page A\n"
              "ERROR: Not able to get data from SES page Ah\n"
              "\n"
              "Device: SCSI3:0,0,0\n"
              "ERROR retrieving page 1\n"
              "ERROR: Not able to get data from SES page 7\n"
              "\n");
    EXPECT_NE(out.find("    59  LASTSLOT  12000    5000C50000FF0059  "), std::string::npos) << out;
    // READ CAPACITY failed: "N/A"; no NAA designator: an empty identifier,
    // the disk still paired.
    EXPECT_NE(out.find("    58  CAPFAIL1  N/A      5000C50000FF0058  "), std::string::npos) << out;
    EXPECT_NE(out.find("    57  NONAA001  12000                  "), std::string::npos) << out;
}

}  // namespace
}  // namespace enctl::testing
