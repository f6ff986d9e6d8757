#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/discovery/ses_elements.h"
#include "basekit/fixed_text.h"
#include "tests/discovery/ses_page_builder.h"

namespace enctl {
namespace {

using namespace enctl::testing;

TEST(GetToken, FieldsCountFromZeroAndTheLastRunsToTheEnd) {
    char out[16];
    EXPECT_EQ(get_token("a,bc,d e", 0, out, sizeof out), 0);
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(get_token("a,bc,d e", 2, out, sizeof out), 0);
    EXPECT_STREQ(out, "d e");
    EXPECT_EQ(get_token("a,,c", 1, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(get_token("a,b", 2, out, sizeof out), 1);
    EXPECT_EQ(get_token("a,b", -1, out, sizeof out), 1);
    EXPECT_EQ(get_token("no comma", 0, out, sizeof out), 1);
}

TEST(GetToken, FieldMustFitWithItsTerminator) {
    char out[4];
    EXPECT_EQ(get_token("abc,x", 0, out, sizeof out), 0);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(get_token("abcd,x", 0, out, sizeof out), 1);
}

TEST(ElementTypeTable, HeadersAfterTheEnclosureDescriptor) {
    element_type_table table;
    build_element_type_table(config_page({{0x07, 2}, {0x17, 24}, {0x18, 6}, {0x17, 12}}, 20), table);
    ASSERT_EQ(table.count, 4u);
    EXPECT_EQ(table.entries[1].element_type, 0x17u);
    EXPECT_EQ(table.entries[1].possible_elements, 24u);
    EXPECT_EQ(table.slot_index, 3u);  // the last slot header
    EXPECT_EQ(table.esce_index, 0u);
    EXPECT_EQ(table.expander_index, 2u);
}

TEST(ElementTypeTable, HeadersBeyondTheReceivedBytesAreDropped) {
    auto page = config_page({{0x07, 2}, {0x17, 24}, {0x18, 6}});
    page.resize(page.size() - 2);
    element_type_table table;
    build_element_type_table(page, table);
    EXPECT_EQ(table.count, 2u);
    // A page length field shorter than the received bytes also bounds it.
    page = config_page({{0x07, 2}, {0x17, 24}, {0x18, 6}});
    put_be16(page, 2, page.size() - 4 - 4);
    build_element_type_table(page, table);
    EXPECT_EQ(table.count, 2u);
}

// Page 07h with a 2-element ESCE type, a 3-slot type and a 2-expander type.
struct sample_enclosure {
    element_type_table table{};
    bytes page7;
    sample_enclosure(std::vector<std::string> slots, std::vector<std::string> esce = {"ESCE IOMA,x,y,5000C50000000A3F", "ESCE IOMB,x,y,5000C50000000B3F"},
                     std::vector<std::string> expanders = {"EXP IOMA 0,x,5000C500000A0000", "EXP IOMB 1,x,5000C500000B0001"}) {
        build_element_type_table(config_page({{0x07, static_cast<std::uint8_t>(esce.size())},
                                              {0x17, static_cast<std::uint8_t>(slots.size())},
                                              {0x18, static_cast<std::uint8_t>(expanders.size())}}),
                                 table);
        page7 = element_descriptor_page({esce, slots, expanders});
    }
};

TEST(ElementStartOffset, StepsOverEarlierTypes) {
    sample_enclosure e({"SLOT 000,A", "SLOT 001,B", "SLOT 002,C"});
    // ESCE: overall at 8, elements from 12.
    EXPECT_EQ(get_element_start_offset(0x07, e.page7, e.table), 12u);
    const std::size_t esce_length = 4 + std::string("ESCE IOMA,x,y,5000C50000000A3F").size();
    const std::size_t slots_start = 8 + 4 + 2 * esce_length;
    EXPECT_EQ(get_element_start_offset(0x17, e.page7, e.table), slots_start + 4);
    EXPECT_EQ(get_element_start_offset(0x0E, e.page7, e.table), 0u);
}

TEST(ElementStartOffset, OverallDescriptorTextsAndUnequalLengthsAreSteppedOver) {
    element_type_table table{};
    build_element_type_table(config_page({{0x17, 2}, {0x18, 1}}), table);
    bytes page(8, 0);
    page[0] = 0x07;
    append_descriptor(page, "Array devices");
    append_descriptor(page, "SLOT 000,S0,x");
    append_descriptor(page, "SLOT 001,SERIAL-1-LONGER,x");
    append_descriptor(page, "Expanders");
    const std::size_t expanders = page.size();
    append_descriptor(page, "EXP IOMA 1,x,5000C500000A0001");
    finish_page(page);
    EXPECT_EQ(get_element_start_offset(0x17, page, table), 8u + 4 + 13);
    EXPECT_EQ(get_element_start_offset(0x18, page, table), expanders);
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(page, table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(slots[1].serial), "SERIAL-1-LONGER");
    EXPECT_EQ(text_of(ioms.iom_a_expander[1]), "5000C500000A0001");
}

TEST(ElementStartOffset, ZeroWhenThePageEndsFirst) {
    sample_enclosure e({"SLOT 000,A"});
    bytes cut(e.page7.begin(), e.page7.begin() + 20);
    EXPECT_EQ(get_element_start_offset(0x18, cut, e.table), 0u);
    // The page length field alone also ends the walk.
    bytes short_length = e.page7;
    put_be16(short_length, 2, 12);
    EXPECT_EQ(get_element_start_offset(0x18, short_length, e.table), 0u);
}

TEST(ElementDescriptors, SlotSerialsAndIomAddresses) {
    sample_enclosure e({"SLOT 007,ABC12345,foo", "SLOT 001,,foo", "SLOT XX,DEF,foo"});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(e.page7, e.table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(slots[7].connected, 1u);
    EXPECT_EQ(text_of(slots[7].serial), "ABC12345");
    EXPECT_EQ(slots[1].connected, 0u);  // empty serial field
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i != 7) {
            EXPECT_EQ(slots[i].connected, 0u) << i;
        }
    }
    EXPECT_EQ(text_of(ioms.iom_a), "5000C50000000A3F");
    EXPECT_EQ(text_of(ioms.iom_b), "5000C50000000B3F");
    EXPECT_EQ(text_of(ioms.iom_a_expander[0]), "5000C500000A0000");
    EXPECT_EQ(text_of(ioms.iom_b_expander[1]), "5000C500000B0001");
    EXPECT_EQ(text_of(ioms.iom_a_expander[1]), "");
}

TEST(ElementDescriptors, SerialIsTrimmedAndSlotNumbersBeyondTheTableIgnored) {
    sample_enclosure e({"SLOT  12 , S12 ,x", "SLOT 256,BIG,x", "SLOT 255,LAST"});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(e.page7, e.table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(slots[12].serial), "S12");
    EXPECT_EQ(text_of(slots[255].serial), "LAST");
    EXPECT_EQ(slots[0].connected + slots[25].connected, 0u);
}

TEST(ElementDescriptors, MultiTenantTextsSkipSixCharacters) {
    sample_enclosure e({"SLOT A003,MT333,x", "SLOT 004,NOTMT,x"});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(e.page7, e.table, true, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(slots[3].serial), "MT333");
    // "SLOT 004" loses its first digit: slot 4 all the same.
    EXPECT_EQ(text_of(slots[4].serial), "NOTMT");
}

TEST(ElementDescriptors, IgnoredIomIsSkippedButExpandersStillRead) {
    sample_enclosure e({"SLOT 000,A,x"});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(e.page7, e.table, false, iom_ignore::iom_a, ioms, slots), 0);
    EXPECT_EQ(text_of(ioms.iom_a), "");
    EXPECT_EQ(text_of(ioms.iom_b), "5000C50000000B3F");
    EXPECT_EQ(text_of(ioms.iom_a_expander[0]), "5000C500000A0000");
    EXPECT_EQ(text_of(ioms.iom_b_expander[1]), "5000C500000B0001");
}

TEST(ElementDescriptors, AddressFieldsLoseTheirPaddingBlanks) {
    sample_enclosure e({"SLOT 000,A,x"}, {"ESCE IOMA,x,y,5000C50000000A3F   ", "ESCE IOMB,x,y, 5000C50000000B3F,v1"},
                       {"EXP IOMA 1,2041-003,5000C500000A0001  "});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    ASSERT_EQ(parse_element_descriptors(e.page7, e.table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(ioms.iom_a), "5000C50000000A3F");
    EXPECT_EQ(text_of(ioms.iom_b), "5000C50000000B3F");
    EXPECT_EQ(text_of(ioms.iom_a_expander[1]), "5000C500000A0001");
}

TEST(ElementDescriptors, OverlongAddressFieldFailsTheIomButNotTheExpander) {
    const std::string longer(32, 'F');
    sample_enclosure bad_iom({"SLOT 000,A,x"}, {"ESCE IOMA,x,y," + longer});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    EXPECT_EQ(parse_element_descriptors(bad_iom.page7, bad_iom.table, false, iom_ignore::none, ioms, slots), 1);
    sample_enclosure bad_expander({"SLOT 000,A,x"}, {"ESCE IOMA,x,y,A"}, {"EXP IOMA 0,x," + longer, "EXP IOMA 1,x,B"});
    ioms = {};
    EXPECT_EQ(parse_element_descriptors(bad_expander.page7, bad_expander.table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(ioms.iom_a_expander[0]), "");
    EXPECT_EQ(text_of(ioms.iom_a_expander[1]), "B");
}

TEST(ElementDescriptors, UnparsableIomAddressFails) {
    sample_enclosure e({"SLOT 000,A,x"}, {"ESCE IOMA,only,two"});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    EXPECT_EQ(parse_element_descriptors(e.page7, e.table, false, iom_ignore::none, ioms, slots), 1);
    EXPECT_EQ(text_of(slots[0].serial), "A");  // slots are read before the IOMs
    EXPECT_EQ(text_of(ioms.iom_a_expander[0]), "");
}

TEST(ElementDescriptors, TruncatedPageStopsTheWalk) {
    sample_enclosure e({"SLOT 000,AAA,x", "SLOT 001,BBB,x", "SLOT 002,CCC,x"});
    const std::size_t start = get_element_start_offset(0x17, e.page7, e.table);
    // Cut inside the second slot's text.
    bytes cut(e.page7.begin(), e.page7.begin() + static_cast<long>(start + 4 + 14 + 6));
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    EXPECT_EQ(parse_element_descriptors(cut, e.table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(text_of(slots[0].serial), "AAA");
    EXPECT_EQ(slots[1].connected, 0u);
    EXPECT_EQ(slots[2].connected, 0u);
}

TEST(ElementDescriptors, MissingSlotTypeReadsNoSlots) {
    element_type_table table{};
    build_element_type_table(config_page({{0x07, 1}}), table);
    // A page whose bytes after the header look like a slot text.
    bytes page7 = element_descriptor_page({{"SLOT 001,X,y"}});
    iom_address_record ioms{};
    std::array<slot_record, 256> slots{};
    EXPECT_EQ(parse_element_descriptors(page7, table, false, iom_ignore::none, ioms, slots), 0);
    EXPECT_EQ(slots[1].connected, 0u);
}

TEST(AdditionalElementStatus, SasAddressesPerSlot) {
    std::array<slot_record, 256> slots{};
    parse_additional_element_status(
        additional_status_page({sas_descriptor(3, 0x5000C500000A0001, 0x5000CCA012345678),
                                sas_descriptor(4, 0x5000C500000A0002, 0x5000CCA0ABCDEF01)}),
        slots);
    EXPECT_EQ(text_of(slots[3].attached_sas_address), "5000C500000A0001");
    EXPECT_EQ(text_of(slots[3].drive_sas_address), "5000CCA012345678");
    EXPECT_EQ(text_of(slots[4].attached_sas_address), "5000C500000A0002");
    EXPECT_EQ(text_of(slots[4].drive_sas_address), "5000CCA0ABCDEF01");
}

TEST(AdditionalElementStatus, WithoutElementIndexSlotsFollowTheDescriptorOrder) {
    // EIP clear: the SAS part starts at byte 2 with no slot number; the
    // device slot descriptors come in slot order (an empty slot has no phys).
    bytes expander = sas_descriptor(0, 0x77, 0x88, false, 1, 1);  // type 1: not a slot
    std::array<slot_record, 256> slots{};
    parse_additional_element_status(
        additional_status_page({sas_descriptor(0, 0, 0, false, 0), sas_descriptor(0, 0x5000C500000A0002, 0x5000CCA0ABCDEF01, false),
                                sas_descriptor(0, 0x5000C500000A0003, 0x5000CCA0ABCDEF02, false), expander}),
        slots);
    EXPECT_EQ(text_of(slots[0].attached_sas_address), "");
    EXPECT_EQ(text_of(slots[1].attached_sas_address), "5000C500000A0002");
    EXPECT_EQ(text_of(slots[1].drive_sas_address), "5000CCA0ABCDEF01");
    EXPECT_EQ(text_of(slots[2].attached_sas_address), "5000C500000A0003");
    EXPECT_EQ(text_of(slots[2].drive_sas_address), "5000CCA0ABCDEF02");
    EXPECT_EQ(text_of(slots[3].attached_sas_address), "");
}

TEST(AdditionalElementStatus, SkipsOtherProtocolsNoPhysAndOtherDescriptorTypes) {
    bytes fc = sas_descriptor(1, 1, 2);
    fc[0] = 0x10;  // protocol 0
    std::array<slot_record, 256> slots{};
    parse_additional_element_status(
        additional_status_page({fc, sas_descriptor(2, 1, 2, true, 0), sas_descriptor(5, 1, 2, true, 1, 1),
                                sas_descriptor(6, 0x11, 0x22)}),
        slots);
    EXPECT_EQ(text_of(slots[1].attached_sas_address), "");
    EXPECT_EQ(text_of(slots[2].attached_sas_address), "");
    EXPECT_EQ(text_of(slots[5].attached_sas_address), "");
    EXPECT_EQ(text_of(slots[6].attached_sas_address), "0000000000000011");
}

TEST(AdditionalElementStatus, BoundedByReceivedBytesAndPageLength) {
    bytes page = additional_status_page({sas_descriptor(1, 1, 2), sas_descriptor(2, 3, 4)});
    std::array<slot_record, 256> slots{};
    // Received bytes end inside the second descriptor.
    parse_additional_element_status(std::span<const std::uint8_t>(page).first(page.size() - 5), slots);
    EXPECT_EQ(text_of(slots[1].drive_sas_address), "0000000000000002");
    EXPECT_EQ(text_of(slots[2].drive_sas_address), "");
    // A page length that says less than was received.
    slots = {};
    put_be16(page, 2, 4 + 36);
    parse_additional_element_status(page, slots);
    EXPECT_EQ(text_of(slots[1].drive_sas_address), "0000000000000002");
    EXPECT_EQ(text_of(slots[2].drive_sas_address), "");
    // A huge page length over a short buffer.
    put_be16(page, 2, 0xFFFF);
    slots = {};
    parse_additional_element_status(std::span<const std::uint8_t>(page).first(20), slots);
    EXPECT_EQ(text_of(slots[1].drive_sas_address), "");
}

TEST(ExpanderDigit, OneBeforeTwoBeforeZeroByPlainTextEquality) {
    iom_address_record ioms{};
    set_text(ioms.iom_a_expander[0], "A0");
    set_text(ioms.iom_b_expander[0], "B0");
    set_text(ioms.iom_a_expander[1], "A1");
    set_text(ioms.iom_b_expander[2], "B2");
    slot_record slot{};
    set_text(slot.attached_sas_address, "A1");
    EXPECT_EQ(expander_digit(slot, ioms), '1');
    set_text(slot.attached_sas_address, "B2");
    EXPECT_EQ(expander_digit(slot, ioms), '2');
    set_text(slot.attached_sas_address, "B0");
    EXPECT_EQ(expander_digit(slot, ioms), '0');
    set_text(slot.attached_sas_address, "C9");
    EXPECT_EQ(expander_digit(slot, ioms), '?');
    // Empty attached address equals IOM B's empty expander 1.
    set_text(slot.attached_sas_address, "");
    EXPECT_EQ(expander_digit(slot, ioms), '1');
}

}  // namespace
}  // namespace enctl
