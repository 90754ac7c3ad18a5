#pragma once

#include <cstddef>

namespace tavrek {

// The terminal tavrek-cli writes its progress bars to, on standard error.

// True when standard error is a terminal that takes the cursor movements and
// line erasing the bars are drawn with. On Windows this switches the
// console's virtual-terminal mode on for the program's run, where the console
// has one; not a console (standard error redirected) or an old one: false.
bool errorTerminalTakesBars();

// The width of the terminal on standard error in columns; 0 where unknown.
std::size_t errorTerminalColumns();

// A standard output or error that has gone (a pipe whose reader has ended,
// as `| head -1` leaves it, or a descriptor closed outright) costs tavrek-cli
// its messages, never a chip's write or its record: writes there fail
// quietly instead of raising SIGPIPE, and a closed descriptor is given the
// null device, so that no file or port opened later takes its number and
// receives the log. Called first thing in main().
void guardStandardStreams();

} // namespace tavrek
