#pragma once

#include <string>

#include "support/support.h"

namespace tavrek::cli {

// The facts behind a run's last log line and what to check, as one line for
// standard error; empty for a line that needs none.
std::string hintFor(const std::string& lastLine, const RunFacts& facts);

// True for a log line that ends a run with the chip unwritten: an error, for
// standard error, where its hint follows.
bool endsUnwritten(const std::string& logLine);

// For a run that the port ended after packets had gone out: the chip is
// partly written. Empty when nothing was sent.
std::string partlyWritten(const RunFacts& facts);

// "blink.hex:12: the record's checksum is wrong (0x3A, 0x3C expected)", the
// way compilers report input errors; "blink.hex: the file is empty" where no
// line decided.
std::string whereRefused(const std::string& file, const HexFacts& facts);

} // namespace tavrek::cli
