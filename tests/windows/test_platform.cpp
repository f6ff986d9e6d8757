// The Windows platform services on a real (Wine) system: the paths the
// program context is built from, and helper libraries found by name plus
// ".DLL".
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "basekit/library.h"
#include "basekit/platform.h"

namespace enctl {
namespace {

TEST(WindowsPlatform, ContextPathsAndHelperLibraries) {
    EXPECT_FALSE(platform_host_name().empty());
    const std::string temp = platform_temp_dir();
    EXPECT_TRUE(platform_path_exists(temp.c_str())) << temp;
    // The executable in its short form: no blank, so it stands unquoted in a
    // command line.
    const std::string self = platform_executable_path();
    EXPECT_TRUE(platform_path_exists(self.c_str())) << self;
    EXPECT_EQ(self.find(' '), std::string::npos) << self;

    void* tick = nullptr;
    const library_symbol present[] = {{"GetTickCount", &tick}};
    EXPECT_TRUE(helper_library::load("kernel32", present));
    EXPECT_NE(tick, nullptr);
    void* missing = &tick;
    const library_symbol absent[] = {{"GetTickCount", &tick}, {"no_such_entry", &missing}};
    EXPECT_FALSE(helper_library::load("kernel32", absent));
    EXPECT_EQ(tick, nullptr);
    EXPECT_FALSE(helper_library::load("adaptec_wrapper", present));
}

}  // namespace
}  // namespace enctl
