#include <gtest/gtest.h>
#include "vdx/windows/vdx_windows.h"
TEST(WindowsBuild, Links) { EXPECT_EQ(enctl::vdx_windows_seconds_up(1500), 2u); }
