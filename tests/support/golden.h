// Expected outputs kept as files next to the tests that use them (golden
// files). A path is relative to tests/ in the source tree, for example
// "app/golden/usage_fw.txt". With ENCTL_UPDATE_GOLDEN=1 in the environment a
// mismatch rewrites the file instead of failing, so that an intended change
// of output is one run and a reviewed diff.
#pragma once

#include <string>
#include <string_view>

namespace enctl::testing {

// The file's bytes; an empty string and a test failure when it is missing.
std::string golden(std::string_view relative_path);

// Fails the calling test (with both texts) when actual differs from the file.
void expect_golden(std::string_view actual, std::string_view relative_path);

}  // namespace enctl::testing
