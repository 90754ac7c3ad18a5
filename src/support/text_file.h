#pragma once

#include <memory>
#include <string>

namespace tavrek {

// An opened file read as 8-bit text: one byte is one character, no
// byte-order-mark decoding. It is read whole, in one go, so that whoever
// reads it twice (a check, then a load) reads the same bytes even when the
// file is rewritten meanwhile.
class TextStream {
public:
    virtual ~TextStream() = default;
    // Every byte left, as the file holds it, line ends included. Throws
    // FileReadFailure.
    virtual std::string readAll() = 0;
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
