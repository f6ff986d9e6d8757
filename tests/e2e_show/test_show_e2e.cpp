// The real enctl binary against simulated labs: show, show handles, the
// device table built from target names, and product recognition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_show/lab_session.h"

namespace enctl::testing {
namespace {

// The output after the banner (two lines and a blank line).
std::string body(const std::string& out) {
    const std::size_t end = out.find("\n\n");
    return end == std::string::npos ? out : out.substr(end + 2);
}

std::string device_block(const std::string& name, const std::string& product, const std::string& serial,
                         const std::string& firmware, const std::string& description) {
    return "Device: " + name + "\n    product : " + product + "\n    serial  : " + serial +
           "\n    firmware: " + firmware + "\n    name    : " + description + "\n\n";
}

#define REQUIRE_LAB(lab) \
    ASSERT_TRUE((lab).started()) << "the lab did not start: " << (lab).start_output()

// Recognition: every product code by product id or by page C1h name, the
// multi-tenant variant, the "ZMC-NX2A" slot count with its fallback, unknown
// products, a failing mode page 20h and firmware without "FwRev:".
const char* const kRecognitionLab = R"({
  "enclosures": [
    {"product": 1, "serial": "SER-P1", "firmware": "2043-012"},
    {"product": 2, "serial": "SER-P2", "firmware": "2038-004",
     "faults": [{"opcode": "0x5A", "page": "0x20", "kind": "check_condition",
                 "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]},
    {"product": 3, "serial": "SER-P3", "firmware": "0512-001"},
    {"product": 4, "serial": "SER-P4", "firmware": "0620-002"},
    {"product": 5, "serial": "SER-P5", "firmware": "2041-003", "product_id": "UNKNOWN-5"},
    {"product": 6, "serial": "SER-P6", "firmware": "3012-007", "product_name": ""},
    {"product": 6, "multi_tenant": true, "serial": "SER-P6MT", "firmware": "3012-007", "product_id": "UNKNOWN-6"},
    {"product": 7, "serial": "SER-P7", "firmware": "3005-001", "product_id": "UNKNOWN-7"},
    {"product": 5, "serial": "SER-X24", "product_id": "M7320-P", "product_name": "ZMC-NX2A", "slots": 24},
    {"product": 5, "serial": "SER-U24", "product_id": "NOSUCH", "product_name": "ZMC-NX2A", "slots": 24},
    {"product": 5, "serial": "SER-UNK", "product_id": "NOSUCH", "product_name": ""},
    {"product": 5, "serial": "SER-NOFW", "firmware": "2041-003",
     "faults": [{"opcode": "0x1C", "page": 3, "kind": "short", "length": 24}]},
    {"product": 5, "serial": "SER-FWFAIL", "firmware": "2041-003",
     "faults": [{"opcode": "0x1C", "page": 3, "kind": "check_condition",
                 "sense": {"key": 5, "asc": "0x24", "ascq": 0}}]}
  ],
  "disks": []
})";

TEST(ShowE2e, RecognisesEveryProductAndItsEdgeCases) {
    lab_session lab(kRecognitionLab);
    REQUIRE_LAB(lab);
    const process_result r = lab.run({"show"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string expected =
        // Product 2's mode page 20h fails while it is recognised.
        "ERROR: Cannot determine if IOM is single or dual configuration\n"
        "Some IOM related features may not function properly\n" +
        device_block("SCSI1:0,0,0", "AMBER RIDGE", "SER-P1", "2043-012", "TN7000 Storage Platform") +
        device_block("SCSI2:0,0,0", "NX2B_STOR_ENCL", "SER-P2", "2038-004", "NX2B Storage Platform") +
        // Products 3 and 4 report the INQUIRY revision.
        device_block("SCSI3:0,0,0", "NX2A_STOR_ENCL", "SER-P3", "0512", "NX2A Storage Platform") +
        device_block("SCSI4:0,0,0", "NX1F_STOR_ENCL", "SER-P4", "0620", "NX1F Flash Storage Platform") +
        // "ZMC-NX2A" with 60 slots is product 5 whatever the product id.
        device_block("SCSI5:0,0,0", "UNKNOWN-5", "SER-P5", "2041-003", "Veloxaris Bay-S") +
        // No page C1h: the product id decides.
        device_block("SCSI6:0,0,0", "M7320-P", "SER-P6", "3012-007", "Veloxaris Bay-L") +
        device_block("SCSI7:0,0,0", "UNKNOWN-6", "SER-P6MT", "3012-007", "Veloxaris Bay-L") +
        // "ZMC-NX2A" with 68 slots is product 7.
        device_block("SCSI8:0,0,0", "UNKNOWN-7", "SER-P7", "3005-001", "Veloxaris Host-S") +
        // "ZMC-NX2A" with 24 slots falls back to the product id...
        device_block("SCSI9:0,0,0", "M7320-P", "SER-X24", "2041-003", "Veloxaris Bay-L") +
        // ...and with an unknown product id (SCSI10), like an unknown
        // product without page C1h (SCSI11), is left out silently.
        // Page 03h cut before "FwRev:", and page 03h failing.
        device_block("SCSI12:0,0,0", "M7310-P", "SER-NOFW", "N/A", "Veloxaris Bay-S") +
        device_block("SCSI13:0,0,0", "M7310-P", "SER-FWFAIL", "N/A", "Veloxaris Bay-S");
    EXPECT_EQ(body(r.out), expected);
}

TEST(ShowE2e, DefaultLabListsEveryEnclosure) {
    lab_session lab;
    REQUIRE_LAB(lab);
    const process_result r = lab.run({"show"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string out = body(r.out);
    const char* const descriptions[] = {"TN7000 Storage Platform", "NX2B Storage Platform", "NX2A Storage Platform",
                                        "NX1F Flash Storage Platform", "Veloxaris Bay-S", "Veloxaris Bay-L",
                                        "Veloxaris Bay-L", "Veloxaris Host-S"};
    std::size_t at = 0;
    for (int i = 0; i < 8; ++i) {
        const std::string device = "Device: SCSI" + std::to_string(i + 1) + ":0,0,0\n    product : ";
        at = out.find(device, at);
        ASSERT_NE(at, std::string::npos) << device << out;
        const std::size_t name = out.find("    name    : ", at);
        ASSERT_NE(name, std::string::npos);
        EXPECT_EQ(out.substr(name + 14, std::string(descriptions[i]).size() + 1), std::string(descriptions[i]) + "\n");
        at = name;
    }
    EXPECT_EQ(out.find("Device: SCSI9"), std::string::npos);
    // Every enclosure has a serial and a firmware revision.
    EXPECT_EQ(out.find("serial  : \n"), std::string::npos);
    EXPECT_EQ(out.find("firmware: \n"), std::string::npos);
}

// Targets: names are matched ignoring case; a disk named as a target is
// refused with the hint and the run goes on.
TEST(ShowE2e, NamedTargets) {
    lab_session lab(kRecognitionLab);
    REQUIRE_LAB(lab);
    process_result r = lab.run({"scsi1:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(body(r.out), device_block("SCSI1:0,0,0", "AMBER RIDGE", "SER-P1", "2043-012", "TN7000 Storage Platform"));

    // The same name twice gives the device twice.
    r = lab.run({"SCSI4:0,0,0", "Scsi4:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string p4 = device_block("SCSI4:0,0,0", "NX1F_STOR_ENCL", "SER-P4", "0620", "NX1F Flash Storage Platform");
    EXPECT_EQ(body(r.out), p4 + p4);

    // An unknown name beside a known one is skipped silently.
    r = lab.run({"SCSI99:0,0,0", "SCSI4:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(body(r.out), p4);

    // Only unknown names: nothing to work on.
    r = lab.run({"SCSI99:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(body(r.out),
              "The given target device(s) cannot be found\n"
              "Please use the 'show' command to find the supported SEP devices\n\n");

    // A named enclosure that is not recognised stays silent.
    r = lab.run({"SCSI11:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(body(r.out), "");
}

TEST(ShowE2e, DiskNamedAsTargetIsRefusedAndTheRunGoesOn) {
    lab_session lab(R"({"enclosures": [{"product": 5, "serial": "OPAL-1", "firmware": "2041-003"}],
                       "disks": [{"enclosure": "encl0", "slot": 0, "serial": "ZL0000001"}]})");
    REQUIRE_LAB(lab);
    const process_result r = lab.run({"disk0", "SCSI1:0,0,0", "show"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(body(r.out), "Device not supported: disk0\n"
                           "Please use the 'show' command to find the supported SEP devices\n\n" +
                               device_block("SCSI1:0,0,0", "M7310-P", "OPAL-1", "2041-003", "Veloxaris Bay-S"));
}

TEST(ShowE2e, NoEnclosureAtAll) {
    lab_session lab(R"({"enclosures": [], "disks": [{"serial": "LONELY01"}]})");
    REQUIRE_LAB(lab);
    for (const char* handles : {"", "handles"}) {
        std::vector<std::string> args{"show"};
        if (*handles) args.emplace_back(handles);
        const process_result r = lab.run(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(body(r.out), "No supported enclosures found\n\n");
    }
}

}  // namespace
}  // namespace enctl::testing
