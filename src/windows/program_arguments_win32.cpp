// Command-line arguments on Windows, in UTF-8: from the wide command line,
// which holds any characters where argv holds only the code page's.

#include "platform/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "windows/win32_text.h"

namespace tavrek {

ProgramArguments::ProgramArguments(int argc, char** argv)
{
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments_.push_back(narrow(wide[i]));
        ::LocalFree(wide);
    }
    if (arguments_.empty())
        arguments_.assign(argv, argv + argc);
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

} // namespace tavrek
