// The per-run state of one enctl invocation and the run that follows the
// parse: the chosen operation, the target names, the device table and the
// hand-off to the operation's run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/operation.h"

namespace enctl {

// Room of the target name table.
inline constexpr std::size_t kMaxTargets = 128;

struct enctl_run_state {
    const operation* chosen = nullptr;  // none until an operation word is read
    // Private copies of the target words, in command-line order; at most
    // kMaxTargets. They live until the process ends.
    std::vector<std::string> target_names;
};

// Runs the chosen operation when it needs the program context or devices (the
// entry runs the others itself) and returns the process exit code.
int enctl_run(const enctl_run_state& state);

}  // namespace enctl
