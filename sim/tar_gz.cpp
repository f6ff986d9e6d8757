#include "sim/tar_gz.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace enctl::sim {

namespace {

constexpr std::size_t kBlock = 512;

// An octal number in a field of `width` bytes: digits, then a NUL.
void put_octal(std::uint8_t* field, std::size_t width, std::uint64_t value) {
    std::snprintf(reinterpret_cast<char*>(field), width, "%0*llo", static_cast<int>(width - 1),
                  static_cast<unsigned long long>(value));
}

void append_member(bytes& tar, const archive_member& m, std::uint64_t mtime) {
    std::uint8_t h[kBlock] = {};
    std::memcpy(h, m.name.data(), std::min<std::size_t>(m.name.size(), 99));
    put_octal(h + 100, 8, 0644);
    put_octal(h + 108, 8, 0);
    put_octal(h + 116, 8, 0);
    put_octal(h + 124, 12, m.content.size());
    put_octal(h + 136, 12, mtime);
    h[156] = '0';
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    std::memcpy(h + 265, "lab", 3);
    std::memcpy(h + 297, "lab", 3);
    // The checksum counts its own field as blanks: six digits, NUL, blank.
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (std::uint8_t b : h) sum += b;
    std::snprintf(reinterpret_cast<char*>(h + 148), 8, "%06o", sum);
    h[155] = ' ';
    tar.insert(tar.end(), h, h + kBlock);
    tar.insert(tar.end(), m.content.begin(), m.content.end());
    tar.resize((tar.size() + kBlock - 1) / kBlock * kBlock, 0);
}

bytes gzip(const bytes& data) {
    z_stream zs{};
    // 16 + 15: a gzip wrapper around a deflate stream with a 32 KiB window.
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    bytes out(deflateBound(&zs, static_cast<uLong>(data.size())));
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : bytes{};
}

}  // namespace

bytes build_tar_gz(const std::vector<archive_member>& members, std::uint64_t mtime) {
    bytes tar;
    for (const auto& m : members) append_member(tar, m, mtime);
    tar.resize(tar.size() + 2 * kBlock, 0);  // two zero blocks end the archive
    return gzip(tar);
}

}  // namespace enctl::sim
