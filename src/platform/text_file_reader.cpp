#include "platform/text_file_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "support/failures.h"

namespace tavrek {

namespace {

class DiskTextStream : public TextStream {
public:
    explicit DiskTextStream(std::FILE* file) : file_(file) {}
    ~DiskTextStream() override { close(); }

    bool atEndOfStream() override
    {
        const int c = next();
        if (c == EOF)
            return true;
        std::ungetc(c, file_);
        return false;
    }

    std::string readLine() override
    {
        std::string line;
        for (int c = next(); c != EOF && c != '\n'; c = next()) {
            if (c == '\r') {
                const int after = next();
                if (after != '\n' && after != EOF)
                    std::ungetc(after, file_);
                break;
            }
            line.push_back(static_cast<char>(c));
        }
        return line;
    }

    void close() override
    {
        if (file_)
            std::fclose(file_);
        file_ = nullptr;
    }

private:
    // The next byte, or EOF at the end; a read error is a failure, not an end.
    int next()
    {
        if (!file_)
            throw FileReadFailure("file is closed");
        const int c = std::getc(file_);
        if (c == EOF && std::ferror(file_))
            throw FileReadFailure("read error");
        return c;
    }

    std::FILE* file_;
};

// "No such file or directory" reads "no such file or directory" after a colon.
std::string lowerFirst(std::string text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

} // namespace

std::unique_ptr<TextStream> DiskFileSystem::openTextFile(const std::string& path)
{
    std::error_code error;
    if (path.empty())
        throw FileOpenFailure("no file chosen");
    if (std::filesystem::is_directory(path, error))
        throw FileOpenFailure("is a folder, not a file");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw FileOpenFailure(lowerFirst(std::strerror(errno)));
    return makeTextStream(file);
}

std::unique_ptr<TextStream> makeTextStream(std::FILE* file)
{
    return std::make_unique<DiskTextStream>(file);
}

void DiskFileSystem::enterProgramFolder()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        std::filesystem::current_path(executable.parent_path(), error);
    if (error)
        throw FileOpenFailure("cannot enter the program's folder: " + error.message());
}

} // namespace tavrek
