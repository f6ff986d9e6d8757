// Process entry of enctl: start-up, argument parsing, program context and the
// hand-off to the run.
#pragma once

namespace enctl {

// The whole program: returns the process exit code.
int enctl_main(int argc, char** argv);

}  // namespace enctl
