#include "app/ops/confirm.h"

#include <cctype>
#include <cstdio>

namespace enctl {

bool read_confirmation() {
    std::fflush(stdout);  // the prompt is on screen before the program waits
    int c = std::getchar();
    while (c != EOF && std::isspace(c)) c = std::getchar();
    return c == 'Y' || c == 'y';
}

}  // namespace enctl
