// The per-run state of one enctl invocation and the run that follows the
// parse: operation code, option records, target names, and the dispatch of
// the chosen operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/discovery/show_options.h"
#include "app/getlog/getlog_options.h"
#include "app/ops/diag_options.h"
#include "app/ops/fw_options.h"
#include "app/ops/iom_options.h"
#include "app/ops/rcli_options.h"
#include "app/ops/zone_options.h"
#include "rest/http_options.h"

namespace enctl {

// Operation codes. No operation has code 4.
inline constexpr std::uint32_t kOperationNone = 0;
inline constexpr std::uint32_t kOperationDiag = 1;
inline constexpr std::uint32_t kOperationFw = 2;
inline constexpr std::uint32_t kOperationGetlog = 3;
inline constexpr std::uint32_t kOperationHttp = 5;
inline constexpr std::uint32_t kOperationIom = 6;
inline constexpr std::uint32_t kOperationRcli = 7;
inline constexpr std::uint32_t kOperationShow = 8;
inline constexpr std::uint32_t kOperationVersion = 9;
inline constexpr std::uint32_t kOperationZone = 10;

// Room of the target name table.
inline constexpr std::size_t kMaxTargets = 128;

struct enctl_run_state {
    std::uint32_t operation_code = kOperationNone;
    diag_options diag{};
    fw_options fw{};
    getlog_options getlog{};
    http_options http{};
    iom_options iom{};
    rcli_options rcli{};
    show_options show{};
    zone_options zone{};
    // Private copies of the target words, in command-line order; at most
    // kMaxTargets. They live until the process ends.
    std::vector<std::string> target_names;
};

// Runs the parsed operation (everything but version, which the entry
// handles) and returns the process exit code.
int enctl_run(enctl_run_state& state);

}  // namespace enctl
