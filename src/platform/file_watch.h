#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tavrek {

// What tavrek-cli waits for between the writes of --watch: Ctrl+C, and a
// change to the HEX file.

// From now on Ctrl+C (SIGINT; on Windows the console's Ctrl+C and
// Ctrl+Break) no longer ends the program at once: it is remembered, so that
// the program can end what it is doing properly, and it ends every wait
// below. A second Ctrl+C ends the program as usual.
void catchInterrupt();
bool interruptRequested();

// Waits `ms` milliseconds, or less when Ctrl+C comes; true on Ctrl+C.
bool waitForInterrupt(int ms);

enum class WatchEvent {
    Changed,      // the file may have changed
    Quiet,        // the time given passed without a change
    Interrupted,  // Ctrl+C
};

// Changes to one file, whether it is written in place or replaced.
class FileWatch {
public:
    virtual ~FileWatch() = default;
    // Waits until the file may have changed, `maxMs` milliseconds have
    // passed (nullopt: no limit) or Ctrl+C comes.
    virtual WatchEvent wait(std::optional<int> maxMs) = 0;
};

// What is left of a wait of `maxMs` begun at `start`, at least 0; nullopt
// for a wait without limit.
std::optional<int> msLeft(std::chrono::steady_clock::time_point start, std::optional<int> maxMs);

// Through the system's notifications (inotify, ReadDirectoryChangesW) where
// they serve the file's folder, else as pollFile does.
std::unique_ptr<FileWatch> watchFile(const std::string& path);

// Through the file's modification time and size, looked at a few times a
// second: for folders the system sends no notifications of.
std::unique_ptr<FileWatch> pollFile(const std::filesystem::path& path);

} // namespace tavrek
