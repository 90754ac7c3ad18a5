// The browser: Tavrek as a web page. The page lives as long as the tab; its
// script calls in here for each command the user gives.

#include <emscripten.h>

#include <cstdlib>
#include <memory>

#include "platform/port_factory.h"
#include "web/web_clock.h"
#include "web/web_files.h"
#include "web/web_page.h"
#include "web/web_serial_line.h"

namespace {

std::unique_ptr<tavrek::WebPage> page;

tavrek::FormParts webFormParts()
{
    tavrek::FormParts parts;
    parts.port = tavrek::makePortControl(tavrek::grantedPortResolver(), tavrek::openWebSerialLine);
    parts.files = std::make_unique<tavrek::WebFileSystem>();
    parts.clock = std::make_unique<tavrek::WebClock>();
    return parts;  // the port list's tooltips are the page's own, from what the browser tells of each port
}

} // namespace

extern "C" {

// Runs "..." (1), Write (2) or Reset (3) to its end; the page waits for it.
EMSCRIPTEN_KEEPALIVE void tavrek_command(int command)
{
    page->run(static_cast<tavrek::PageCommand>(command));
}

// The user typed into the log box: `text`, which the page allocated, is its
// whole text, every line ended by CR LF.
EMSCRIPTEN_KEEPALIVE void tavrek_log_typed(char* text)
{
    page->form().txtInfo_Change(text);
    std::free(text);
}

} // extern "C"

int main()
{
    page = std::make_unique<tavrek::WebPage>(webFormParts());
    return 0;
}
