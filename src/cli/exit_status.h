#pragma once

namespace tavrek::cli {

// What tavrek-cli's exit status says; with several ports, the worst of them.
enum ExitStatus : int {
    kExitWritten = 0,        // done: every chip written (or the file sound, the reset pulsed)
    kExitChipRefused = 1,    // no bootloader, wrong chip type, no answer, a packet refused 10 times
    kExitFileFailed = 2,     // the file cannot be opened or does not parse
    kExitPortFailed = 3,     // the port cannot be opened, or the device went away
    kExitNotRecorded = 4,    // a chip's record could not be added to the --report file
    kExitBadCommandLine = 64,
};

inline constexpr const char* kExitStatusHelp = R"(Exit status:
  0   written (check: the file is sound; reset: the pulse went out)
  1   the chip did not take it: no bootloader, an unknown chip type, no
      answer, or a packet refused 10 times
  2   the file cannot be opened or does not parse
  3   the port cannot be opened, or the device went away
  4   a record could not be added to the --report file (the disk is full,
      say); how each chip went is on standard error
  64  a bad command line
With several ports the status is the worst of them.)";

} // namespace tavrek::cli
