#pragma once

#include <windows.h>

#include <string>

#include "platform/serial_line.h"

namespace tavrek {

// What ends a wait for input besides a received byte: nothing (tavrek-cli),
// or a message for the calling thread's windows too (the window, so that it
// repaints and takes clicks during a Write).
enum class WakeOn { Input, InputOrWindowMessage };

// The DCB of a line: the settings, DTR as `dtr` holds it, no flow control,
// RTS inactive, no character replaced or dropped.
void fillDcb(DCB& dcb, const LineSettings& settings, bool dtr);

// The name CreateFile opens a port by: \\.\COM7 for COM7, so that COM10 and
// above open too; a name already in that form as it is.
std::wstring portPath(const std::string& device);

// A local serial port on the Win32 communications API, overlapped. Received
// bytes are read by the count ClearCommError gives, without waiting; a wait
// for input sleeps on a pending one-byte read, whose byte becomes the first
// of the input.
class Win32SerialLine : public SerialLine {
public:
    Win32SerialLine(const std::string& device, const LineSettings& settings, bool dtr, WakeOn wake = WakeOn::Input);
    ~Win32SerialLine() override;
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;

    void applySettings(const LineSettings& settings) override;
    void setDtr(bool active) override;
    std::size_t available() override;
    std::string take() override;
    void send(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void close();
    void pull();
    DWORD queuedCount();
    void settlePendingRead();
    void readQueued(DWORD count);
    DWORD finishOverlapped(OVERLAPPED& overlapped, DWORD waitMs, const char* what);
    [[noreturn]] void fail(const std::string& what, DWORD error);

    std::string device_;
    WakeOn wake_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE readDone_ = nullptr;
    HANDLE writeDone_ = nullptr;
    OVERLAPPED read_{};
    OVERLAPPED write_{};
    bool readPending_ = false;  // the one-byte read of a wait is under way
    char pendingByte_ = 0;      // where that read puts its byte
    bool dtr_ = false;
    int baud_ = 0;
    std::string received_;      // taken from the driver, not yet handed out
};

} // namespace tavrek
