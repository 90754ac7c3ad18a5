// Serial line on a local port (Linux, Qt). Qt opens the device (with its lock
// file and exclusive mode), applies the line settings and switches DTR; the
// bytes are moved on the port's handle so that nothing waits in a Qt buffer
// for an event loop that may not run.

#include "linux/qt_serial_line.h"

#include <QSerialPort>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <linux/serial.h>

namespace tavrek {

namespace {

constexpr int kOutputStallMs = 2000;                     // a driver that takes no byte this long has failed
constexpr std::size_t kReadChunk = 4096;                 // bytes taken from the driver per read call
constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;  // the device hung up or went away

QSerialPort::Parity qtParity(char parity)
{
    switch (parity) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits qtStopBits(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two: return QSerialPort::TwoStop;
    case LineSettings::StopBits::One: break;
    }
    return QSerialPort::OneStop;
}

std::string errorText(int error) { return std::strerror(error); }

constexpr const char* kBusy = "device or resource busy (another program has it open)";

// Why an open failed, in the words an operator acts on. Qt reports a busy
// device and a forbidden one alike, as a permission error; whether this user
// may use the device at all tells the two apart.
std::string whyOpenFailed(const std::string& device, QSerialPort::SerialPortError error, std::string qtText)
{
    if (error == QSerialPort::DeviceNotFoundError)
        return "no such device";
    if (error == QSerialPort::PermissionError) {
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return "permission denied (add yourself to the dialout group)";
        return kBusy;
    }
    if (!qtText.empty())
        qtText[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(qtText[0])));
    return qtText;
}

} // namespace

// USB-serial adapters otherwise hold received bytes up to 16 ms before passing
// them on, which would dominate the time of every one-byte acknowledgement.
// The driver resets the flag when the port is closed: nothing to restore.
bool requestLowLatency(const SerialInfoCall& call)
{
    serial_struct info{};
    if (call(TIOCGSERIAL, info) != 0)
        return false;  // no such settings: a pseudo-terminal, a USB modem
    if ((info.flags & ASYNC_LOW_LATENCY) != 0)
        return true;
    info.flags |= ASYNC_LOW_LATENCY;
    return call(TIOCSSERIAL, info) == 0;  // drivers without the mode refuse it; that is fine
}

QtSerialLine::QtSerialLine(const std::string& device, const LineSettings& settings, bool dtr)
    : port_(std::make_unique<QSerialPort>()), device_(device)
{
    port_->setPortName(QString::fromLocal8Bit(device_.c_str()));
    if (!port_->open(QIODevice::ReadWrite))
        throw PortFailure(device_ + ": " + whyOpenFailed(device_, port_->error(), port_->errorString().toStdString()));
    try {
        lockExclusively();
        applySettings(settings);
        requestLowLatency([handle = port_->handle()](unsigned long request, serial_struct& info) {
            return ::ioctl(handle, request, &info);
        });
        // Bytes that reached the driver before this open are never replies.
        if (!port_->clear(QSerialPort::AllDirections))
            throw PortFailure(device_ + ": " + port_->errorString().toStdString());
        // Linux raises DTR with every open; it must stay low unless enabled.
        setDtr(dtr);
    } catch (...) {
        close();
        throw;
    }
}

QtSerialLine::~QtSerialLine() { close(); }

void QtSerialLine::close()
{
    if (!port_->isOpen())
        return;
    port_->setDataTerminalReady(false);  // best effort: a device that has gone refuses it
    port_->close();
}

// Qt's lock file keeps out programs that honour lock files, and exclusive
// mode keeps out other users; neither stops a program run by root, which an
// advisory lock on the open device does, for every program that asks for one.
void QtSerialLine::lockExclusively()
{
    if (::flock(port_->handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw PortFailure(device_ + ": " + kBusy);
}

void QtSerialLine::applySettings(const LineSettings& settings)
{
    const bool applied = port_->setBaudRate(settings.baud) &&
                         port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
                         port_->setParity(qtParity(settings.parity)) &&
                         port_->setStopBits(qtStopBits(settings.stopBits)) &&
                         port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied)
        throw PortFailure(device_ + ": cannot apply the line settings: " + port_->errorString().toStdString());
}

void QtSerialLine::setDtr(bool active)
{
    if (port_->setDataTerminalReady(active))
        return;
    // A pseudo-terminal or an adapter without modem-control lines has no DTR.
    if (port_->error() == QSerialPort::UnsupportedOperationError) {
        port_->clearError();
        return;
    }
    const std::string why = port_->errorString().toStdString();
    pollfd state{port_->handle(), 0, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & kGoneEvents) != 0)
        failVanished("the device has gone");
    throw PortFailure(device_ + ": cannot switch DTR: " + why);
}

std::size_t QtSerialLine::available()
{
    pull();
    return received_.size();
}

std::string QtSerialLine::take()
{
    pull();
    return std::exchange(received_, {});
}

void QtSerialLine::send(const std::string& bytes)
{
    const int handle = port_->handle();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(handle, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            failVanished("write failed: " + errorText(errno));
        // The driver's buffer is full: wait until it takes bytes again.
        pollfd writable{handle, POLLOUT, 0};
        const int ready = ::poll(&writable, 1, kOutputStallMs);
        if (ready == 0)
            throw PortFailure(device_ + ": the driver took no byte for " + std::to_string(kOutputStallMs) + " ms");
        if (ready > 0 && (writable.revents & kGoneEvents) != 0)
            failVanished("the device has gone");
    }
}

void QtSerialLine::waitForInput(int maxMs)
{
    if (!received_.empty() || port_->bytesAvailable() > 0)
        return;
    // A hang-up wakes the poll at once too; the next read of the port reports it.
    pollfd readable{port_->handle(), POLLIN, 0};
    ::poll(&readable, 1, std::max(0, maxMs));
}

// Moves every received byte into `received_`: first what Qt's own reader took
// while the window processed events, then what waits in the driver.
void QtSerialLine::pull()
{
    const int handle = port_->handle();
    if (port_->bytesAvailable() > 0)
        received_ += port_->readAll().toStdString();
    pollfd readable{handle, POLLIN, 0};
    if (::poll(&readable, 1, 0) <= 0)
        return;
    if ((readable.revents & kGoneEvents) != 0)
        failVanished("the device has gone");
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(handle, chunk, sizeof chunk);
        if (n > 0) {
            received_.append(chunk, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof chunk)
                return;
            continue;
        }
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        if (errno != EINTR)
            failVanished("read failed: " + errorText(errno));
    }
}

void QtSerialLine::failVanished(const std::string& what)
{
    close();
    throw LineGone(device_ + ": " + what);
}

} // namespace tavrek
