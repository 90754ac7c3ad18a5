// Watching a file through its time and size, on every platform.

#include "platform/file_watch.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace tavrek {

namespace {

constexpr int kPollMs = 100;  // how often a polled file is looked at

// What a look at the file tells: the same pair means no change was seen.
struct FileState {
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
    bool exists = false;

    bool operator==(const FileState&) const = default;
};

FileState stateOf(const std::filesystem::path& path)
{
    std::error_code error;
    FileState state;
    state.written = std::filesystem::last_write_time(path, error);
    if (error)
        return {};
    state.size = std::filesystem::file_size(path, error);
    state.exists = !error;
    return state;
}

class PollingWatch : public FileWatch {
public:
    explicit PollingWatch(std::filesystem::path path) : path_(std::move(path)), seen_(stateOf(path_)) {}

    WatchEvent wait(std::optional<int> maxMs) override
    {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const std::optional<int> left = msLeft(start, maxMs);
            if (left == 0)
                return WatchEvent::Quiet;
            if (waitForInterrupt(std::min(kPollMs, left.value_or(kPollMs))))
                return WatchEvent::Interrupted;
            if (const FileState now = stateOf(path_); !(now == seen_)) {
                seen_ = now;
                return WatchEvent::Changed;
            }
        }
    }

private:
    std::filesystem::path path_;
    FileState seen_;
};

} // namespace

std::optional<int> msLeft(std::chrono::steady_clock::time_point start, std::optional<int> maxMs)
{
    if (!maxMs)
        return std::nullopt;
    const auto waited = std::chrono::steady_clock::now() - start;
    const auto left = *maxMs - std::chrono::duration_cast<std::chrono::milliseconds>(waited).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

std::unique_ptr<FileWatch> pollFile(const std::filesystem::path& path)
{
    return std::make_unique<PollingWatch>(path);
}

} // namespace tavrek
