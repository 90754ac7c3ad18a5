// Record files and digests on Linux: POSIX appends, Qt's SHA-256.

#include "platform/record_file.h"

#include <QCryptographicHash>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
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

off_t fileSize(int handle)
{
    struct stat status {};
    return ::fstat(handle, &status) == 0 ? status.st_size : -1;
}

class PosixRecordFile : public RecordFile {
public:
    PosixRecordFile(const std::string& path, int handle) : path_(path), handle_(handle)
    {
        struct stat status {};
        regularFile_ = ::fstat(handle, &status) == 0 && S_ISREG(status.st_mode);
    }
    ~PosixRecordFile() override { ::close(handle_); }
    PosixRecordFile(const PosixRecordFile&) = delete;
    PosixRecordFile& operator=(const PosixRecordFile&) = delete;

    // O_APPEND places each write at the end, whoever else appends. A disk
    // that fills up, or a file that reaches its size limit, takes part of
    // the record and refuses the rest: the file gets its length back, or
    // where it cannot, the next record starts on a line of its own.
    void append(const std::string& record) override
    {
        const std::string text = (tornLine_ ? "\n" : "") + record;
        const off_t before = fileSize(handle_);
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(handle_, text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;  // a file that takes nothing more is full
                takeBack(before, written);
                fail("cannot write", error);
            }
            written += static_cast<std::size_t>(n);
        }
        tornLine_ = false;
        // A pipe or a terminal (--report /dev/stdout) has no disk to flush to.
        if (regularFile_ && ::fsync(handle_) != 0)
            fail("cannot flush to the disk", errno);
    }

private:
    // Cuts off the `written` bytes of a record that did not go in whole,
    // unless someone else has appended since.
    void takeBack(off_t before, std::size_t written)
    {
        if (written == 0)
            return;
        const bool ours = before >= 0 && fileSize(handle_) == before + static_cast<off_t>(written);
        if (!ours || ::ftruncate(handle_, before) != 0)
            tornLine_ = true;
    }

    [[noreturn]] void fail(const std::string& what, int error)
    {
        throw std::runtime_error(path_ + ": " + what + ": " + cause(error));
    }

    std::string path_;
    int handle_;
    bool regularFile_ = false;
    bool tornLine_ = false;  // the file ends in part of a record
};

} // namespace

std::unique_ptr<RecordFile> openRecordFile(const std::string& path)
{
    // A file grown to the process's size limit (ulimit -f) raises SIGXFSZ,
    // which would end the program; ignored, the write fails with EFBIG,
    // which the record reports.
    std::signal(SIGXFSZ, SIG_IGN);
    constexpr mode_t kReadableByAll = 0644;  // less the user's umask
    const int handle = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kReadableByAll);
    if (handle < 0)
        throw std::runtime_error(path + ": " + cause(errno));
    return std::make_unique<PosixRecordFile>(path, handle);
}

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

} // namespace tavrek
