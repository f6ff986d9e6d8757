// Pages 01h, 07h and 0Ah decoded into the slot table and the IOM address
// record, as show handles does. Input: a flags byte (bit 0 multi-tenant, bits
// 1-2 the IOM passed over), then page 01h and page 07h each framed by a 16-bit
// length, then page 0Ah.
#include "cmdx/cmdxses/ses_elements.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace enctl;
    fuzz::quiet_console();
    std::span<const std::uint8_t> in(data, size);
    if (in.empty()) return 0;
    const std::uint8_t flags = in[0];
    in = in.subspan(1);
    const auto page1 = fuzz::take_framed(in);
    const auto page7 = fuzz::take_framed(in);
    const auto page_a = in;
    element_type_table table;
    build_element_type_table(page1, table);
    for (std::uint8_t type : {kElementArrayDeviceSlot, kElementEsce, kElementSasExpander})
        (void)get_element_start_offset(type, page7, table);
    iom_address_record ioms{};
    static slot_record slots[kSlotTableSize];
    std::fill(std::begin(slots), std::end(slots), slot_record{});
    const auto ignore = static_cast<iom_ignore>(((flags >> 1) & 3) % 3);
    (void)parse_element_descriptors(page7, table, (flags & 1) != 0, ignore, ioms, slots);
    parse_additional_element_status(page_a, slots);
    for (const slot_record& slot : slots) (void)expander_digit(slot, ioms);
    return 0;
}
