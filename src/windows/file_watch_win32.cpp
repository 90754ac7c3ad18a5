// Ctrl+C and file changes on Windows: the console's control handler sets an
// event that every wait watches, changes come from ReadDirectoryChangesW on
// the file's folder.

#include "platform/file_watch.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <vector>

#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr DWORD kChanges =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr DWORD kNoticeBytes = 16 * 1024;  // notices a read may bring at once

std::atomic<bool> interrupted{false};
HANDLE interruptEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD control)
{
    if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT)
        return FALSE;
    if (interrupted.exchange(true))
        return FALSE;  // the second one ends the program
    ::SetEvent(interruptEvent);
    return TRUE;
}

bool sameName(const std::wstring& a, const wchar_t* b, std::size_t bLength)
{
    if (a.size() != bLength)
        return false;
    for (std::size_t i = 0; i < bLength; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

class DirectoryWatch : public FileWatch {
public:
    DirectoryWatch(HANDLE folder, std::wstring name)
        : folder_(folder), name_(std::move(name)), done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          notices_(kNoticeBytes / sizeof(DWORD))
    {
    }
    ~DirectoryWatch() override
    {
        if (pending_) {
            ::CancelIoEx(folder_, &read_);
            DWORD moved = 0;
            ::GetOverlappedResult(folder_, &read_, &moved, TRUE);
        }
        ::CloseHandle(folder_);
        ::CloseHandle(done_);
    }
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    bool start()
    {
        ::ResetEvent(done_);
        read_ = OVERLAPPED{};
        read_.hEvent = done_;
        pending_ = done_ != nullptr && ::ReadDirectoryChangesW(folder_, notices_.data(), kNoticeBytes, FALSE,
                                                               kChanges, nullptr, &read_, nullptr);
        return pending_;
    }

    WatchEvent wait(std::optional<int> maxMs) override
    {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const std::optional<int> left = msLeft(start, maxMs);
            const DWORD ms = left ? static_cast<DWORD>(*left) : INFINITE;
            const HANDLE waited[] = {interruptEvent, done_};
            const DWORD woken = interruptEvent != nullptr ? ::WaitForMultipleObjects(2, waited, FALSE, ms)
                                                          : ::WaitForSingleObject(done_, ms) + 1;
            if (woken == WAIT_OBJECT_0 || interrupted)
                return WatchEvent::Interrupted;
            if (woken != WAIT_OBJECT_0 + 1)
                return WatchEvent::Quiet;
            if (aboutTheFile())
                return WatchEvent::Changed;
        }
    }

private:
    // Takes the notices of the read that ended and starts the next: true
    // when one concerns the file, or too many came to tell.
    bool aboutTheFile()
    {
        DWORD bytes = 0;
        const bool read = ::GetOverlappedResult(folder_, &read_, &bytes, FALSE);
        pending_ = false;
        bool changed = !read || bytes == 0;
        for (auto* at = reinterpret_cast<const BYTE*>(notices_.data()); read && bytes > 0;) {
            const auto* notice = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
            changed = changed || sameName(name_, notice->FileName, notice->FileNameLength / sizeof(wchar_t));
            if (notice->NextEntryOffset == 0)
                break;
            at += notice->NextEntryOffset;
        }
        start();
        return changed;
    }

    HANDLE folder_;
    std::wstring name_;
    HANDLE done_;
    OVERLAPPED read_{};
    bool pending_ = false;        // a read of notices is under way
    std::vector<DWORD> notices_;  // DWORD-aligned, as the notices must be
};

} // namespace

void catchInterrupt()
{
    if (interruptEvent == nullptr)
        interruptEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool interruptRequested()
{
    return interrupted;
}

bool waitForInterrupt(int ms)
{
    if (interruptEvent == nullptr)
        ::Sleep(static_cast<DWORD>(ms));
    else
        ::WaitForSingleObject(interruptEvent, static_cast<DWORD>(ms));
    return interrupted;
}

std::unique_ptr<FileWatch> watchFile(const std::string& path)
{
    const std::filesystem::path file(widen(path));
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(L".");
    const HANDLE handle = ::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return pollFile(file);
    auto watch = std::make_unique<DirectoryWatch>(handle, file.filename().wstring());
    if (!watch->start())
        return pollFile(file);
    return watch;
}

} // namespace tavrek
