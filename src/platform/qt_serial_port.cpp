// The serial port on QSerialPort. Qt opens the device (with its lock file and
// exclusive mode), applies the line settings and switches DTR; the bytes are
// moved on the port's handle so that nothing waits in a Qt buffer for an event
// loop that may not run.

#include "platform/qt_serial_port.h"

#include <QSerialPort>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include "support/failures.h"

namespace tavrek {

namespace {

constexpr int kMaxBaud = 4000000;                        // fastest rate PC serial drivers offer
constexpr int kMinDataBits = 5;
constexpr int kMaxDataBits = 8;
constexpr int kOutputStallMs = 2000;                     // a driver that takes no byte this long has failed
constexpr std::size_t kReadChunk = 4096;                 // bytes taken from the driver per read call
constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;  // the device hung up or went away

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back().push_back(c);
    }
    return fields;
}

// A whole decimal number, digits only; -1 when the text is anything else.
int wholeNumber(const std::string& text)
{
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || text.front() == '-' || text.front() == '+')
        return -1;
    return value;
}

[[noreturn]] void refuseSettings(const std::string& text)
{
    throw PortFailure("malformed line settings \"" + text + "\" (expected e.g. \"115200,n,8,1\")");
}

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

// USB-serial adapters otherwise hold received bytes up to 16 ms before passing
// them on, which would dominate the time of every one-byte acknowledgement.
void requestLowLatency([[maybe_unused]] int handle)
{
#ifdef __linux__
    serial_struct info{};
    if (::ioctl(handle, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0)
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(handle, TIOCSSERIAL, &info);  // drivers without the mode refuse it; that is fine
#endif
}

} // namespace

LineSettings parseLineSettings(const std::string& text)
{
    const std::vector<std::string> fields = splitFields(text);
    if (fields.size() != 4)
        refuseSettings(text);
    LineSettings settings;
    settings.baud = wholeNumber(fields[0]);
    if (settings.baud < 1 || settings.baud > kMaxBaud)
        refuseSettings(text);
    if (fields[1].size() != 1 || std::string("neoms").find(static_cast<char>(std::tolower(fields[1][0]))) == std::string::npos)
        refuseSettings(text);
    settings.parity = static_cast<char>(std::tolower(fields[1][0]));
    settings.dataBits = wholeNumber(fields[2]);
    if (settings.dataBits < kMinDataBits || settings.dataBits > kMaxDataBits)
        refuseSettings(text);
    if (fields[3] == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        refuseSettings(text);
    return settings;
}

DeviceResolver comNumberResolver(std::shared_ptr<SerialPortLister> lister)
{
    return [lister](int number) { return currentComPorts(*lister).at(number - kFirstPort).device; };
}

QtSerialPort::QtSerialPort(DeviceResolver deviceFor)
    : deviceFor_(std::move(deviceFor)), settingsText_(kBootloaderLine), settings_(parseLineSettings(kBootloaderLine)),
      port_(std::make_unique<QSerialPort>())
{
}

QtSerialPort::~QtSerialPort() { closePort(); }

void QtSerialPort::setCommPort(int number)
{
    if (number < kFirstPort || number > kLastPort)
        throw PortFailure("port number " + std::to_string(number) + " refused (COM1 to COM5 only)");
    commPort_ = number;
}

void QtSerialPort::setSettings(const std::string& settings)
{
    settings_ = parseLineSettings(settings);
    settingsText_ = settings;
    if (portOpen())
        applySettings();
}

bool QtSerialPort::portOpen() const { return port_->isOpen(); }

void QtSerialPort::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void QtSerialPort::setDTREnable(bool enable)
{
    dtrEnable_ = enable;
    if (portOpen())
        driveDtr(enable);
}

int QtSerialPort::inBufferCount()
{
    pull();
    return static_cast<int>(std::min<std::size_t>(received_.size(), INT_MAX));
}

std::string QtSerialPort::input()
{
    pull();
    return std::exchange(received_, {});
}

void QtSerialPort::output(const std::string& bytes)
{
    const int handle = requireHandle();
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

void QtSerialPort::waitForInput(int maxMs)
{
    const int handle = requireHandle();
    if (!received_.empty() || port_->bytesAvailable() > 0)
        return;
    // A hang-up wakes the poll at once too; the next read of the port reports it.
    pollfd readable{handle, POLLIN, 0};
    ::poll(&readable, 1, std::max(0, maxMs));
}

void QtSerialPort::openPort()
{
    if (portOpen())
        throw PortFailure("COM" + std::to_string(commPort_) + " is already open");
    device_ = deviceFor_(commPort_);
    if (device_.empty())
        throw PortFailure("COM" + std::to_string(commPort_) + ": no serial port (plug in an adapter, or name its device in " +
                          "TAVREK_COM" + std::to_string(commPort_) + ")");
    received_.clear();
    port_->clearError();
    port_->setPortName(QString::fromLocal8Bit(device_.c_str()));
    if (!port_->open(QIODevice::ReadWrite))
        throw PortFailure(device_ + ": " + whyOpenFailed(device_, port_->error(), port_->errorString().toStdString()));
    try {
        lockExclusively();
        applySettings();
        requestLowLatency(port_->handle());
        // Bytes that reached the driver before this open are never replies.
        if (!port_->clear(QSerialPort::AllDirections))
            throw PortFailure(device_ + ": " + port_->errorString().toStdString());
        // Linux raises DTR with every open; it must stay low unless enabled.
        driveDtr(dtrEnable_);
    } catch (...) {
        closePort();
        throw;
    }
}

void QtSerialPort::closePort()
{
    if (!port_->isOpen())
        return;
    port_->setDataTerminalReady(false);  // best effort: a device that has gone refuses it
    port_->close();
    port_->clearError();
    received_.clear();
}

// Qt's lock file keeps out programs that honour lock files, and exclusive
// mode keeps out other users; neither stops a program run by root, which an
// advisory lock on the open device does, for every program that asks for one.
void QtSerialPort::lockExclusively()
{
    if (::flock(port_->handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw PortFailure(device_ + ": " + kBusy);
}

void QtSerialPort::applySettings()
{
    const bool applied = port_->setBaudRate(settings_.baud) &&
                         port_->setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
                         port_->setParity(qtParity(settings_.parity)) &&
                         port_->setStopBits(qtStopBits(settings_.stopBits)) &&
                         port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied)
        throw PortFailure(device_ + ": cannot apply \"" + settingsText_ + "\": " + port_->errorString().toStdString());
}

void QtSerialPort::driveDtr(bool active)
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

int QtSerialPort::requireHandle()
{
    if (!portOpen())
        throw PortFailure("COM" + std::to_string(commPort_) + " is not open");
    return port_->handle();
}

// Moves every received byte into `received_`: first what Qt's own reader took
// while the window processed events, then what waits in the driver.
void QtSerialPort::pull()
{
    const int handle = requireHandle();
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

// A device that has gone stays gone: the port is closed, so that it can be
// opened again once the device is back, and the failure passes on.
void QtSerialPort::failVanished(const std::string& what)
{
    const std::string where = device_;
    closePort();
    throw PortFailure(where + ": " + what);
}

} // namespace tavrek
