// Helpers of the command-set tests: bytes as hex text (for golden files) and
// a SCSI device on the fake backend.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "tests/support/fake_backend.h"

namespace enctl::testing {

using bytes = std::vector<std::uint8_t>;

// "12 01 83 ..." (two hex digits a byte, blank-separated).
inline std::string hex(std::span<const std::uint8_t> data) {
    std::string text;
    for (std::uint8_t b : data) {
        char digits[4];
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", b);
        text += digits;
    }
    return text;
}

class FakeScsiDevice : public ::testing::Test {
protected:
    testing_fake::fake_backend_scope fake_;
    vdx_dev dev_ = testing_fake::make_fake_device("SCSI1:0,5,0", kVdxInterfaceScsi);
    vdx_error error_{};
};

}  // namespace enctl::testing
