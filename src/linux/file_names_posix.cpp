// File names on Linux: UTF-8 reaches the system as it is.

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
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace tavrek
