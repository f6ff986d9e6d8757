// The confirmation of a disruptive action: after the caller's warning lines
// and prompt, one character is read from standard input, white space
// skipped. Only 'Y' or 'y' confirms; any other character, the end of the
// input or a read error declines. The caller prints what follows (the empty
// line, the cancellation text), as each operation words it.
#pragma once

namespace enctl {

bool read_confirmation();

}  // namespace enctl
