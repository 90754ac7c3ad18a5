// Command-line arguments in UTF-8 (Linux and Windows).

#include "platform/program_arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "windows/win32_text.h"
#endif

namespace tavrek {

ProgramArguments::ProgramArguments(int argc, char** argv)
{
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments_.push_back(narrow(wide[i]));
        ::LocalFree(wide);
    }
#endif
    if (arguments_.empty())
        arguments_.assign(argv, argv + argc);
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

} // namespace tavrek
