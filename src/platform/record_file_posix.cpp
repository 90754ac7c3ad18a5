// Record files and file digests on Linux: POSIX appends, Qt's SHA-256.

#include "platform/record_file.h"

#include <QCryptographicHash>
#include <QFile>

#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tavrek {

namespace {

// The system's text for `error`, as it reads after a colon.
std::string cause(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

class PosixRecordFile : public RecordFile {
public:
    PosixRecordFile(const std::string& path, int handle) : path_(path), handle_(handle) {}
    ~PosixRecordFile() override { ::close(handle_); }
    PosixRecordFile(const PosixRecordFile&) = delete;
    PosixRecordFile& operator=(const PosixRecordFile&) = delete;

    // O_APPEND places the one write at the end, whoever else appends; a
    // write to a regular file is not cut short by a signal.
    void append(const std::string& record) override
    {
        const ssize_t written = ::write(handle_, record.data(), record.size());
        if (written < 0 || static_cast<std::size_t>(written) != record.size())
            fail("cannot write");
        if (::fsync(handle_) != 0)
            fail("cannot flush to the disk");
    }

private:
    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error(path_ + ": " + what + ": " + cause(errno));
    }

    std::string path_;
    int handle_;
};

} // namespace

std::unique_ptr<RecordFile> openRecordFile(const std::string& path)
{
    constexpr mode_t kReadableByAll = 0644;  // less the user's umask
    const int handle = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kReadableByAll);
    if (handle < 0)
        throw std::runtime_error(path + ": " + cause(errno));
    return std::make_unique<PosixRecordFile>(path, handle);
}

std::string fileSha256(const std::string& path)
{
    QFile file(QString::fromLocal8Bit(path.c_str()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex().toStdString();
}

} // namespace tavrek
