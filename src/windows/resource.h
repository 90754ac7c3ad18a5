#pragma once

// Windows: identifiers of the resources built into the programs.

// The program's icon, made at build time from data/tavrek.svg. A macro, as the
// resource compiler reads this file too.
#define TAVREK_APP_ICON 1
