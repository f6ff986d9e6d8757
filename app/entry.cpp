// Placeholder until the front end lands: prints the general usage line and
// fails, so that nothing reports success by accident.
#include "app/entry.h"

#include "basekit/console.h"

namespace enctl {

int enctl_main(int, char**) {
    CONSOLE_PRINT(kVerbosityNormal, "enctl usage:\n");
    return 2;
}

}  // namespace enctl
