// The enclosure model: identity, mode page 20h and the SES pages, read the
// way the program's discovery reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>

#include "sim/enclosure.h"
#include "sim/lab_description.h"
#include "tests/sim/sim_test_util.h"

namespace enctl::sim {
namespace {

using namespace enctl::sim::testing;

enclosure_spec completed(int product, bool mt = false, const std::string& extra_json = {}) {
    const std::string json = "{\"enclosures\": [{\"product\": " + std::to_string(product) +
                             (mt ? ", \"multi_tenant\": true" : "") + extra_json + "}]}";
    std::string error;
    auto lab = parse_lab_description(json, error);
    EXPECT_TRUE(lab) << error;
    return lab ? lab->enclosures.at(0) : enclosure_spec{};
}

// Product recognition as discovery does it: product id shortcuts, the VPD
// C1h name (with page 01h's slot count for the shared name), the product id.
struct recognised {
    int product = 0;
    bool multi_tenant = false;
};

std::optional<recognised> recognise(enclosure& e) {
    const auto std_inq = run(e, inquiry_cdb());
    const std::string pid = text_at(std_inq.data_in, 16, 16);
    if (pid.find("NX2A_STOR_ENCL") != std::string::npos) return recognised{3};
    if (pid.find("NX1F_STOR_ENCL") != std::string::npos) return recognised{4};
    const auto c1 = run(e, inquiry_cdb(0xC1));
    if (c1.status == 0 && c1.data_in.size() >= 16) {
        char name[12] = {};
        std::memcpy(name, &c1.data_in[5], 11);
        const std::string n = name;
        if (n == "KORV UNIT") return recognised{1};
        if (n == "KORV-NX2A") return recognised{2};
        if (n == "ZMC-NX3A") return recognised{6};
        if (n == "ZMC-NX3AMT") return recognised{6, true};
        if (n == "ZMC-NX2A") {
            const auto cfg = run(e, receive_diag_cdb(0x01));
            const auto& b = cfg.data_in;
            for (std::size_t off = 12 + b[11]; off < b.size(); off += 4)
                if (b[off] == 0x17) {
                    if (b[off + 1] == 60) return recognised{5};
                    if (b[off + 1] == 68) return recognised{7};
                    break;
                }
        }
    }
    static const std::map<std::string, int> ids = {{"STOR ENCL UNIT", 1}, {"AMBER RIDGE", 1}, {"NX2B_STOR_ENCL", 2},
                                                   {"M7310-P", 5},        {"Tidemarch M1", 5}, {"M7320-P", 6},
                                                   {"Tidemarch M2", 6},   {"M7310-R", 7}};
    const auto it = ids.find(pid);
    if (it != ids.end()) return recognised{it->second};
    return std::nullopt;
}

struct product_case {
    int product;
    bool mt;
    const char* product_id;
    const char* c1_name;  // nullptr: no page C1h
    std::uint32_t slots;
    bool single;          // mode page 20h says single IOM
};

const product_case cases[] = {
    {1, false, "AMBER RIDGE", "KORV UNIT", 12, true},   {2, false, "NX2B_STOR_ENCL", "KORV-NX2A", 24, false},
    {3, false, "NX2A_STOR_ENCL", nullptr, 24, false},   {4, false, "NX1F_STOR_ENCL", nullptr, 24, false},
    {5, false, "M7310-P", "ZMC-NX2A", 60, false},       {6, false, "M7320-P", "ZMC-NX3A", 102, false},
    {6, true, "M7320-P", "ZMC-NX3AMT", 102, false},     {7, false, "M7310-R", "ZMC-NX2A", 68, true},
};

TEST(SimEnclosure, EachProductIsRecognisedFromItsIdentity) {
    for (const auto& c : cases) {
        SCOPED_TRACE("product " + std::to_string(c.product) + (c.mt ? " MT" : ""));
        const auto spec = completed(c.product, c.mt);
        enclosure e(spec);
        const auto inq = run(e, inquiry_cdb());
        ASSERT_EQ(inq.status, 0);
        EXPECT_EQ(inq.data_in[0], 0x0D);
        EXPECT_EQ(text_at(inq.data_in, 16, 16), c.product_id);
        EXPECT_EQ(text_at(inq.data_in, 32, 4), spec.firmware.substr(0, 4));
        const auto c1 = run(e, inquiry_cdb(0xC1));
        if (c.c1_name) {
            ASSERT_EQ(c1.status, 0);
            EXPECT_EQ(c1.data_in[1], 0xC1);
            // 11 bytes from byte 5, ended by a terminator within them when shorter.
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&c1.data_in[5])), std::string(c.c1_name));
        } else {
            EXPECT_EQ(sense_code(c1), 0x052400u);
        }
        const auto rec = recognise(e);
        ASSERT_TRUE(rec);
        EXPECT_EQ(rec->product, c.product);
        EXPECT_EQ(rec->multi_tenant, c.mt);

        const auto sn = run(e, inquiry_cdb(0x80));
        EXPECT_EQ(text_at(sn.data_in, 4, enctl::be16(&sn.data_in[2])), spec.serial);
        const auto di = run(e, inquiry_cdb(0x83));
        ASSERT_GE(di.data_in.size(), 16u);
        EXPECT_EQ(di.data_in[4], 0x01);  // binary, protocol 0
        EXPECT_EQ(di.data_in[5], 0x03);  // logical unit, NAA
        EXPECT_EQ(di.data_in[7], 8);
        std::uint64_t naa = 0;
        for (int i = 0; i < 8; ++i) naa = (naa << 8) | di.data_in[8 + i];
        // The logical unit is named after the IOM the host is attached to (A).
        EXPECT_EQ(naa, spec.sas_address + 0x100);

        const auto cfg = run(e, receive_diag_cdb(0x01));
        const auto& b = cfg.data_in;
        ASSERT_EQ(b[0], 0x01);
        EXPECT_EQ(b[11], 36);  // enclosure descriptor length
        ASSERT_EQ(b[12 + 36], 0x17);
        EXPECT_EQ(b[12 + 36 + 1], c.slots);

        // IOM configuration: MODE SENSE(10), DBD, page 20h, 512 bytes; byte 23 bit 2.
        const auto ms = run(e, {0x5A, 0x08, 0x20, 0, 0, 0, 0, 0x02, 0x00, 0}, 512);
        ASSERT_EQ(ms.status, 0);
        ASSERT_GE(ms.data_in.size(), 24u);
        EXPECT_EQ(ms.data_in[8] & 0x3F, 0x20);
        EXPECT_EQ((ms.data_in[23] & 0x04) != 0, c.single);
    }
}

TEST(SimEnclosure, SingleIomConfigurationAndAttachedIom) {
    enclosure single(completed(5, false, ", \"iom\": \"single\", \"attached_iom\": \"B\""));
    const auto ms = run(single, {0x5A, 0x08, 0x20, 0, 0, 0, 0, 0x02, 0x00, 0}, 512);
    EXPECT_TRUE(ms.data_in[23] & 0x04);
    const auto si = run(single, receive_diag_cdb(0x04));
    ASSERT_EQ(si.data_in[0], 0x04);
    EXPECT_EQ(si.data_in[0x36], 0xBB);
    EXPECT_EQ(si.data_in[0x37], 0xBB);
    EXPECT_FALSE(single.iom_present(0));
    EXPECT_TRUE(single.iom_present(1));

    enclosure a(completed(2));
    EXPECT_EQ(run(a, receive_diag_cdb(0x04)).data_in[0x36], 0xAA);
    enclosure unknown(completed(2, false, ", \"attached_iom\": \"none\""));
    const auto u = run(unknown, receive_diag_cdb(0x04));
    EXPECT_EQ(u.data_in[0x36], 0x00);
    EXPECT_EQ(u.data_in[0x37], 0x00);
}

TEST(SimEnclosure, HelpTextCarriesFirmwareAndStatusSectionOnVendorProducts) {
    enclosure e(completed(5, false, ", \"firmware\": \"2031-016\", \"alerts\": [{\"element\": \"PSU B\", \"status\": \"AC lost\"}]"));
    const auto r = run(e, receive_diag_cdb(0x03));
    const std::string text(r.data_in.begin() + 4, r.data_in.end());
    EXPECT_EQ(enctl::be16(&r.data_in[2]) + 4u, r.data_in.size());
    EXPECT_NE(text.find("FwRev:2031-016\n"), std::string::npos);
    const auto at = text.find("|SES Status|\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at + 13), "PSU B:AC lost\n");

    enclosure old(completed(3));
    const auto o = run(old, receive_diag_cdb(0x03));
    const std::string otext(o.data_in.begin() + 4, o.data_in.end());
    EXPECT_EQ(otext.find("FwRev:"), std::string::npos);
    EXPECT_EQ(sense_code(run(old, receive_diag_cdb(0x04))), 0x052400u);
}

// Element descriptor page walk: each type has a 4-byte overall descriptor and
// element descriptors of one length; returns the texts of type `type`.
std::vector<std::string> descriptors_of(enclosure& e, std::uint8_t type) {
    const auto cfg = run(e, receive_diag_cdb(0x01)).data_in;
    const auto ed = run(e, receive_diag_cdb(0x07)).data_in;
    std::size_t off = 8;
    const std::size_t end = enctl::be16(&ed[2]) + 4u;
    EXPECT_EQ(end, ed.size());
    for (std::size_t h = 12 + cfg[11], i = 0; i < cfg[10]; ++i, h += 4) {
        const std::uint8_t t = cfg[h], n = cfg[h + 1];
        const std::size_t len = enctl::be16(&ed[off + 4 + 2]);
        if (t == type) {
            std::vector<std::string> out;
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t d = off + 4 + k * (4 + len);
                EXPECT_EQ(enctl::be16(&ed[d + 2]), len) << "all descriptors of a type have one length";
                out.push_back(text_at(ed, d + 4, len));
            }
            return out;
        }
        off += 4 + n * (4 + len);
    }
    return {};
}

TEST(SimEnclosure, ElementDescriptorTextsInTheFormsDiscoveryParses) {
    auto spec = completed(5);
    enclosure e(spec);
    e.seat(7, {"ABC12345", 0x50D15C0000000011ull, 0x50D15C0000000012ull, false});
    const auto slots = descriptors_of(e, 0x17);
    ASSERT_EQ(slots.size(), 60u);
    EXPECT_EQ(slots[7], "SLOT 007,ABC12345");
    EXPECT_EQ(slots[8], "SLOT 008,");
    const auto esce = descriptors_of(e, 0x07);
    ASSERT_EQ(esce.size(), 2u);
    EXPECT_EQ(esce[0], "ESCE IOMA,KVOR00001001-IOMA,H3," + hex16(spec.sas_address + 0x100) + ",3.1.12");
    EXPECT_EQ(esce[1].substr(0, 10), "ESCE IOMB,");
    const auto exps = descriptors_of(e, 0x18);
    ASSERT_EQ(exps.size(), 6u);
    EXPECT_EQ(exps[0], "EXP IOMA 0,2041-003," + hex16(spec.sas_address + 0x100 + 0x3F));
    EXPECT_EQ(exps[5].substr(0, 11), "EXP IOMB 2,");

    enclosure mt(completed(6, true));
    mt.seat(0, {"SER0", 1, 2, false});
    const auto mslots = descriptors_of(mt, 0x17);
    ASSERT_EQ(mslots.size(), 102u);
    EXPECT_EQ(mslots[0], "SLOT A000,SER0");
    EXPECT_EQ(mslots[101], "SLOT B101,");
}

TEST(SimEnclosure, AdditionalElementStatusWithAndWithoutElementIndex) {
    for (bool eip : {true, false}) {
        SCOPED_TRACE(eip ? "EIP set" : "EIP clear");
        auto spec = completed(2, false, eip ? "" : ", \"eip\": false");
        enclosure e(spec);
        e.seat(0, {"S0", 0x50D15C0000000011ull, 0x50D15C0000000012ull, false});
        const auto p = run(e, receive_diag_cdb(0x0A)).data_in;
        ASSERT_EQ(p[0], 0x0A);
        EXPECT_EQ(enctl::be16(&p[2]) + 4u, p.size());
        const std::uint8_t* d = &p[8];
        const std::size_t ps = eip ? 4 : 2;
        EXPECT_EQ(d[0], eip ? 0x16 : 0x06);
        EXPECT_EQ(d[1] + 2u, ps + (eip ? 4u : 2u) + 2 * 28u);
        if (eip) {
            EXPECT_EQ(d[3], 0);  // element index of slot 0
        }
        EXPECT_EQ(d[ps], 2);          // two phys: the drive is dual ported on a dual-IOM enclosure
        EXPECT_EQ(d[ps + 1] & 0xC0, 0);
        const std::uint8_t* phy = d + ps + (eip ? 4 : 2);
        EXPECT_EQ(phy[3], 0x08);  // SSP target
        EXPECT_EQ(hex16(enctl::be32(phy + 4) * 0x100000000ull + enctl::be32(phy + 8)),
                  hex16(e.expander_address(0, e.slot_expander(0))));
        EXPECT_EQ(enctl::be32(phy + 16), 0x00000011u);
        // The next descriptor is slot 1 (empty: no phys).
        const std::uint8_t* next = d + 2 + d[1];
        EXPECT_EQ(next[eip ? 4 : 2], 0);
        if (eip) {
            EXPECT_EQ(next[3], 1);
        }
    }
}

TEST(SimEnclosure, StatusOverridesAndSummaryFlags) {
    enclosure e(completed(7, false,
                          ", \"elements\": [{\"type\": \"0x03\", \"index\": 1, \"status\": \"02 00 00 20\"},"
                          " {\"type\": 18, \"index\": 0, \"descriptor\": \"VOLT CUSTOM\"}]"));
    const auto st = run(e, receive_diag_cdb(0x02)).data_in;
    EXPECT_EQ(st[1] & 0x02, 0x02);  // CRIT
    // Cooling is the third type: slots (68) and supplies (2) come first.
    const std::size_t fan1 = 8 + (4 + 68 * 4) + (4 + 2 * 4) + 4 + 4;
    EXPECT_EQ(st[fan1], 0x02);
    EXPECT_EQ(descriptors_of(e, 0x12).at(0), "VOLT CUSTOM");
    EXPECT_EQ(enctl::be16(&st[2]) + 4u, st.size());
}

TEST(SimEnclosure, AllocationLengthAndRefusals) {
    enclosure e(completed(5));
    const auto cut = run(e, receive_diag_cdb(0x07, 8));
    ASSERT_EQ(cut.data_in.size(), 8u);
    EXPECT_GT(enctl::be16(&cut.data_in[2]), 8u);  // the page length still tells the whole
    EXPECT_EQ(run(e, receive_diag_cdb(0x07), 16).data_in.size(), 16u);  // the caller's buffer bounds it too
    EXPECT_EQ(sense_code(run(e, receive_diag_cdb(0x42))), 0x052400u);
    EXPECT_EQ(sense_code(run(e, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0})), 0x052000u);
    EXPECT_EQ(sense_code(run(e, inquiry_cdb(0x99))), 0x052400u);
    const auto sup = run(e, receive_diag_cdb(0x00)).data_in;
    EXPECT_EQ(std::vector<std::uint8_t>(sup.begin() + 4, sup.end()),
              (std::vector<std::uint8_t>{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x07, 0x0A, 0xEC}));
    // A page the enclosure does not take: SEND DIAGNOSTIC is refused.
    const std::vector<std::uint8_t> page = {0x0F, 0, 0, 4, 0, 0, 0, 0};
    EXPECT_EQ(sense_code(run(e, {0x1D, 0x10, 0, 0, 8, 0}, 0, page)), 0x052600u);
}

}  // namespace
}  // namespace enctl::sim
