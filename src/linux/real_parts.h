#pragma once

#include "linux/qt_main_window.h"

namespace tavrek {

// The window's parts for the real program: the serial port on Qt, the files
// on disk, the machine's clock, and Qt's file dialog and message box.
WindowParts realWindowParts();

} // namespace tavrek
