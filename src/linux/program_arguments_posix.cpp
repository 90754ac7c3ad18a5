// Command-line arguments on Linux: UTF-8 as the program was given them.

#include "platform/program_arguments.h"

namespace tavrek {

ProgramArguments::ProgramArguments(int argc, char** argv) : arguments_(argv, argv + argc)
{
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

} // namespace tavrek
