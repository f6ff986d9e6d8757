#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "basekit/console.h"
#include "basekit/file_io.h"
#include "basekit/library.h"

namespace enctl {
namespace {

TEST(FileIo, SizeAndBoundedRead) {
    char path[] = "/tmp/enctl_file_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "0123456789", 10), 10);
    ::close(fd);
    EXPECT_EQ(file_size(path), 10);
    std::array<std::uint8_t, 4> small{};
    std::size_t count = 99;
    EXPECT_EQ(read_file(path, small, &count), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(small.begin(), small.end()), "0123");
    std::remove(path);
    EXPECT_EQ(file_size(path), -1);
    EXPECT_EQ(read_file(path, small, &count), 1);
    EXPECT_EQ(count, 0u);
}

// Nothing planted at a path is followed, truncated or reused: a link (to a
// file or dangling), a file or a folder already there makes every fresh
// creation fail and leaves the planted thing as it was.
TEST(FreshFiles, RefuseAnythingAlreadyAtThePath) {
    char base[] = "/tmp/enctl_fresh_XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    const std::string dir = base, victim = dir + "/victim";
    {
        unique_file f(std::fopen(victim.c_str(), "wb"));
        std::fputs("keep", f.get());
    }
    ASSERT_EQ(::symlink(victim.c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(::symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()), 0);
    ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0755), 0);
    const std::uint8_t data[] = {'x'};
    for (const char* name : {"/link", "/dangling", "/victim", "/folder"}) {
        const std::string path = dir + name;
        EXPECT_EQ(make_fresh_dir(path.c_str()), EEXIST) << name;
        EXPECT_FALSE(create_fresh_file(path.c_str())) << name;
        EXPECT_EQ(write_new_file(path.c_str(), data), 1) << name;
    }
    EXPECT_EQ(append_to_file((dir + "/link").c_str(), "x", 1), 1);
    EXPECT_EQ(append_to_file((dir + "/dangling").c_str(), "x", 1), 1);
    EXPECT_EQ(file_size(victim.c_str()), 4);
    EXPECT_FALSE(std::filesystem::exists(dir + "/nowhere"));

    const std::string fresh = dir + "/fresh";
    ASSERT_EQ(make_fresh_dir(fresh.c_str()), 0);
    EXPECT_EQ(write_new_file((fresh + "/file").c_str(), data), 0);
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((fresh + "/file").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 1);
    std::filesystem::remove_all(dir);
}

using version_fn = const char* (*)();

TEST(HelperLibrary, LoadsByNameWithSuffixAndResolvesSymbols) {
    void* version = nullptr;
    const library_symbol symbols[] = {{"cJSON_Version", &version}};
    helper_library library = helper_library::load("libcjson", symbols);
    ASSERT_TRUE(library);
    ASSERT_NE(version, nullptr);
    EXPECT_NE(std::string(reinterpret_cast<version_fn>(version)()), "");
}

TEST(HelperLibrary, MissingSymbolUnloadsAndClearsSlots) {
    void* version = nullptr;
    void* missing = reinterpret_cast<void*>(1);
    const library_symbol symbols[] = {{"cJSON_Version", &version}, {"no_such_symbol_here", &missing}};
    EXPECT_FALSE(helper_library::load("libcjson", symbols));
    EXPECT_EQ(version, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_FALSE(helper_library::load("no_such_library_here", {}));
}

}  // namespace
}  // namespace enctl
