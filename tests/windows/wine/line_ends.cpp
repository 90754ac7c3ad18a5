// Linked into the Windows tests: their output ends lines with "\n" alone, as
// on Linux, for ctest to read the lists of tests they print.

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

[[maybe_unused]] const int kBinaryOutput = ::_setmode(::_fileno(stdout), _O_BINARY) + ::_setmode(::_fileno(stderr), _O_BINARY);

} // namespace
