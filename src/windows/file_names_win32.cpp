// File names on Windows: UTF-8 in the program, the wide form at the system's
// calls, so that any file name opens.

#include "platform/file_names.h"

#include <windows.h>

#include "windows/win32_text.h"

namespace tavrek {

std::filesystem::path pathOf(const std::string& name)
{
    return widen(name);
}

std::string nameOf(const std::filesystem::path& path)
{
    return narrow(path.wstring());
}

std::FILE* openForReading(const std::string& name)
{
    return ::_wfopen(widen(name).c_str(), L"rb");
}

std::filesystem::path executablePath(std::error_code& error)
{
    constexpr DWORD kMaxPathChars = 32768;  // the longest path Windows has
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // A path cut short fills the whole buffer: try again with a larger one.
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size() &&
           path.size() < kMaxPathChars)
        path.resize(path.size() * 2);
    if (length == 0)
        error.assign(static_cast<int>(::GetLastError()), std::system_category());
    path.resize(length);
    return path;
}

} // namespace tavrek
