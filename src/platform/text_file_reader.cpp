// Text files on disk, named in UTF-8 (file_names gives each platform's form).

#include "platform/text_file_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/file_names.h"
#include "support/failures.h"

namespace tavrek {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;  // bytes read from the file at a time
// No HEX file of this chip comes near it (both images in one-byte records take
// under 3 MB); a device or a stream that never ends stops here, not at the
// end of the memory.
constexpr std::size_t kLargestTextFile = 16 * 1024 * 1024;

class DiskTextStream : public TextStream {
public:
    explicit DiskTextStream(std::FILE* file) : file_(file) {}
    ~DiskTextStream() override { close(); }

    // A read error is a failure, not an end.
    std::string readAll() override
    {
        if (!file_)
            throw FileReadFailure("file is closed");
        std::string bytes;
        for (std::size_t n = 1; n > 0;) {
            const std::size_t at = bytes.size();
            if (at > kLargestTextFile)
                throw FileReadFailure("it is larger than 16 MiB, far more than any HEX file for this chip");
            bytes.resize(at + kReadChunk);
            n = std::fread(bytes.data() + at, 1, kReadChunk, file_);
            bytes.resize(at + n);
        }
        if (std::ferror(file_))
            throw FileReadFailure("read error");
        return bytes;
    }

    void close() override
    {
        if (file_)
            std::fclose(file_);
        file_ = nullptr;
    }

private:
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

std::string absolutePath(const std::string& name)
{
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(pathOf(name), error);
    return error ? name : nameOf(whole);
}

std::unique_ptr<TextStream> DiskFileSystem::openTextFile(const std::string& path)
{
    std::error_code error;
    if (path.empty())
        throw FileOpenFailure("no file chosen");
    if (std::filesystem::is_directory(pathOf(path), error))
        throw FileOpenFailure("is a folder, not a file");
    std::FILE* file = openForReading(path);
    if (!file)
        throw FileOpenFailure(lowerFirst(std::strerror(errno)));
    return makeTextStream(file);
}

std::unique_ptr<TextStream> makeTextStream(std::FILE* file)
{
    return std::make_unique<DiskTextStream>(file);
}

std::filesystem::path programFolder()
{
    std::error_code error;
    const auto executable = executablePath(error);
    if (error)
        throw FileOpenFailure("cannot enter the program's folder: " + error.message());
    return executable.parent_path();
}

const std::filesystem::path& startFolder()
{
    static const std::filesystem::path folder = [] {
        std::error_code error;
        return std::filesystem::current_path(error);
    }();
    return folder;
}

void DiskFileSystem::enterProgramFolder()
{
    startFolder();
    std::error_code error;
    std::filesystem::current_path(programFolder(), error);
    if (error)
        throw FileOpenFailure("cannot enter the program's folder: " + error.message());
}

} // namespace tavrek
