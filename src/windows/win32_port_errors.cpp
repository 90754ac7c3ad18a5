// Windows: the errors of the Win32 communications calls in the operator's words.

#include "windows/win32_port_errors.h"

#include <windows.h>

#include <cctype>

#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr const char* kGone = "the device has gone";

} // namespace

std::string systemText(unsigned long error)
{
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = ::FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? narrow(std::wstring(buffer, length)) : "";
    ::LocalFree(buffer);
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        return "error " + std::to_string(error);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

PortErrorCause portErrorCause(unsigned long error, bool lineOpen)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {"no such port", false};
    case ERROR_ACCESS_DENIED:
        // Refused at the open, the port is in use; on an open line USB-serial
        // drivers report their device's removal so.
        return lineOpen ? PortErrorCause{kGone, true} : PortErrorCause{"another program has it open", false};
    case ERROR_SHARING_VIOLATION:
        return {"another program has it open", false};
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    // Wine's answers when the device behind the port has closed.
    case ERROR_BROKEN_PIPE:
    case ERROR_NOT_READY:
        return {kGone, true};
    default:
        return {systemText(error), false};
    }
}

} // namespace tavrek
