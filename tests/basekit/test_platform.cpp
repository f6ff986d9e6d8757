#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "basekit/platform.h"

namespace enctl {
namespace {

TEST(Platform, LinuxServices) {
    EXPECT_EQ(kPathSeparator, '/');
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(platform_host_name(), host);
    const std::string exe = platform_executable_path();
    EXPECT_NE(exe.find("test_basekit"), std::string::npos) << exe;
    EXPECT_TRUE(platform_path_exists("/"));
    EXPECT_FALSE(platform_path_exists("/no/such/path/here"));
    EXPECT_FALSE(platform_path_exists(""));
}

TEST(Platform, TempDirFollowsTmpdir) {
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    ::setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(platform_temp_dir(), "/var/tmp/");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(platform_temp_dir(), "/tmp");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(platform_temp_dir(), "/tmp");
    if (saved) ::setenv("TMPDIR", keep.c_str(), 1); else ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace enctl
