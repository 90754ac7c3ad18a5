#pragma once

// File names as the program holds them, in UTF-8, and as the platform's calls
// take them. Each platform's folder implements these (file_names_*.cpp).

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace tavrek {

std::filesystem::path pathOf(const std::string& name);
std::string nameOf(const std::filesystem::path& path);
// The file opened for reading bytes; null with errno set where it cannot be.
std::FILE* openForReading(const std::string& name);
// The program file's own path; empty, with `error` set, where it has none.
std::filesystem::path executablePath(std::error_code& error);

} // namespace tavrek
