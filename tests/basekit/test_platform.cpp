#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "basekit/platform.h"

namespace enctl {
namespace {

TEST(Platform, ExecutablePathExistenceAndTmpdir) {
    EXPECT_NE(platform_executable_path().find("test_basekit"), std::string::npos);
    EXPECT_TRUE(platform_path_exists("/"));
    EXPECT_FALSE(platform_path_exists("/no/such/path/here"));
    EXPECT_FALSE(platform_path_exists(""));

    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    ::setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(platform_temp_dir(), "/var/tmp/");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(platform_temp_dir(), "/tmp");
    if (saved) ::setenv("TMPDIR", keep.c_str(), 1);
    else ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace enctl
