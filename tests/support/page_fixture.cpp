#include "tests/support/page_fixture.h"

#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <string>

#include "tests/support/golden.h"

namespace enctl::testing {

std::vector<std::uint8_t> page_fixture(std::string_view name) {
    std::istringstream text(golden("fixtures/pages/" + std::string(name) + ".hex"));
    std::vector<std::uint8_t> bytes;
    std::string word;
    while (text >> word) {
        unsigned value = 0;
        const char* end = word.data() + word.size();
        const auto [stop, failure] = std::from_chars(word.data(), end, value, 16);
        if (failure != std::errc{} || stop != end || value > 0xFF) {
            ADD_FAILURE() << "not a hex byte in " << name << ": " << word;
            return {};
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

}  // namespace enctl::testing
