#include "sim/firmware_image.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace enctl::sim {

namespace {

constexpr char kFirmwareMagic[] = "ENCLABFW";
constexpr char kZoningMagic[] = "ENCLABZN";
constexpr std::uint8_t kFormatVersion = 1;

constexpr std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto kCrcTable = make_crc_table();

const char* magic_of(image_kind kind) { return kind == image_kind::zoning ? kZoningMagic : kFirmwareMagic; }

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : data) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bytes build_image(image_kind kind, int product, std::string_view name, std::uint32_t size, bool corrupt) {
    size = std::max<std::uint32_t>(size, kImageMinSize);
    bytes image(size, 0);
    std::memcpy(image.data(), magic_of(kind), 8);
    image[8] = kFormatVersion;
    image[9] = static_cast<std::uint8_t>(product);
    put_be32(&image[12], size);
    put_padded(&image[16], kImageNameSize, name, '\0');
    for (std::size_t i = kImageHeaderSize; i + 4 < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    put_be32(&image[size - 4], crc32(std::span(image).first(size - 4)));
    if (corrupt) image[size / 2] ^= 0x5A;
    return image;
}

image_check check_image(std::span<const std::uint8_t> image, int product) {
    image_check r;
    if (image.size() < kImageMinSize) {
        r.why = "truncated";
        return r;
    }
    if (std::memcmp(image.data(), kZoningMagic, 8) == 0) {
        r.kind = image_kind::zoning;
    } else if (std::memcmp(image.data(), kFirmwareMagic, 8) != 0) {
        r.why = "not an image";
        return r;
    }
    if (image[8] != kFormatVersion) {
        r.why = "unknown format version";
        return r;
    }
    if (be32(&image[12]) != image.size()) {
        r.why = "truncated";
        return r;
    }
    if (be32(&image[image.size() - 4]) != crc32(image.first(image.size() - 4))) {
        r.why = "bad checksum";
        return r;
    }
    if (image[9] != product) {
        r.why = "wrong product";
        return r;
    }
    const auto* name = reinterpret_cast<const char*>(&image[16]);
    r.name.assign(name, strnlen(name, kImageNameSize));
    if (r.name.empty() || !std::all_of(r.name.begin(), r.name.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
        r.why = "bad name";
        return r;
    }
    r.ok = true;
    return r;
}

std::string image_file_name(image_kind kind, int product, bool multi_tenant, std::string_view name) {
    // First prefix and a suffix of each product's row in enctl's file tables.
    static constexpr const char* kFirmwarePrefixes[] = {"",        "AmberRidge_", "NX2B_", "nixa_",
                                                        "NX1F_",   "mat_",        "MtAlder_", "korv_mat_"};
    static constexpr const char* kZonePrefixes[] = {"", "", "", "", "", "M7310-P_", "M7320-P_", "M7310-R_"};
    if (product < 1 || product > 7) return {};
    const char* prefix = kind == image_kind::zoning ? kZonePrefixes[product] : kFirmwarePrefixes[product];
    if (*prefix == '\0') return {};
    const char* suffix = kind == image_kind::firmware && multi_tenant ? ".tar.gz" : ".bin";
    return prefix + std::string(name) + suffix;
}

}  // namespace enctl::sim
