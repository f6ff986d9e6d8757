// SES and VPD pages captured from the lab (`enctl-lab dump DIR DEVICE PAGE`)
// and kept as hex text in tests/fixtures/pages/<product>_<page>.hex, the
// input form of sg_ses --inhex.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace enctl::testing {

// The bytes of tests/fixtures/pages/<name>.hex; empty and a test failure when
// the file is missing or holds something other than hex bytes.
std::vector<std::uint8_t> page_fixture(std::string_view name);

}  // namespace enctl::testing
