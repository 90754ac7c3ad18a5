#pragma once

// The browser: the HEX files the user chose, in the page's own file system.

#include "platform/text_file_reader.h"

namespace tavrek {

// The folder where the page keeps the file the user chose last, under its
// own name. The page is the program here: this is its folder, so that the
// name alone opens the file.
inline constexpr const char* kChosenFilesFolder = "/chosen";

class WebFileSystem : public DiskFileSystem {
public:
    void enterProgramFolder() override;
};

} // namespace tavrek
