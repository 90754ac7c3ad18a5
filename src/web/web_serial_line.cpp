// The browser: a serial port the user granted the page, through Web Serial.

#include "web/web_serial_line.h"

#include <emscripten.h>

#include <cstdlib>

namespace tavrek {

namespace {

// What the page's port calls return.
constexpr int kDone = 0;
constexpr int kGone = 2;  // the device has gone; any other status is a failure

// clang-format off
EM_JS(int, pagePortId, (int position), { return tavrekPage.portId(position); });
EM_ASYNC_JS(int, pageOpenLine, (int portId, int baud, int dataBits, int stopBits, const char* parity, int dtr), {
    return await tavrekPage.openLine(portId, {
        baudRate : baud, dataBits : dataBits, stopBits : stopBits, parity : UTF8ToString(parity), flowControl : 'none'
    }, dtr != 0);
});
EM_ASYNC_JS(void, pageCloseLine, (int line), { await tavrekPage.closeLine(line); });
EM_ASYNC_JS(int, pageSetDtr, (int line, int active), { return await tavrekPage.setDtr(line, active != 0); });
EM_JS(int, pageAvailable, (int line), { return tavrekPage.available(line); });
EM_JS(int, pageTake, (int line, char* into, int size), { return tavrekPage.take(line, into, size); });
EM_JS(int, pageSend, (int line, const char* bytes, int size), { return tavrekPage.send(line, bytes, size); });
EM_JS(int, pageFailed, (int line), { return tavrekPage.failed(line); });
EM_ASYNC_JS(void, pageWaitForInput, (int line, int maxMs), { await tavrekPage.waitForInput(line, maxMs); });
EM_JS(char*, pageLastFailure, (), { return tavrekPage.lastFailure(); });
// clang-format on

// The words of the page's last failure.
std::string lastFailure()
{
    char* text = pageLastFailure();
    std::string taken(text);
    std::free(text);
    return taken;
}

// Web Serial takes 7 or 8 data bits, 1 or 2 stop bits, and no mark or space parity.
const char* webParity(char parity)
{
    switch (parity) {
    case 'n': case 'N': return "none";
    case 'e': case 'E': return "even";
    case 'o': case 'O': return "odd";
    default: throw PortFailure("the browser offers no mark or space parity");
    }
}

int webStopBits(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One: return 1;
    case LineSettings::StopBits::Two: return 2;
    default: throw PortFailure("the browser offers 1 or 2 stop bits only");
    }
}

int webDataBits(int dataBits)
{
    if (dataBits != 7 && dataBits != 8)
        throw PortFailure("the browser offers 7 or 8 data bits only");
    return dataBits;
}

} // namespace

WebSerialLine::WebSerialLine(int portId, const LineSettings& settings, bool dtr)
    : line_(pageOpenLine(portId, settings.baud, webDataBits(settings.dataBits), webStopBits(settings.stopBits),
                         webParity(settings.parity), dtr)),
      settings_(settings)
{
    if (line_ < 0)
        throw PortFailure("the port could not be opened: " + lastFailure());
}

WebSerialLine::~WebSerialLine() { pageCloseLine(line_); }

// Web Serial fixes a port's settings when it opens it.
void WebSerialLine::applySettings(const LineSettings& settings)
{
    const bool same = settings.baud == settings_.baud && settings.dataBits == settings_.dataBits &&
                      settings.parity == settings_.parity && settings.stopBits == settings_.stopBits;
    if (!same)
        throw PortFailure("the browser cannot change the settings of an open port");
}

void WebSerialLine::setDtr(bool active) { check(pageSetDtr(line_, active)); }

std::size_t WebSerialLine::available()
{
    const int count = pageAvailable(line_);
    if (count == 0)
        check(pageFailed(line_));
    return static_cast<std::size_t>(count);
}

std::string WebSerialLine::take()
{
    std::string bytes(available(), '\0');
    bytes.resize(static_cast<std::size_t>(pageTake(line_, bytes.data(), static_cast<int>(bytes.size()))));
    return bytes;
}

void WebSerialLine::send(const std::string& bytes)
{
    check(pageSend(line_, bytes.data(), static_cast<int>(bytes.size())));
}

void WebSerialLine::waitForInput(int maxMs) { pageWaitForInput(line_, maxMs); }

void WebSerialLine::check(int status)
{
    if (status == kGone)
        throw LineGone("the device has gone: " + lastFailure());
    if (status != kDone)
        throw PortFailure(lastFailure());
}

DeviceResolver grantedPortResolver()
{
    return [](int number) {
        const int id = pagePortId(number - kFirstPort);
        return id == 0 ? std::string() : std::to_string(id);
    };
}

std::unique_ptr<SerialLine> openWebSerialLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    return std::make_unique<WebSerialLine>(std::stoi(device), settings, dtr);
}

} // namespace tavrek
