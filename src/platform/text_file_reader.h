#pragma once

#include <cstdio>

#include "support/text_file.h"

namespace tavrek {

// Files on disk, read byte by byte as 8-bit text.
class DiskFileSystem : public FileSystem {
public:
    std::unique_ptr<TextStream> openTextFile(const std::string& path) override;
    void enterProgramFolder() override;
};

// A stream over an already opened C file, which it owns and closes.
std::unique_ptr<TextStream> makeTextStream(std::FILE* file);

} // namespace tavrek
