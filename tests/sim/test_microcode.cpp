// The enclosure's page 0Eh model: the lab image format's checks, and the
// download microcode status through segments, lab time and activation; the
// String Out pages of zoning and IOM resets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/enclosure.h"
#include "sim/firmware_image.h"
#include "sim/lab.h"
#include "sim/microcode.h"

namespace enctl::sim {
namespace {

TEST(SimFirmwareImage, ChecksNameTheFault) {
    const bytes good = build_image(image_kind::firmware, 5, "2050-001", 9000);
    const bytes cut(good.begin(), good.end() - 1);
    bytes grown = good;
    grown.resize(good.size() + 1);
    const struct {
        bytes image;
        int product;
        const char* why;  // "" accepted
    } cases[] = {
        {good, 5, ""},
        {build_image(image_kind::zoning, 5, "zones-a", 64), 5, ""},
        {build_image(image_kind::firmware, 5, "2050-001", 9000, true), 5, "bad checksum"},
        {good, 6, "wrong product"},
        {cut, 5, "truncated"},
        {grown, 5, "truncated"},
        {bytes(good.begin(), good.begin() + 35), 5, "truncated"},
        {bytes(100, 0x41), 5, "not an image"},
        {build_image(image_kind::firmware, 5, "", 64), 5, "bad name"},
    };
    for (const auto& c : cases) {
        const image_check r = check_image(c.image, c.product);
        EXPECT_EQ(r.ok, *c.why == '\0') << c.why;
        EXPECT_STREQ(r.why, c.why);
    }
    EXPECT_EQ(check_image(good, 5).name, "2050-001");
    EXPECT_EQ(crc32(std::vector<std::uint8_t>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xCBF43926u);
}

// A Download Microcode Control page: mode, offset, image length, data.
bytes control_page(std::uint8_t mode, std::uint32_t offset, std::uint32_t length, std::span<const std::uint8_t> data) {
    bytes page(24 + data.size(), 0);
    page[0] = 0x0E;
    put_be16(&page[2], static_cast<std::uint32_t>(20 + data.size()));
    page[8] = mode;
    put_be32(&page[12], offset);
    put_be32(&page[16], length);
    put_be32(&page[20], static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), page.begin() + 24);
    return page;
}

// One step: a segment of the image (offset, size; image length 0 = the
// image's), an activation, or time passing; then the status expected.
struct op {
    char kind;  // 's' segment, 'a' activate, 't' time passes (ms)
    std::uint32_t a = 0, b = 0, length = 0;
};

struct scenario {
    const char* name;
    int product;
    std::vector<op> ops;
    std::vector<std::uint8_t> statuses;  // after each op
};

TEST(SimMicrocode, StatusFollowsSegmentsTimeAndActivation) {
    const bytes image = build_image(image_kind::firmware, 5, "2050-001", 10000);
    const bytes foreign = build_image(image_kind::firmware, 2, "2050-001", 10000);
    const auto n = static_cast<std::uint32_t>(image.size());
    const scenario cases[] = {
        {"in order, written, stored", 5,
         {{'s', 0, 4096}, {'s', 4096, 4096}, {'s', 8192, n - 8192}, {'t', 119999}, {'t', 1}, {'a'}, {'a'}},
         {0x01, 0x01, 0x03, 0x03, 0x13, 0x00, 0x85}},
        {"products 1 to 4 need a reset", 2, {{'s', 0, n}, {'t', 120000}}, {0x03, 0x11}},
        {"a gap", 5, {{'s', 0, 4096}, {'s', 8192, 1808}}, {0x01, 0x80}},
        {"a repeated segment", 5, {{'s', 0, 4096}, {'s', 0, 4096}}, {0x01, 0x80}},
        {"a start past 0", 5, {{'s', 4096, 4096}}, {0x80}},
        {"another image length", 5, {{'s', 0, 4096}, {'s', 4096, 4096, n + 1}}, {0x01, 0x80}},
        {"past the image length", 5, {{'s', 0, 4096, 2000}}, {0x80}},
        {"a new start after an error", 5, {{'s', 4096, 4096}, {'s', 0, n}, {'t', 120000}}, {0x80, 0x03, 0x13}},
        {"segments stop", 5, {{'s', 0, 4096}, {'t', 600000}, {'t', 1}, {'s', 4096, 4096}}, {0x01, 0x01, 0x82, 0x80}},
        {"activation of nothing", 5, {{'a'}}, {0x85}},
    };
    for (const auto& c : cases) {
        microcode_store store(microcode_settings{}, c.product);
        std::uint64_t now = 0;
        const bytes& data = c.product == 5 ? image : foreign;
        ASSERT_EQ(c.ops.size(), c.statuses.size()) << c.name;
        for (std::size_t i = 0; i < c.ops.size(); ++i) {
            const op& o = c.ops[i];
            std::optional<stored_image> run;
            if (o.kind == 's') {
                run = store.take(control_page(0x0E, o.a, o.length ? o.length : n, std::span(data).subspan(o.a, o.b)),
                                 now);
            } else if (o.kind == 'a') {
                run = store.take(control_page(0x0F, 0, 0, {}), now);
                EXPECT_EQ(run.has_value(), c.statuses[i] == 0x00) << c.name;
            } else {
                now += o.a;
            }
            EXPECT_EQ(store.status(now), c.statuses[i]) << c.name << ", step " << i;
        }
    }
}

TEST(SimMicrocode, ControlPageFieldsAreChecked) {
    const bytes segment = control_page(0x0E, 0, 100, bytes(50, 1));
    bytes wrong_length = segment, buffer_id = segment, short_data = segment, other_mode = segment;
    put_be16(&wrong_length[2], 71);
    buffer_id[11] = 1;
    short_data.resize(short_data.size() - 1);
    other_mode[8] = 0x07;
    for (const bytes& page : {wrong_length, buffer_id, short_data, other_mode, bytes(segment.begin(), segment.begin() + 23),
                              control_page(0x0F, 0, 0, bytes(4, 0))}) {
        microcode_store store(microcode_settings{}, 5);
        EXPECT_FALSE(store.take(page, 0));
        EXPECT_EQ(store.status(0), 0x80);
    }
}

// String Out page 04h as enctl sends it: zoning (144 bytes, the page length
// field saying 144) for the enclosure's own address, and IOM resets.
TEST(SimStringOut, ZoningNeedsTheEnclosuresAddressAndResetsAPresentIom) {
    std::string error;
    auto description = parse_lab_description(R"({"enclosures": [{"product": 5}, {"product": 7}]})", error);
    ASSERT_TRUE(description) << error;
    lab l(*description);
    const std::uint64_t own = l.devices()[0].as_enclosure->iom_address(0);  // VPD 83h: the attached IOM A
    const auto zoning = [](std::uint8_t code, std::uint8_t value, std::uint64_t address) {
        bytes page(144, 0);
        page[0] = 0x04;
        put_be16(&page[2], 144);
        page[4] = code;
        page[5] = value;
        put_be64(&page[8], address);
        return page;
    };
    const auto reset = [](std::uint8_t selector) { return bytes{0x04, 0, 0, 4, 0x02, 0, 0x01, selector}; };
    const struct {
        int enclosure;
        bytes page;
        std::uint8_t status;  // 00h GOOD, 02h CHECK CONDITION (ILLEGAL REQUEST, 26h/00h)
        std::uint32_t zoning;
    } cases[] = {
        {0, zoning(0x61, 2, own), 0x00, 2},
        {0, zoning(0x61, 3, own + 0x100), 0x02, 2},  // IOM B's address
        {0, zoning(0x61, 4, own), 0x02, 2},
        {0, reset(0xF0), 0x00, 2},
        {1, reset(0xF0), 0x02, 0},  // a single IOM has no partner
    };
    for (const auto& c : cases) {
        const std::uint8_t cdb[6] = {0x1D, 0x10, 0, static_cast<std::uint8_t>(c.page.size() >> 8),
                                     static_cast<std::uint8_t>(c.page.size()), 0};
        scsi_command cmd;
        cmd.cdb = cdb;
        cmd.data_out = c.page;
        lab_device& dev = l.devices()[static_cast<std::size_t>(c.enclosure)];
        l.clock().advance_ms(60000);  // past any restart
        const scsi_result r = l.execute_scsi(dev, cmd);
        EXPECT_EQ(r.status, c.status) << hex_lines(c.page);
        if (r.status == 0x02) {
            EXPECT_EQ(r.sense[12], 0x26);
        }
        EXPECT_EQ(dev.as_enclosure->state().zoning, c.zoning);
    }
    EXPECT_EQ(l.devices()[0].as_enclosure->state().iom_resets.at(0xF0), 1u);
}

}  // namespace
}  // namespace enctl::sim
