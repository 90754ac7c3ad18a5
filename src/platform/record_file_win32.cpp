// Record files and file digests on Windows: appends through the Win32 file
// calls, SHA-256 from the system's CryptoAPI.

#include "platform/record_file.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "platform/win32_port_errors.h"
#include "platform/win32_text.h"

namespace tavrek {

namespace {

constexpr DWORD kReadChunk = 64 * 1024;  // bytes of the file hashed per read
constexpr DWORD kSha256Bytes = 32;

class Win32RecordFile : public RecordFile {
public:
    Win32RecordFile(const std::string& path, HANDLE handle) : path_(path), handle_(handle) {}
    ~Win32RecordFile() override { ::CloseHandle(handle_); }
    Win32RecordFile(const Win32RecordFile&) = delete;
    Win32RecordFile& operator=(const Win32RecordFile&) = delete;

    // A handle opened with FILE_APPEND_DATA alone writes at the end of the
    // file, whoever else appends.
    void append(const std::string& record) override
    {
        DWORD written = 0;
        if (!::WriteFile(handle_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) ||
            written != record.size())
            fail("cannot write");
        if (!::FlushFileBuffers(handle_))
            fail("cannot flush to the disk");
    }

private:
    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error(path_ + ": " + what + ": " + systemText(::GetLastError()));
    }

    std::string path_;
    HANDLE handle_;
};

// Feeds every byte of `file` to `hash`.
bool hashWhole(HANDLE file, HCRYPTHASH hash)
{
    std::string chunk(kReadChunk, '\0');
    for (DWORD read = 0;; ) {
        if (!::ReadFile(file, chunk.data(), kReadChunk, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        if (!::CryptHashData(hash, reinterpret_cast<const BYTE*>(chunk.data()), read, 0))
            return false;
    }
}

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
    const HANDLE handle = ::CreateFileW(widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error(path + ": " + systemText(::GetLastError()));
    return std::make_unique<Win32RecordFile>(path, handle);
}

std::string fileSha256(const std::string& path)
{
    const HANDLE file = ::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[kSha256Bytes];
    DWORD size = sizeof digest;
    const bool hashed = ::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
                        ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) && hashWhole(file, hash) &&
                        ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash != 0)
        ::CryptDestroyHash(hash);
    if (provider != 0)
        ::CryptReleaseContext(provider, 0);
    ::CloseHandle(file);
    return hashed ? hexOf(digest, size) : std::string();
}

} // namespace tavrek
