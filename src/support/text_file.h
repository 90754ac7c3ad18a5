#pragma once

#include <memory>
#include <string>

namespace tavrek {

// An opened file read as 8-bit text: one byte is one character, no
// byte-order-mark decoding. A line ends at LF, at CR LF or at a lone CR; a
// last line without a terminator is still a line.
class TextStream {
public:
    virtual ~TextStream() = default;
    // True when no byte is left to read.
    virtual bool atEndOfStream() = 0;
    // The next line without its terminator. Throws FileReadFailure.
    virtual std::string readLine() = 0;
    virtual void close() = 0;
};

// The file system as the HEX check and loading see it.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens an existing file for reading; never creates one. Throws
    // FileOpenFailure when the file is missing, unreadable, a folder, or the
    // path is empty.
    virtual std::unique_ptr<TextStream> openTextFile(const std::string& path) = 0;
    // Makes the folder of the program's own executable the process's current
    // directory. Throws FileOpenFailure when it cannot.
    virtual void enterProgramFolder() = 0;
};

} // namespace tavrek
