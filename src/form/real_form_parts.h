#pragma once

#include "form/frm_main.h"

namespace tavrek {

// The form's parts for the real program on this platform: the serial ports
// the system lists, the port control over the window's own lines, the files
// on disk and the machine's clock.
FormParts realFormParts();

} // namespace tavrek
