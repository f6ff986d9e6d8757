// The SES diagnostic pages of a simulated enclosure, built from its element
// model on each request.
#include <algorithm>
#include <set>

#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

// Page header: code, byte 1, length (filled by finish_page), generation code.
bytes page_header(std::uint8_t code, const enclosure& e) {
    bytes d(8, 0);
    d[0] = code;
    put_be32(&d[4], e.generation());
    return d;
}

bytes finish_page(bytes d) {
    put_be16(&d[2], static_cast<std::uint32_t>(d.size() - 4));
    return d;
}

void append(bytes& d, std::span<const std::uint8_t> more) { d.insert(d.end(), more.begin(), more.end()); }

// Element descriptor texts of one type all have the length of the longest,
// a multiple of 4, blank-padded: readers step over a type by the length of
// its first descriptor.
std::size_t descriptor_length(const ses_element_type& t) {
    std::size_t n = 0;
    for (const auto& el : t.elements) n = std::max(n, el.text.size());
    return (n + 3) / 4 * 4;
}

}  // namespace

bytes build_supported_pages(const enclosure& e) {
    std::set<std::uint8_t> pages;
    for (const auto& rp : e.profile().receive_pages) pages.insert(rp.page);
    for (const auto& sp : e.profile().send_pages) pages.insert(sp.page);
    bytes d(4, 0);
    d.insert(d.end(), pages.begin(), pages.end());
    return finish_page(std::move(d));
}

bytes build_configuration(const enclosure& e) {
    const auto& s = e.spec();
    bytes d = page_header(0x01, e);
    d[1] = 0;  // no secondary subenclosures
    bytes desc(40, 0);
    const bool dual = s.dual_iom && !e.profile().single_always;
    const int rel = dual ? std::max(e.attached_iom(), 0) + 1 : 1;
    desc[0] = static_cast<std::uint8_t>((rel << 4) | (dual ? 2 : 1));
    desc[1] = 0;  // subenclosure id
    desc[2] = static_cast<std::uint8_t>(e.types().size());
    desc[3] = static_cast<std::uint8_t>(desc.size() - 4);
    put_be64(&desc[4], s.sas_address);
    put_padded(&desc[12], 8, s.vendor);
    put_padded(&desc[20], 16, s.product_id);
    put_padded(&desc[36], 4, s.revision);
    append(d, desc);
    for (const auto& t : e.types()) {
        const std::uint8_t h[4] = {t.code, static_cast<std::uint8_t>(t.elements.size()), 0,
                                   static_cast<std::uint8_t>(t.type_text.size())};
        append(d, h);
    }
    for (const auto& t : e.types())
        d.insert(d.end(), t.type_text.begin(), t.type_text.end());
    return finish_page(std::move(d));
}

bytes build_enclosure_status(const enclosure& e) {
    bytes d = page_header(0x02, e);
    std::uint8_t flags = 0;
    for (const auto& t : e.types()) {
        const std::uint8_t overall[4] = {0, 0, 0, 0};
        append(d, overall);
        for (const auto& el : t.elements) {
            append(d, el.status);
            switch (el.status[0] & 0x0F) {
            case 0x02: flags |= 0x02; break;  // critical
            case 0x03: flags |= 0x04; break;  // noncritical
            case 0x04: flags |= 0x01; break;  // unrecoverable
            default: break;
            }
        }
    }
    d[1] = flags;
    return finish_page(std::move(d));
}

bytes build_help_text(const enclosure& e) {
    bytes d(4, 0);
    d[0] = 0x03;
    const std::string text = e.help_text();
    d.insert(d.end(), text.begin(), text.end());
    return finish_page(std::move(d));
}

bytes build_string_in(const enclosure& e) {
    bytes d(0x40, 0);
    d[0] = 0x04;
    const int iom = e.attached_iom();
    const std::uint8_t mark = iom == 0 ? 0xAA : iom == 1 ? 0xBB : 0x00;
    d[0x36] = mark;
    d[0x37] = mark;
    return finish_page(std::move(d));
}

bytes build_threshold_in(const enclosure& e) {
    bytes d = page_header(0x05, e);
    for (const auto& t : e.types()) {
        const std::uint8_t overall[4] = {0, 0, 0, 0};
        append(d, overall);
        for (const auto& el : t.elements) append(d, el.threshold);
    }
    return finish_page(std::move(d));
}

bytes build_element_descriptor(const enclosure& e) {
    bytes d = page_header(0x07, e);
    for (const auto& t : e.types()) {
        const std::uint8_t overall[4] = {0, 0, 0, 0};
        append(d, overall);
        const std::size_t n = descriptor_length(t);
        for (const auto& el : t.elements) {
            std::uint8_t h[4] = {0, 0, 0, 0};
            put_be16(&h[2], static_cast<std::uint32_t>(n));
            append(d, h);
            const std::string text = padded(el.text, n);
            d.insert(d.end(), text.begin(), text.end());
        }
    }
    return finish_page(std::move(d));
}

bytes build_additional_status(const enclosure& e) {
    bytes d = page_header(0x0A, e);
    const bool eip = e.spec().eip;
    // Descriptors for the slots, the ESCE elements and the SAS expanders, in
    // type order, one per element. With EIP the element index counts every
    // element of the earlier types (overall elements not counted).
    auto add = [&](std::uint32_t index, bool invalid, bytes specific) {
        bytes desc;
        const std::uint8_t b0 = static_cast<std::uint8_t>((invalid ? 0x80 : 0) | (eip ? 0x10 : 0) | 0x06);
        if (eip)
            desc = {b0, 0, 0x00, static_cast<std::uint8_t>(index)};
        else
            desc = {b0, 0};
        append(desc, specific);
        desc[1] = static_cast<std::uint8_t>(desc.size() - 2);
        append(d, desc);
    };
    std::uint32_t index = 0;
    for (const auto& t : e.types()) {
        const std::uint32_t count = static_cast<std::uint32_t>(t.elements.size());
        if (t.code == ses_array_slot) {
            for (std::uint32_t slot = 0; slot < count; ++slot) {
                const auto& drive = e.occupant(slot);
                bytes phys;
                std::uint8_t nphys = 0;
                for (int iom = 0; drive && iom < 2; ++iom) {
                    if (!e.iom_present(iom)) continue;
                    const std::uint64_t addr = iom == 0 ? drive->port_a : drive->port_b;
                    if (addr == 0) continue;
                    bytes phy(28, 0);
                    phy[0] = 0x10;                       // end device
                    phy[3] = drive->sata ? 0x01 : 0x08;  // SATA device / SSP target
                    put_be64(&phy[4], e.expander_address(iom, e.slot_expander(slot)));
                    put_be64(&phy[12], addr);
                    phy[20] = static_cast<std::uint8_t>(iom);  // phy identifier
                    append(phys, phy);
                    ++nphys;
                }
                // SAS, descriptor type 0; the slot number only with EIP.
                bytes specific = eip ? bytes{nphys, 0x00, 0x00, static_cast<std::uint8_t>(slot)} : bytes{nphys, 0x00};
                append(specific, phys);
                add(index + slot, false, std::move(specific));
            }
        } else if (t.code == ses_esce) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const int iom = static_cast<int>(i);
                bytes specific = {1, 0x40, 0, 0};
                bytes phy(12, 0);
                phy[0] = 0;     // phy identifier
                phy[2] = 0xFF;  // connector element index: none
                phy[3] = 0xFF;  // other element index: none
                put_be64(&phy[4], e.iom_address(iom));
                append(specific, phy);
                add(index + i, !e.iom_present(iom), std::move(specific));
            }
        } else if (t.code == ses_sas_expander) {
            const std::uint32_t per_iom = e.profile().expanders_per_iom;
            for (std::uint32_t i = 0; i < count; ++i) {
                const int iom = static_cast<int>(i / per_iom);
                bytes specific(12, 0);
                specific[1] = 0x40;  // descriptor type 1, no expander phy descriptors
                put_be64(&specific[4], e.expander_address(iom, i % per_iom));
                add(index + i, !e.iom_present(iom), std::move(specific));
            }
        }
        index += count;
    }
    return finish_page(std::move(d));
}

}  // namespace enctl::sim
