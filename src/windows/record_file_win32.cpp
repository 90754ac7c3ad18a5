// Record files and digests on Windows: appends through the Win32 file
// calls, SHA-256 from the system's CryptoAPI.

#include "platform/record_file.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "windows/win32_port_errors.h"
#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr DWORD kSha256Bytes = 32;

LONGLONG fileSize(HANDLE handle)
{
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
}

class Win32RecordFile : public RecordFile {
public:
    Win32RecordFile(const std::string& path, HANDLE handle)
        : path_(path), handle_(handle), diskFile_(::GetFileType(handle) == FILE_TYPE_DISK)
    {
    }
    ~Win32RecordFile() override { ::CloseHandle(handle_); }
    Win32RecordFile(const Win32RecordFile&) = delete;
    Win32RecordFile& operator=(const Win32RecordFile&) = delete;

    // A handle opened with FILE_APPEND_DATA and no FILE_WRITE_DATA writes at
    // the end of the file, whoever else appends. A disk that fills up takes
    // part of the record and refuses the rest: the file gets its length
    // back, or where it cannot, the next record starts on a line of its own.
    void append(const std::string& record) override
    {
        const std::string text = (tornLine_ ? "\n" : "") + record;
        const LONGLONG before = fileSize(handle_);
        std::size_t written = 0;
        while (written < text.size()) {
            DWORD n = 0;
            const BOOL ok = ::WriteFile(handle_, text.data() + written, static_cast<DWORD>(text.size() - written), &n,
                                        nullptr);
            const DWORD error = ok ? ERROR_DISK_FULL : ::GetLastError();  // a file that takes nothing more is full
            written += n;
            if (!ok || n == 0) {
                takeBack(before, written);
                fail("cannot write", error);
            }
        }
        tornLine_ = false;
        // A pipe or the console has no disk to flush to; on a pipe the flush
        // would wait for the reader.
        if (diskFile_ && !::FlushFileBuffers(handle_))
            fail("cannot flush to the disk", ::GetLastError());
    }

private:
    // Cuts off the `written` bytes of a record that did not go in whole,
    // through a second handle that may set the end of the file, unless
    // someone else has appended since.
    void takeBack(LONGLONG before, std::size_t written)
    {
        if (written == 0)
            return;
        bool cut = false;
        if (before >= 0 && fileSize(handle_) == before + static_cast<LONGLONG>(written)) {
            const HANDLE writer = ::ReOpenFile(handle_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
            if (writer != INVALID_HANDLE_VALUE) {
                LARGE_INTEGER end{};
                end.QuadPart = before;
                cut = ::SetFilePointerEx(writer, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(writer);
                ::CloseHandle(writer);
            }
        }
        if (!cut)
            tornLine_ = true;
    }

    [[noreturn]] void fail(const std::string& what, DWORD error)
    {
        throw std::runtime_error(path_ + ": " + what + ": " + systemText(error));
    }

    std::string path_;
    HANDLE handle_;
    bool diskFile_;
    bool tornLine_ = false;  // the file ends in part of a record
};

std::string hexOf(const BYTE* bytes, DWORD count)
{
    std::string text;
    char digits[3];
    for (DWORD i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

} // namespace

std::unique_ptr<RecordFile> openRecordFile(const std::string& path)
{
    // Reading its attributes gives the file's length; writing stays appending.
    const HANDLE handle = ::CreateFileW(widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error(path + ": " + systemText(::GetLastError()));
    return std::make_unique<Win32RecordFile>(path, handle);
}

std::string sha256(const std::string& bytes)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[kSha256Bytes];
    DWORD size = sizeof digest;
    const bool hashed = ::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
                        ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
                        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                                        static_cast<DWORD>(bytes.size()), 0) &&
                        ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash != 0)
        ::CryptDestroyHash(hash);
    if (provider != 0)
        ::CryptReleaseContext(provider, 0);
    return hashed ? hexOf(digest, size) : std::string();
}

} // namespace tavrek
