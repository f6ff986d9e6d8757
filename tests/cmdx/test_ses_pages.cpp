// The SES page layer: reading a page, and the decoders run over pages
// captured from the lab (tests/fixtures/pages) and over hand-built pages for
// the texts the lab does not produce.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "basekit/fixed_text.h"
#include "cmdx/cmdxses/ses_elements.h"
#include "cmdx/cmdxses/ses_pages.h"
#include "cmdx/cmdxses/ses_vendor_pages.h"
#include "tests/cmdx/cmdx_test.h"
#include "tests/support/golden.h"
#include "tests/support/page_fixture.h"

namespace enctl {
namespace {

using testing::bytes;
using testing::page_fixture;
using lines = std::vector<std::string>;

using SesReadPage = testing::FakeScsiDevice;

TEST_F(SesReadPage, ViewIsTheTransferredPageOfTheCodeAsked) {
    // First byte returned, count transferred, delivery failed -> status, view size, error code.
    const std::tuple<std::uint8_t, std::uint32_t, bool, ses_read_status, std::size_t, std::uint32_t> cases[] = {
        {0x07, 20, false, ses_read_status::read, 20, 0},
        {0x07, 9000, false, ses_read_status::read, 64, 0},  // a count beyond the buffer
        {0x01, 20, false, ses_read_status::other_page, 0, 1},
        {0x07, 0, false, ses_read_status::other_page, 0, 1},  // the page code did not come back
        {0x07, 20, true, ses_read_status::failed, 0, 4},
    };
    for (const auto& [first, transferred, fails, status, view, code] : cases) {
        testing_fake::g_fake.on_scsi = [&](vdx_error* error, vdx_dev*, vdx_scsi_cmd* cmd) {
            cmd->data[0] = first;
            cmd->bytes_transferred = transferred;
            return fails ? VDX_ERROR(error, kErrOsRequest, 5, "gone") : 0;
        };
        std::array<std::uint8_t, 64> buffer;
        buffer.fill(0xEE);
        error_ = {};
        const ses_page page = ses_read_page(&error_, &dev_, kSesPageElementDescriptor, buffer);
        EXPECT_EQ(std::tuple(page.status, page.bytes.size(), page.bytes.data() == buffer.data(), error_.code),
                  std::tuple(status, view, view != 0, code)) << transferred;
        EXPECT_EQ(buffer[63], 0);  // zeroed before the read
    }
}

// A page longer than the buffer is read again with the length it needs.
TEST_F(SesReadPage, LongerPageIsReadAgainWithTheLengthItNeeds) {
    std::vector<std::uint32_t> asked;
    testing_fake::g_fake.on_scsi = [&](vdx_error*, vdx_dev*, vdx_scsi_cmd* cmd) {
        asked.push_back(cmd->transfer_length);
        const std::uint32_t length = 9000;  // the page's length field
        cmd->data[0] = 0x0A;
        cmd->data[2] = length >> 8;
        cmd->data[3] = length & 0xFF;
        cmd->bytes_transferred = std::min(cmd->transfer_length, length + 4);
        if (cmd->transfer_length > 9000) cmd->data[9003] = 0x5A;
        return 0;
    };
    std::vector<std::uint8_t> buffer(8192);
    const ses_page page = ses_read_page(&error_, &dev_, kSesPageAdditionalStatus, buffer);
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{8192, 9004}));
    ASSERT_EQ(page.bytes.size(), 9004u);
    EXPECT_EQ(page.bytes[9003], 0x5A);
}

struct decoded {
    element_type_table table{};
    iom_address_record ioms{};
    std::array<slot_record, kSlotTableSize> slots{};
    int result = 0;
    // One fact a line, empty fields left out.
    lines facts(bool with_table = true) const {
        lines out;
        char line[80];
        for (std::uint32_t i = 0; with_table && i < table.count; ++i) {
            std::snprintf(line, sizeof line, "type %u: %02Xh x%u", i, table.entries[i].element_type,
                          table.entries[i].possible_elements);
            out.push_back(line);
        }
        auto add = [&](const std::string& name, const char* value) {
            if (value[0]) out.push_back(name + " " + value);
        };
        add("iom A", ioms.iom_a);
        add("iom B", ioms.iom_b);
        for (int e = 0; e < 3; ++e) {
            add("iom A expander " + std::to_string(e), ioms.iom_a_expander[e]);
            add("iom B expander " + std::to_string(e), ioms.iom_b_expander[e]);
        }
        for (std::size_t n = 0; n < slots.size(); ++n) {
            if (slots[n].connected) add("slot " + std::to_string(n) + " serial", slots[n].serial);
            add("slot " + std::to_string(n) + " attached", slots[n].attached_sas_address);
            add("slot " + std::to_string(n) + " drive", slots[n].drive_sas_address);
            add("slot " + std::to_string(n) + " second port", slots[n].port_sas_address[1]);
            EXPECT_STREQ(slots[n].port_sas_address[0], slots[n].drive_sas_address);
        }
        return out;
    }
};

decoded decode(const bytes& page1, const bytes& page7, const bytes& page_a, bool multi_tenant = false,
               iom_ignore ignore = iom_ignore::none) {
    decoded d;
    build_element_type_table(page1, d.table);
    d.result = parse_element_descriptors(page7, d.table, multi_tenant, ignore, d.ioms, d.slots);
    parse_additional_element_status(page_a, d.slots);
    return d;
}

// Dual-IOM product 5 (element index in page 0Ah), multi-tenant product 6
// (slot texts "SLOT A007,..."), and product 5 reached through IOM B without
// the element index (slots in descriptor order).
TEST(SesDecoders, CapturedPagesDecodeToTheirGoldenFacts) {
    for (const std::string name : {"opal", "alder-mt", "opal-iomb-noeip"}) {
        const decoded d = decode(page_fixture(name + "_01"), page_fixture(name + "_07"), page_fixture(name + "_0a"),
                                 name == "alder-mt");
        EXPECT_EQ(d.result, 0);
        std::string text;
        for (const std::string& line : d.facts()) text += line + "\n";
        testing::expect_golden(text, "cmdx/golden/" + name + "_pages.txt");
    }
    EXPECT_EQ(firmware_from_page3(page_fixture("opal_03")), "2041-003");
    EXPECT_EQ(iom_type_from_page4(page_fixture("opal_04")), kIomA);
    EXPECT_EQ(iom_type_from_page4(page_fixture("opal-iomb-noeip_04")), kIomB);
}

// A transfer cut at any length yields a subset of the facts of the whole
// page, never a made-up one (and, under the sanitizers, no read past it).
TEST(SesDecoders, CutTransfersNeverYieldFactsTheWholePageLacks) {
    const bytes page1 = page_fixture("opal_01"), page7 = page_fixture("opal_07"), page_a = page_fixture("opal_0a");
    const bytes page3 = page_fixture("opal_03"), page4 = page_fixture("opal_04");
    const lines whole_facts = decode(page1, page7, page_a).facts();
    const std::set<std::string> whole(whole_facts.begin(), whole_facts.end());
    for (std::size_t n = 0; n <= page_a.size(); ++n) {
        auto cut = [n](const bytes& page) { return bytes(page.begin(), page.begin() + std::min(n, page.size())); };
        for (const std::string& fact : decode(cut(page1), cut(page7), cut(page_a)).facts())
            EXPECT_TRUE(whole.count(fact)) << n << ": " << fact;
        const std::string firmware = firmware_from_page3(cut(page3));
        EXPECT_TRUE(firmware == "N/A" || firmware == "2041-003") << n << ": " << firmware;
        EXPECT_EQ(iom_type_from_page4(cut(page4)), n > 0x37 ? kIomA : kIomUnknown) << n;
    }
}

// Hand-built pages 01h and 07h: one type per text list, each type an
// overall descriptor (with the text `overall`) and one element descriptor per
// text; `length` replaces page 07h's length field when not 0.
struct built {
    bytes page1{0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bytes page7{0x07, 0, 0, 0, 0, 0, 0, 0};
    explicit built(const std::vector<std::pair<std::uint8_t, lines>>& types, const std::string& overall = "",
                   std::uint8_t length = 0) {
        page1[10] = static_cast<std::uint8_t>(types.size());
        auto add = [this](const std::string& text) {
            page7.insert(page7.end(), {0, 0, 0, static_cast<std::uint8_t>(text.size())});
            page7.insert(page7.end(), text.begin(), text.end());
        };
        for (const auto& [type, texts] : types) {
            page1.insert(page1.end(), {type, static_cast<std::uint8_t>(texts.size()), 0, 0});
            add(overall);
            for (const std::string& text : texts) add(text);
        }
        page1[3] = static_cast<std::uint8_t>(page1.size() - 4);
        page7[3] = length ? length : static_cast<std::uint8_t>(page7.size() - 4);
    }
};

// Texts the lab does not write -> result and facts (golden file): slot texts
// that do not parse or lie beyond the table, IOM and expander address fields
// with padding or too long, an IOM passed over, an IOM address that cannot be
// taken (fails the page), descriptors of unequal lengths and overall
// descriptors with a text (each stepped over by its own length), a page
// length that ends the walk after slot 0.
TEST(ElementDescriptors, TextsGiveTheFactsOfTheGoldenFile) {
    const std::string overlong(32, 'F');
    const lines slots = {"SLOT 007,ABC12345,foo", "SLOT 001,,foo", "SLOT XX,DEF,foo", "SLOT  12 , S12 ,x",
                         "SLOT 256,BIG,x", "SLOT 255,LAST", "Slot 003,LOWER,x", "SLOT 004"};
    const lines esce = {"ESCE IOMA,x,y,5000C50000000A3F   ", "ESCE IOMB,x,y, B3F,v1"};
    const lines expanders = {"EXP IOMA 1,2041-003,A01  ", "EXP IOMB 0,x," + overlong, "EXP IOMB 2,x,B02"};
    const lines unequal = {"SLOT 000,S0,x", "SLOT 001,SERIAL-1-LONGER,x"};
    const std::tuple<const char*, built, iom_ignore> cases[] = {
        {"slots", built({{kElementArrayDeviceSlot, slots}}), iom_ignore::none},
        {"ioms", built({{kElementEsce, esce}, {kElementSasExpander, expanders}}), iom_ignore::none},
        {"ioms, A passed over", built({{kElementEsce, esce}, {kElementSasExpander, expanders}}), iom_ignore::iom_a},
        {"iom address too long", built({{kElementEsce, {"ESCE IOMA,x,y," + overlong}}}), iom_ignore::none},
        {"iom address missing", built({{kElementEsce, {"ESCE IOMA,only,two"}}}), iom_ignore::none},
        {"unequal lengths", built({{kElementArrayDeviceSlot, unequal}, {kElementSasExpander, {"EXP IOMA 1,x,A"}}}, "Overall"),
         iom_ignore::none},
        {"page length", built({{kElementArrayDeviceSlot, unequal}}, "", 12 + 17), iom_ignore::none},
    };
    std::string text;
    for (const auto& [name, pages, ignore] : cases) {
        const decoded d = decode(pages.page1, pages.page7, {}, false, ignore);
        text += std::string(name) + " -> " + std::to_string(d.result) + "\n";
        for (const std::string& fact : d.facts(false)) text += "  " + fact + "\n";
    }
    testing::expect_golden(text, "cmdx/golden/element_texts.txt");
}

// The attached address names the expander; an empty one names none, even
// when an expander's address is empty too.
TEST(ExpanderDigit, AttachedAddressAgainstTheExpandersEmptyNeverMatches) {
    iom_address_record ioms{};
    set_text(ioms.iom_b_expander[2], "B2");
    set_text(ioms.iom_a_expander[0], "A0");
    for (const auto& [attached, digit] : {std::pair{"B2", '2'}, {"A0", '0'}, {"X", '?'}, {"", '?'}}) {
        slot_record slot{};
        set_text(slot.attached_sas_address, attached);
        EXPECT_EQ(expander_digit(slot, ioms), digit) << attached;
    }
}

TEST(ElementDescriptors, TokensCountFromZeroTheLastRunsToTheEndEachMustFit) {
    char out[4];
    for (const auto& [text, index, field] : {std::tuple{"a,bc,d e", 0, "a"}, {"a,bc,d e", 2, "d e"}, {"a,,c", 1, ""},
                                             {"abc,x", 0, "abc"}, {"abcd,x", 0, nullptr}, {"a,b", 2, nullptr},
                                             {"a,b", -1, nullptr}, {"no comma", 0, nullptr}}) {
        EXPECT_EQ(get_token(text, index, out, sizeof out), field ? 0 : 1) << text << " " << index;
        EXPECT_STREQ(field ? out : nullptr, field);
    }
}

TEST(VpdC1h, ProductNameIsElevenBytesFromByte5CutAtNulAndPageEnd) {
    bytes page = {0, 0xC1, 0, 0x20, 0, 'Z', 'M', 'C', '-', 'N', 'X', '3', 'A', 'M', 'T', ' ', 'X'};
    EXPECT_EQ(product_name_from_vpd_c1h(page), "ZMC-NX3AMT ");
    EXPECT_EQ(product_name_from_vpd_c1h(std::span(page).first(13)), "");  // not "ZMC-NX3A"
    page[3] = 0x0B;  // the page ends after byte 14
    EXPECT_EQ(product_name_from_vpd_c1h(page), "ZMC-NX3AMT");
    page[9] = 0;
    EXPECT_EQ(product_name_from_vpd_c1h(page), "ZMC-");
}

}  // namespace
}  // namespace enctl
