#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

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
