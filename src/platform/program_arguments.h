#pragma once

#include <string>
#include <vector>

namespace tavrek {

// The program's command-line arguments in UTF-8, for a parser that takes
// argc and argv. On Windows they are taken again from the wide command line,
// so that a file name in any script passes whole; elsewhere they are main's.
class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int count() const { return static_cast<int>(arguments_.size()); }
    char** values() { return pointers_.data(); }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;  // into arguments_, ended by a null
};

} // namespace tavrek
