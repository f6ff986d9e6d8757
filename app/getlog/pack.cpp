// The packing step of getlog: the log folder's tree into "<log dir>.zip"
// beside it (libzip, in process), the archive closed, opened again and every
// entry checked against its file (size, CRC and bytes), and only then the
// folder removed. Collected data is never deleted on an archive that was not
// proven good: on any failure the folder stays and the unproven archive goes.
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "app/enctl_data.h"
#include "app/getlog/getlog_steps.h"
#include "app/getlog/pack.h"
#include "app/version.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"

namespace fs = std::filesystem;

namespace enctl {

void (*g_pack_before_verify)(const std::string& zip_path) = nullptr;

namespace {

constexpr std::size_t kChunk = 65536;

struct archive_closer {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using archive_ptr = std::unique_ptr<zip_t, archive_closer>;

struct entry_closer {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using entry_ptr = std::unique_ptr<zip_file_t, entry_closer>;

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// One member of the tree: its name in the archive ("<folder>/ses/x.txt";
// folders end in "/") and its path on disk.
struct member {
    std::string name;
    fs::path path;
    bool folder = false;
};

// The folder itself, then everything below it (regular files and folders;
// the tree holds nothing else), in name order.
bool list_tree(const fs::path& root, std::vector<member>& members) {
    const std::string top = root.filename().string();
    members.push_back({top + "/", root, true});
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status(ec);
        if (ec) break;
        const std::string name = top + "/" + it->path().lexically_relative(root).generic_string();
        if (fs::is_directory(status))
            members.push_back({name + "/", it->path(), true});
        else if (fs::is_regular_file(status))
            members.push_back({name, it->path(), false});
        else
            CONSOLE_PRINT(kVerbosityDebug, "Not packed (neither file nor folder): %s\n", it->path().c_str());
    }
    std::sort(members.begin(), members.end(), [](const member& a, const member& b) { return a.name < b.name; });
    return !ec;
}

bool write_archive(const std::string& zip_path, const std::vector<member>& members) {
    int error = 0;
    // ZIP_EXCL: never add to (or replace) an archive that is already there.
    archive_ptr archive(zip_open(zip_path.c_str(), ZIP_CREATE | ZIP_EXCL, &error));
    if (!archive) {
        CONSOLE_PRINT(kVerbosityDebug, "zip_open %s: error %d\n", zip_path.c_str(), error);
        return false;
    }
    for (const auto& m : members) {
        if (m.folder) {
            if (zip_dir_add(archive.get(), m.name.c_str(), ZIP_FL_ENC_GUESS) < 0) return false;
            continue;
        }
        zip_source_t* source = zip_source_file(archive.get(), m.path.c_str(), 0, -1);
        if (!source) return false;
        if (zip_file_add(archive.get(), m.name.c_str(), source, ZIP_FL_ENC_GUESS) < 0) {
            zip_source_free(source);
            return false;
        }
    }
    if (zip_close(archive.get()) != 0) {
        CONSOLE_PRINT(kVerbosityDebug, "zip_close %s: %s\n", zip_path.c_str(), zip_strerror(archive.get()));
        return false;
    }
    archive.release();  // closed
    return true;
}

// The entry holds exactly the file's bytes: same size, same CRC, same content.
bool entry_matches(zip_t* archive, zip_int64_t index, const member& m) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) return false;
    std::error_code ec;
    const auto size = fs::file_size(m.path, ec);
    if (ec || !(stat.valid & ZIP_STAT_SIZE) || !(stat.valid & ZIP_STAT_CRC) || stat.size != size) return false;
    file_ptr file(std::fopen(m.path.c_str(), "rb"));
    entry_ptr entry(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file || !entry) return false;
    std::vector<unsigned char> from_file(kChunk), from_entry(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t seen = 0;
    for (;;) {
        const std::size_t n = std::fread(from_file.data(), 1, kChunk, file.get());
        std::size_t got = 0;
        while (got < n) {
            const zip_int64_t r = zip_fread(entry.get(), from_entry.data() + got, n - got);
            if (r <= 0) return false;
            got += static_cast<std::size_t>(r);
        }
        if (!std::equal(from_file.begin(), from_file.begin() + static_cast<std::ptrdiff_t>(n), from_entry.begin()))
            return false;
        crc = crc32(crc, from_file.data(), static_cast<uInt>(n));
        seen += n;
        if (n < kChunk) break;
    }
    // Nothing may follow in the entry (reading to its end also makes libzip
    // check the CRC it stored).
    unsigned char extra;
    return std::ferror(file.get()) == 0 && zip_fread(entry.get(), &extra, 1) == 0 && seen == size &&
           crc == stat.crc;
}

// The archive, opened again, holds exactly the members, each with the bytes
// of its file.
bool verify_archive(const std::string& zip_path, const std::vector<member>& members) {
    int error = 0;
    archive_ptr archive(zip_open(zip_path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        CONSOLE_PRINT(kVerbosityDebug, "zip_open %s for checking: error %d\n", zip_path.c_str(), error);
        return false;
    }
    if (zip_get_num_entries(archive.get(), 0) != static_cast<zip_int64_t>(members.size())) return false;
    for (const auto& m : members) {
        const zip_int64_t index = zip_name_locate(archive.get(), m.name.c_str(), ZIP_FL_ENC_RAW);
        if (index < 0 || (!m.folder && !entry_matches(archive.get(), index, m))) {
            CONSOLE_PRINT(kVerbosityDebug, "Archive entry missing or different: %s\n", m.name.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

pack_result pack_folder(const std::string& folder, const std::string& zip_path) {
    std::vector<member> members;
    if (!list_tree(folder, members)) return pack_result::not_written;
    if (!write_archive(zip_path, members)) return pack_result::not_written;
    // Like the folder, the archive is its owner's only.
    std::error_code ec;
    fs::permissions(zip_path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
    if (g_pack_before_verify) g_pack_before_verify(zip_path);
    if (!verify_archive(zip_path, members)) return pack_result::not_verified;
    return pack_result::verified;
}

int pack_logs() {
    const std::string log_dir(text_of(g_enctl_data.log_dir));
    const std::string version_file = log_dir + kPathSeparator + "enctl_version.txt";
    if (console_capture_begin(version_file) == 0) {
        display_version_listing();
        console_capture_end();
    }
    const std::string zip_path = log_dir + ".zip";
    const pack_result packed = pack_folder(log_dir, zip_path);
    std::error_code ec;
    if (packed == pack_result::verified) {
        fs::remove_all(log_dir, ec);
        if (ec) CONSOLE_PRINT(kVerbosityNormal, "ERROR removing %s: %s\n", log_dir.c_str(), ec.message().c_str());
        CONSOLE_PRINT(kVerbosityNormal, "Created package file: %s\n", zip_path.c_str());
    } else {
        // An archive that failed its check is not kept beside the data it
        // could not prove it holds.
        if (packed == pack_result::not_verified) fs::remove(zip_path, ec);
        CONSOLE_PRINT(kVerbosityNormal, "ERROR creating package file: %s\n", zip_path.c_str());
    }
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

}  // namespace enctl
