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

// True when standard output and standard error go to one file or terminal.
bool outputAndErrorShareAFile();

} // namespace tavrek
