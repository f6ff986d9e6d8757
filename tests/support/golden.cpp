#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace enctl::testing {
namespace {

std::string golden_path(std::string_view relative_path) {
    return std::string(ENCTL_SOURCE_DIR) + "/tests/" + std::string(relative_path);
}

bool updating() {
    const char* v = std::getenv("ENCTL_UPDATE_GOLDEN");
    return v != nullptr && std::string_view(v) == "1";
}

}  // namespace

std::string golden(std::string_view relative_path) {
    std::ifstream in(golden_path(relative_path), std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "missing golden file tests/" << relative_path;
        return {};
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void expect_golden(std::string_view actual, std::string_view relative_path) {
    if (updating()) {
        std::ofstream out(golden_path(relative_path), std::ios::binary | std::ios::trunc);
        out << actual;
        return;
    }
    EXPECT_EQ(std::string(actual), golden(relative_path)) << "golden file tests/" << relative_path
                                                          << " (ENCTL_UPDATE_GOLDEN=1 rewrites it)";
}

}  // namespace enctl::testing
