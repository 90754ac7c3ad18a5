// The browser: the form's controls as the page's elements.

#include "web/web_page.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>

#include "form/form_layout.h"
#include "web/web_files.h"

namespace tavrek {

namespace {

// clang-format off
EM_JS(void, pagePlace, (const char* id, int left, int top, int width, int height), {
    tavrekPage.place(UTF8ToString(id), left, top, width, height);
});
EM_JS(void, pageCaption, (const char* id, const char* caption), {
    tavrekPage.caption(UTF8ToString(id), UTF8ToString(caption));
});
EM_JS(void, pageShowFileName, (const char* path), { tavrekPage.showFileName(UTF8ToString(path)); });
EM_JS(void, pageShowLog, (const char* log), { tavrekPage.showLog(UTF8ToString(log)); });
EM_JS(int, pagePortChoice, (), { return tavrekPage.portChoice(); });
EM_JS(void, pageSelectPort, (int position), { tavrekPage.selectPort(position); });
EM_JS(void, pageEnableCommands, (int enabled), { tavrekPage.enableCommands(enabled != 0); });
EM_JS(int, pageNextCommand, (), { return tavrekPage.nextCommand(); });
EM_ASYNC_JS(char*, pageChooseFile, (const char* accept, const char* folder), {
    return await tavrekPage.chooseFile(UTF8ToString(accept), UTF8ToString(folder));
});
EM_ASYNC_JS(void, pageShowMessage, (const char* text), { await tavrekPage.showMessage(UTF8ToString(text)); });
// clang-format on

void place(const char* id, const TwipsRect& at)
{
    pagePlace(id, twipsToPixels(at.left), twipsToPixels(at.top), twipsToPixels(at.width), twipsToPixels(at.height));
}

} // namespace

std::string acceptedFileTypes(const std::string& filter)
{
    const std::size_t from = filter.find('|') + 1;  // past the first choice's description; 0 where there is none
    const std::string patterns = from == 0 ? "" : filter.substr(from, filter.find('|', from) - from);
    std::string accepted;
    for (std::size_t start = 0; start <= patterns.size();) {
        const std::size_t end = std::min(patterns.find(';', start), patterns.size());
        const std::string pattern = patterns.substr(start, end - start);
        const std::size_t dot = pattern.rfind('.');
        if (dot == std::string::npos || pattern.substr(dot) == ".*")
            return {};
        accepted += (accepted.empty() ? "" : ",") + pattern.substr(dot);
        start = end + 1;
    }
    return accepted;
}

WebPage::WebPage(FormParts parts)
{
    placeControls();
    form_ = std::make_unique<frmMain>(std::move(parts), *this);
}

WebPage::~WebPage() = default;

void WebPage::placeControls()
{
    place("lblFileName", kLblFileNameAt);
    place("cmdOpen", kCmdOpenAt);
    place("txtInfo", kTxtInfoAt);
    place("cboPort", kCboPortAt);
    place("cmdWrite", kCmdWriteAt);
    place("prgBar", kPrgBarAt);
    place("cmdReset", kCmdResetAt);
    pageCaption("cmdOpen", kCmdOpenCaption);
    pageCaption("cmdWrite", kCmdWriteCaption);
    pageCaption("cmdReset", kCmdResetCaption);
}

void WebPage::run(PageCommand command)
{
    switch (command) {
    case PageCommand::Open: form_->cmdOpen_Click(); break;
    case PageCommand::Write: form_->cmdWrite_Click(); break;
    case PageCommand::Reset: form_->cmdReset_Click(); break;
    case PageCommand::None: break;
    }
}

void WebPage::showFileName(const std::string& path) { pageShowFileName(path.c_str()); }

void WebPage::showLog(const std::string& log) { pageShowLog(log.c_str()); }

int WebPage::portChoice() const { return pagePortChoice(); }

void WebPage::selectPort(int position) { pageSelectPort(position); }

void WebPage::enableCommands(bool enabled) { pageEnableCommands(enabled); }

// The browser's own chooser: it shows no title of ours and gives no path,
// only the file; the page keeps a copy of it under its name.
std::string WebPage::showOpenDialog(const OpenDialogSettings& settings)
{
    char* chosen = pageChooseFile(acceptedFileTypes(settings.filter).c_str(), kChosenFilesFolder);
    std::string name(chosen);
    std::free(chosen);
    return name;
}

void WebPage::showMessageBox(const std::string& text) { pageShowMessage(text.c_str()); }

// The clicks the page queued while the form was busy, in order.
void WebPage::processEvents()
{
    while (const int command = pageNextCommand())
        run(static_cast<PageCommand>(command));
}

// A page cannot close its own tab; the browser asks before it leaves a page
// during a Write.
void WebPage::closeWindow() {}

} // namespace tavrek
