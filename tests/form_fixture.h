#pragma once

// The window's form, toolkit-free, with a view that records what the form
// shows and plays the operator's part, wired to the in-process simulated
// chip and real files.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "form/frm_main.h"
#include "platform/text_file_reader.h"
#include "sim_fixture.h"
#include "support/failures.h"

namespace tavrek::test {

// The simulated port, with a DTR switch that can be made to fail.
class SwitchablePort : public sim::SimPort {
public:
    using SimPort::SimPort;
    bool failDtrSwitch = false;
    void setDTREnable(bool enable) override
    {
        if (failDtrSwitch)
            throw PortFailure("modem lines cannot be switched");
        SimPort::setDTREnable(enable);
    }
};

// The window's parts on the simulated chip: its port (handed back in `port`),
// a fake clock, files on disk, and the ports present as `ports` lists them.
inline FormParts simFormParts(sim::Bootloader& chip, SwitchablePort*& port,
                              std::shared_ptr<SerialPortLister> ports = nullptr)
{
    auto clock = std::make_unique<sim::FakeClock>();
    auto simPort = std::make_unique<SwitchablePort>(chip, *clock);
    port = simPort.get();
    return {std::move(simPort), std::make_unique<DiskFileSystem>(), std::move(clock), std::move(ports)};
}

// What a successful Write of a program with configuration bits logs.
inline const std::string kSuccessfulWriteLog =
    "Resetting PIC..\r\nSearching for bootloader...\r\nFound dsPIC30F4011/dsPIC30F4012\r\n"
    "Writing flash...\r\nWriting Configuration Bits\r\nWrite Successful!\r\n";

// A view that keeps what the form shows it, answers the file dialog with
// what the test chose, and lets the test act at each pass over events.
struct RecordingView : FormView {
    void showFileName(const std::string& path) override { fileName = path; }
    void showLog(const std::string& text) override { log = text; }
    int portChoice() const override { return choice; }
    void selectPort(int position) override { choice = position; }
    void enableCommands(bool enabled) override { commandsEnabled = enabled; }
    std::string showOpenDialog(const OpenDialogSettings& settings) override
    {
        dialogs.push_back(settings);
        return std::exchange(nextChoice, {});
    }
    void showMessageBox(const std::string& text) override { boxes.push_back(text); }
    void processEvents() override
    {
        if (onProcessEvents)
            std::exchange(onProcessEvents, {})();  // once
    }
    void closeWindow() override { ++closes; }

    std::string fileName;
    std::string log;
    int choice = -1;
    bool commandsEnabled = true;
    std::vector<OpenDialogSettings> dialogs;
    std::string nextChoice;  // what the next file dialog returns; empty is Cancel
    std::vector<std::string> boxes;
    std::function<void()> onProcessEvents;
    int closes = 0;
};

class FormTest : public ::testing::Test {
protected:
    FormTest() { start(); }

    // A new form on a new port, as at program start.
    void start()
    {
        form.reset();
        view = RecordingView();
        form = std::make_unique<frmMain>(simFormParts(chip, port_), view);
    }

    SwitchablePort& sim() { return *port_; }
    void choose(const std::string& path)
    {
        view.nextChoice = path;
        form->cmdOpen_Click();
    }

    sim::Bootloader chip;  // outlives the form, whose port talks to it
    TempDir dir;
    RecordingView view;
    std::unique_ptr<frmMain> form;
    SwitchablePort* port_ = nullptr;  // owned by the form
};

} // namespace tavrek::test
