// Serial line on a local port (Windows, Win32 communications API). The port
// is opened overlapped: a wait for input sleeps on a pending one-byte read,
// which a byte's arrival ends at once, while the count of received bytes
// comes from ClearCommError and what has arrived is read without waiting.

#include "windows/win32_serial_line.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "windows/win32_port_errors.h"
#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr DWORD kOutputStallMs = 2000;  // a write not done this long after the line's own time has failed
constexpr DWORD kSettleMs = 1000;       // a read of bytes already queued, or a cancelled one, ends by then
constexpr DWORD kBitsPerByte = 10;      // start, 8 data and stop bit: one byte's time on the line
constexpr const wchar_t* kDeviceNamespace = L"\\\\.\\";

BYTE parityOf(char parity)
{
    switch (parity) {
    case 'e': return EVENPARITY;
    case 'o': return ODDPARITY;
    case 'm': return MARKPARITY;
    case 's': return SPACEPARITY;
    default: return NOPARITY;
    }
}

BYTE stopBitsOf(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf: return ONE5STOPBITS;
    case LineSettings::StopBits::Two: return TWOSTOPBITS;
    case LineSettings::StopBits::One: break;
    }
    return ONESTOPBIT;
}

void restart(OVERLAPPED& overlapped, HANDLE done)
{
    ::ResetEvent(done);
    overlapped = OVERLAPPED{};
    overlapped.hEvent = done;
}

} // namespace

void fillDcb(DCB& dcb, const LineSettings& settings, bool dtr)
{
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = parityOf(settings.parity);
    dcb.StopBits = stopBitsOf(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != 'n';
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
}

std::wstring portPath(const std::string& device)
{
    const std::wstring name = widen(device);
    return name.starts_with(L"\\\\") ? name : kDeviceNamespace + name;
}

Win32SerialLine::Win32SerialLine(const std::string& device, const LineSettings& settings, bool dtr, WakeOn wake)
    : device_(device), wake_(wake), dtr_(dtr)
{
    port_ = ::CreateFileW(portPath(device_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE)
        throw PortFailure(device_ + ": " + portErrorCause(::GetLastError(), false).words);
    try {
        readDone_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writeDone_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (readDone_ == nullptr || writeDone_ == nullptr)
            fail("cannot open: ", ::GetLastError());
        applySettings(settings);
        // No time-outs: a read waits for the bytes it asks for. Reads ask for
        // what has arrived, but the one byte a wait for input asks for.
        COMMTIMEOUTS none{};
        if (!::SetCommTimeouts(port_, &none))
            fail("cannot set the time-outs: ", ::GetLastError());
        // Bytes that reached the driver before this open are never replies.
        if (!::PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT))
            fail("cannot purge the queues: ", ::GetLastError());
    } catch (...) {
        close();
        throw;
    }
}

Win32SerialLine::~Win32SerialLine() { close(); }

void Win32SerialLine::close()
{
    if (port_ != INVALID_HANDLE_VALUE) {
        if (readPending_)
            ::CancelIoEx(port_, &read_);
        ::EscapeCommFunction(port_, CLRDTR);  // best effort: a device that has gone refuses it
        ::CloseHandle(port_);  // ends a read the cancel did not
        port_ = INVALID_HANDLE_VALUE;
        // The system may write into read_ and pendingByte_ until the read has ended.
        if (readPending_)
            ::WaitForSingleObject(readDone_, kSettleMs);
        readPending_ = false;
    }
    for (HANDLE* event : {&readDone_, &writeDone_})
        if (*event != nullptr)
            ::CloseHandle(std::exchange(*event, nullptr));
}

void Win32SerialLine::applySettings(const LineSettings& settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb))
        fail("cannot apply the line settings: ", ::GetLastError());
    fillDcb(dcb, settings, dtr_);
    if (!::SetCommState(port_, &dcb))
        fail("cannot apply the line settings: ", ::GetLastError());
    baud_ = settings.baud;
}

void Win32SerialLine::setDtr(bool active)
{
    dtr_ = active;
    if (::EscapeCommFunction(port_, active ? SETDTR : CLRDTR))
        return;
    const DWORD error = ::GetLastError();
    // A port without modem-control lines (a pseudo-terminal under Wine, some
    // virtual ports) has no DTR.
    if (error != ERROR_NOT_SUPPORTED)
        fail("cannot switch DTR: ", error);
}

std::size_t Win32SerialLine::available()
{
    pull();
    return received_.size();
}

std::string Win32SerialLine::take()
{
    pull();
    return std::exchange(received_, {});
}

void Win32SerialLine::send(const std::string& bytes)
{
    if (bytes.empty())
        return;
    restart(write_, writeDone_);
    const auto size = static_cast<DWORD>(bytes.size());
    if (!::WriteFile(port_, bytes.data(), size, nullptr, &write_) && ::GetLastError() != ERROR_IO_PENDING)
        fail("write failed: ", ::GetLastError());
    const std::uint64_t lineMs = std::uint64_t{size} * kBitsPerByte * 1000 / static_cast<std::uint64_t>(baud_) + 1;
    const auto limitMs = static_cast<DWORD>(std::min<std::uint64_t>(lineMs + kOutputStallMs, INFINITE - 1));
    const DWORD sent = finishOverlapped(write_, limitMs, "write");
    if (sent != size)
        throw PortFailure(device_ + ": write failed: " + std::to_string(sent) + " of " + std::to_string(size) +
                          " bytes went out");
}

void Win32SerialLine::waitForInput(int maxMs)
{
    if (!received_.empty())
        return;
    // A byte already queued ends the read at once.
    if (!readPending_) {
        restart(read_, readDone_);
        if (!::ReadFile(port_, &pendingByte_, 1, nullptr, &read_) && ::GetLastError() != ERROR_IO_PENDING)
            fail("read failed: ", ::GetLastError());
        readPending_ = true;  // ended now or later: settlePendingRead takes its byte
    }
    const DWORD ms = maxMs > 0 ? static_cast<DWORD>(maxMs) : 0;
    if (wake_ == WakeOn::InputOrWindowMessage)
        ::MsgWaitForMultipleObjects(1, &readDone_, FALSE, ms, QS_ALLINPUT);
    else
        ::WaitForSingleObject(readDone_, ms);
    settlePendingRead();
}

// Moves every received byte into `received_`: first the pending read's,
// then what waits in the driver's queue. While the read is pending nothing
// has come, for the first byte to come ends it.
void Win32SerialLine::pull()
{
    settlePendingRead();
    if (readPending_)
        return;
    if (const DWORD count = queuedCount(); count > 0)
        readQueued(count);
}

DWORD Win32SerialLine::queuedCount()
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_, &errors, &status))
        fail("read failed: ", ::GetLastError());
    return status.cbInQue;
}

// Takes the pending read's byte once the read has ended.
void Win32SerialLine::settlePendingRead()
{
    if (!readPending_ || !HasOverlappedIoCompleted(&read_))
        return;
    readPending_ = false;
    DWORD count = 0;
    if (!::GetOverlappedResult(port_, &read_, &count, FALSE))
        fail("read failed: ", ::GetLastError());
    if (count == 1)
        received_.push_back(pendingByte_);
}

void Win32SerialLine::readQueued(DWORD count)
{
    std::string bytes(count, '\0');
    restart(read_, readDone_);
    if (!::ReadFile(port_, bytes.data(), count, nullptr, &read_) && ::GetLastError() != ERROR_IO_PENDING)
        fail("read failed: ", ::GetLastError());
    received_.append(bytes, 0, finishOverlapped(read_, kSettleMs, "read"));
}

// The bytes an overlapped call moved, once it has ended; a call still under
// way after `waitMs` is cancelled and fails.
DWORD Win32SerialLine::finishOverlapped(OVERLAPPED& overlapped, DWORD waitMs, const char* what)
{
    DWORD moved = 0;
    if (::WaitForSingleObject(overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
        ::CancelIoEx(port_, &overlapped);
        ::GetOverlappedResult(port_, &overlapped, &moved, TRUE);
        throw PortFailure(device_ + ": the " + what + " did not end within " + std::to_string(waitMs) + " ms");
    }
    if (!::GetOverlappedResult(port_, &overlapped, &moved, FALSE))
        fail(std::string(what) + " failed: ", ::GetLastError());
    return moved;
}

void Win32SerialLine::fail(const std::string& what, DWORD error)
{
    const PortErrorCause cause = portErrorCause(error, true);
    if (cause.gone) {
        close();
        throw LineGone(device_ + ": " + cause.words);
    }
    throw PortFailure(device_ + ": " + what + cause.words);
}

} // namespace tavrek
