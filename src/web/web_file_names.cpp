// The browser: file names in the page's own file system, UTF-8 as they are.
// A page has no program file: the chosen files' folder stands in for its
// folder (web_files).

#include "platform/file_names.h"

namespace tavrek {

std::filesystem::path pathOf(const std::string& name)
{
    return name;
}

std::string nameOf(const std::filesystem::path& path)
{
    return path.string();
}

std::FILE* openForReading(const std::string& name)
{
    return std::fopen(name.c_str(), "rb");
}

std::filesystem::path executablePath(std::error_code& error)
{
    error = std::make_error_code(std::errc::not_supported);
    return {};
}

} // namespace tavrek
