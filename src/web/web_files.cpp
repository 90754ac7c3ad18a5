// The browser: the HEX files the user chose, in the page's own file system.

#include "web/web_files.h"

#include <filesystem>
#include <system_error>

#include "support/failures.h"

namespace tavrek {

void WebFileSystem::enterProgramFolder()
{
    std::error_code error;
    std::filesystem::create_directories(kChosenFilesFolder, error);
    std::filesystem::current_path(kChosenFilesFolder, error);
    if (error)
        throw FileOpenFailure("cannot enter the page's folder: " + error.message());
}

} // namespace tavrek
