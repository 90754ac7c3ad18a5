#include "form/frm_main.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "support/programming.h"

namespace tavrek {

namespace {

constexpr const char* kHexFilter = "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*";  // HEX files first

template <class T>
std::unique_ptr<T> required(std::unique_ptr<T> part, const char* what)
{
    if (!part)
        throw std::invalid_argument(std::string("frmMain needs ") + what);
    return part;
}

} // namespace

// Write and Reset do nothing while a Write runs: both commands are disabled
// for the run and enabled again however it ends. A close asked for during
// the run is carried out once it has ended.
class frmMain::WriteRun {
public:
    explicit WriteRun(frmMain& form) : form_(form)
    {
        form_.writeRunning_ = true;
        form_.view_.enableCommands(false);
    }

    ~WriteRun()
    {
        form_.view_.enableCommands(true);
        form_.writeRunning_ = false;
        if (std::exchange(form_.closeAfterWrite_, false))
            form_.view_.closeWindow();
    }

    WriteRun(const WriteRun&) = delete;
    WriteRun& operator=(const WriteRun&) = delete;

private:
    frmMain& form_;
};

frmMain::frmMain(FormParts parts, FormView& view)
    : view_(view),
      files_(required(std::move(parts.files), "a file system")),
      clock_(required(std::move(parts.clock), "a clock")),
      MSComm1(required(std::move(parts.port), "a port control")),
      ports_(std::move(parts.ports)),
      support_(*this, *files_, *clock_),
      comDiag([&view](const OpenDialogSettings& settings) { return view.showOpenDialog(settings); })
{
    Form_Load();
}

frmMain::~frmMain() { closePortQuietly(); }

void frmMain::Form_Load()
{
    support_.state().hexFileName.clear();
    view_.selectPort(0);
    MSComm1->setSettings(kBootloaderLine);
}

void frmMain::cmdOpen_Click()
{
    comDiag.setDialogTitle("Select HEX File");
    comDiag.setFlags(kOpenHideReadOnly);
    comDiag.setFilter(kHexFilter);
    comDiag.showOpen();
    if (comDiag.fileName().empty())
        return;
    support_.state().hexFileName = comDiag.fileName();
    view_.showFileName(support_.state().hexFileName);
}

void frmMain::cmdWrite_Click()
{
    if (writeRunning_)
        return;
    const WriteRun run(*this);
    if (support_.loadHex() < 0)
        return;
    if (support_.programPic() != kTrue)
        return;
    putInfo("Write Successful!");
}

// Pulses DTR on the number the port holds (the last Write's, else COM1),
// processing no window events. A port that cannot be opened, or whose DTR
// cannot be switched, is told in a message box; the port is not left open and
// nothing is logged.
void frmMain::cmdReset_Click()
{
    if (writeRunning_)
        return;
    try {
        pulseResetLine(*MSComm1, *clock_);
    } catch (const std::exception&) {
        closePortQuietly();
        messageBox("Error opening port...");
    }
}

// Closing during a Write waits for the run to end, so that the chip is never
// left half written and the port is closed by the run itself.
bool frmMain::Form_QueryUnload()
{
    if (writeRunning_) {
        closeAfterWrite_ = true;
        return false;
    }
    closePortQuietly();
    return true;
}

PortTooltips frmMain::portTooltips()
{
    PortTooltips tooltips;
    if (!ports_)
        return tooltips;
    const std::vector<SerialPortInfo> present = ports_->availablePorts();
    const auto comPorts = platformComPorts(present, portVariables());
    const std::vector<SerialPortInfo> beyond = portsBeyondTheList(present, comPorts);
    for (int i = 0; i < kComCount; ++i)
        tooltips[i] = describeComPort(comPorts[i], beyond);
    return tooltips;
}

void frmMain::closePortQuietly()
{
    try {
        if (MSComm1->portOpen())
            MSComm1->setPortOpen(false);
    } catch (const std::exception&) {
        // A port whose device has gone may refuse even the close.
    }
}

void frmMain::putInfo(const std::string& message)
{
    log_ += message;
    log_ += "\r\n";
    view_.showLog(log_);
}

int frmMain::portChoice() const
{
    return view_.portChoice();
}

PortControl& frmMain::portControl()
{
    return *MSComm1;
}

void frmMain::messageBox(const std::string& text)
{
    view_.showMessageBox(text);
}

void frmMain::processEvents()
{
    view_.processEvents();
}

} // namespace tavrek
