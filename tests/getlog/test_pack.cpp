// The packing step: the archive holds exactly the folder's tree with the
// same bytes, and the folder goes only then; an archive that cannot be
// written, or does not hold what it should, leaves the folder in place.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/enctl_data.h"
#include "app/getlog/getlog_steps.h"
#include "app/getlog/pack.h"
#include "basekit/fixed_text.h"

namespace fs = std::filesystem;

namespace enctl::testing {
namespace {

// Folder-relative name -> content (a name ending in "/" is a folder).
using tree = std::map<std::string, std::string>;

const tree kTree = {
    {"ses/", ""},
    {"ses/page_02h_scsi1_0-0-0.txt", "Enclosure Status diagnostic page:\n"},
    {"jbodlogs/", ""},
    {"jbodlogs/consolelog_exp_0_scsi5_0-0-0.bin", std::string("\0\x01\xff binary\r\n", 12) + std::string(100000, 'x')},
    {"jbodlogs/empty file.txt", ""},
    {"hostlogs/", ""},  // an empty folder is kept too
};

// What pack_logs printed to standard output (it captures the console itself
// for the version listing, so the test does not).
std::string printed_by_pack() {
    std::FILE* capture = std::tmpfile();
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(::fileno(capture), 1);
    pack_logs();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::rewind(capture);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) out.append(buffer, n);
    std::fclose(capture);
    return out;
}

class Pack : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/enctl-pack-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base_ = pattern;
        folder_ = base_ + "/enctl_host_20260101_000000";
        for (const auto& [name, content] : kTree) {
            if (name.ends_with("/")) fs::create_directories(folder_ + "/" + name);
            else std::ofstream(folder_ + "/" + name, std::ios::binary) << content;
        }
        set_text(g_enctl_data.log_dir, folder_);
    }
    void TearDown() override {
        g_pack_before_verify = nullptr;
        fs::remove_all(base_);
    }

    // What the archive holds, read back with libzip.
    static tree archive_contents(const std::string& zip_path) {
        tree contents;
        int error = 0;
        zip_t* z = zip_open(zip_path.c_str(), ZIP_RDONLY, &error);
        if (!z) return contents;
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
            std::string data(st.size, '\0');
            if (zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0)) {
                zip_fread(f, data.data(), data.size());
                zip_fclose(f);
            }
            contents[st.name] = data;
        }
        zip_discard(z);
        return contents;
    }

    std::string base_, folder_;
};

TEST_F(Pack, TheZipHoldsTheTreeWithItsBytesAndTheFolderGoes) {
    const std::string printed = printed_by_pack();
    const std::string zip = folder_ + ".zip";
    EXPECT_EQ(printed, "Created package file: " + zip + "\n\n");
    EXPECT_FALSE(fs::exists(folder_));
    tree expected = {{"enctl_host_20260101_000000/", ""}};
    for (const auto& [name, content] : kTree) expected["enctl_host_20260101_000000/" + name] = content;
    tree actual = archive_contents(zip);
    // The version listing was written into the folder first.
    const std::string version = "enctl_host_20260101_000000/enctl_version.txt";
    EXPECT_NE(actual[version].find("enctl"), std::string::npos);
    actual.erase(version);
    EXPECT_EQ(actual, expected);
}

TEST_F(Pack, AnArchiveThatCannotBeWrittenOrFailsItsCheckLeavesTheFolder) {
    // A folder stands at the zip's name.
    fs::create_directory(folder_ + ".zip");
    std::string printed = printed_by_pack();
    EXPECT_EQ(printed, "ERROR creating package file: " + folder_ + ".zip\n\n");
    EXPECT_TRUE(fs::exists(folder_ + "/ses/page_02h_scsi1_0-0-0.txt"));
    fs::remove(folder_ + ".zip");

    // The written archive is spoilt before its check: one entry's bytes
    // change (same length, same position).
    g_pack_before_verify = [](const std::string& zip) {
        int error = 0;
        zip_t* z = zip_open(zip.c_str(), 0, &error);
        const std::string other(12 + 100000, 'y');
        zip_source_t* src = zip_source_buffer(z, other.data(), other.size(), 0);
        zip_file_replace(z, zip_name_locate(z, "enctl_host_20260101_000000/jbodlogs/consolelog_exp_0_scsi5_0-0-0.bin", 0),
                         src, 0);
        zip_close(z);
    };
    printed = printed_by_pack();
    EXPECT_EQ(printed, "ERROR creating package file: " + folder_ + ".zip\n\n");
    EXPECT_TRUE(fs::exists(folder_ + "/jbodlogs/consolelog_exp_0_scsi5_0-0-0.bin"));
    EXPECT_FALSE(fs::exists(folder_ + ".zip")) << "an archive that failed its check is not kept";
}

}  // namespace
}  // namespace enctl::testing
