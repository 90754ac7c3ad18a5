#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/text_file.h"

namespace tavrek {

// Files on disk, read byte by byte as 8-bit text.
class DiskFileSystem : public FileSystem {
public:
    std::unique_ptr<TextStream> openTextFile(const std::string& path) override;
    void enterProgramFolder() override;
};

// The folder of the program's own executable. Throws FileOpenFailure.
std::filesystem::path programFolder();

// The folder that was current when the program started: loading a HEX file
// makes the program's folder current, and a name the operator gave relative
// to where they were must still find its file or device. Taken at the first
// call, which enterProgramFolder makes before it changes the folder.
const std::filesystem::path& startFolder();

// The whole path of a file name given relative to the current folder, in
// UTF-8 as the name; the name as it is where it cannot be made whole.
std::string absolutePath(const std::string& name);

// A stream over an already opened C file, which it owns and closes.
std::unique_ptr<TextStream> makeTextStream(std::FILE* file);

} // namespace tavrek
