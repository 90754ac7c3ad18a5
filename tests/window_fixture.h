#pragma once

// The main window on the offscreen platform, wired to the in-process
// simulated chip, real files, and a scripted file dialog and message box.

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "hex_fixtures.h"
#include "hex_records.h"
#include "platform/text_file_reader.h"
#include "sim/bootloader.h"
#include "sim/fake_clock.h"
#include "sim/sim_port.h"
#include "support/failures.h"
#include "ui/frm_main.h"

namespace tavrek::test {

// The simulated port, with a DTR switch that can be made to fail.
class SwitchablePort : public PortControl {
public:
    explicit SwitchablePort(std::unique_ptr<sim::SimPort> port) : port_(std::move(port)) {}

    sim::SimPort& sim() { return *port_; }
    bool failDtrSwitch = false;

    void setCommPort(int number) override { port_->setCommPort(number); }
    int commPort() const override { return port_->commPort(); }
    void setSettings(const std::string& settings) override { port_->setSettings(settings); }
    std::string settings() const override { return port_->settings(); }
    bool portOpen() const override { return port_->portOpen(); }
    void setPortOpen(bool open) override { port_->setPortOpen(open); }
    void setDTREnable(bool enable) override
    {
        if (failDtrSwitch)
            throw PortFailure("modem lines cannot be switched");
        port_->setDTREnable(enable);
    }
    bool dtrEnable() const override { return port_->dtrEnable(); }
    int inBufferCount() override { return port_->inBufferCount(); }
    std::string input() override { return port_->input(); }
    void output(const std::string& bytes) override { port_->output(bytes); }
    void waitForInput(int maxMs) override { port_->waitForInput(maxMs); }

private:
    std::unique_ptr<sim::SimPort> port_;
};

// A small sound program: a reset jump, four instructions at word address
// 0x100 and configuration word 0.
inline const std::vector<std::uint8_t> kResetJump{0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
inline const std::vector<std::uint8_t> kCode{0xF0, 0xFF, 0x2F, 0x00, 0x40, 0x15, 0x88, 0x00,
                                             0x00, 0x00, 0xEB, 0x00, 0x30, 0x16, 0x88, 0x00};
inline const std::vector<std::uint8_t> kConfigWord0{0x00, 0xC1, 0x00, 0x00};
inline constexpr std::size_t kCodeAt = 0x200;  // HEX address of word address 0x100

inline std::string smallProgram()
{
    return segmentRecord(0x0000) + dataRecord(0x0000, kResetJump) + dataRecord(kCodeAt, kCode) +
           segmentRecord(0x01F0) + dataRecord(0x0000, kConfigWord0) + kEndRecord;
}

// What a Write on the small program logs, line by line.
inline std::string successfulWriteLog()
{
    return "Resetting PIC..\r\nSearching for bootloader...\r\nFound dsPIC30F4011/dsPIC30F4012\r\n"
           "Writing flash...\r\nWriting Configuration Bits\r\nWrite Successful!\r\n";
}

// Runs `operate` on the modal widget of type T once it is up and active. A
// widget that `operate` left open is closed, so that a failed test ends.
template <class T>
void whenShown(std::function<void(T&)> operate)
{
    constexpr qint64 kGiveUpMs = 10000;
    auto* poll = new QTimer;
    poll->setInterval(0);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(poll, &QTimer::timeout, [poll, operate, waited] {
        auto* shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!shown && waited.elapsed() > kGiveUpMs)
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " came up";
        if (!shown && waited.elapsed() <= kGiveUpMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (!shown)
            return;
        QApplication::setActiveWindow(shown);
        EXPECT_TRUE(QTest::qWaitForWindowActive(shown));
        operate(*shown);
        if (shown->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            shown->reject();
        }
    });
    poll->start();
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        auto clock = std::make_unique<sim::FakeClock>();
        auto port = std::make_unique<SwitchablePort>(std::make_unique<sim::SimPort>(chip, *clock));
        clock_ = clock.get();
        port_ = port.get();
        WindowParts parts;
        parts.port = std::move(port);
        parts.files = std::make_unique<DiskFileSystem>();
        parts.clock = std::move(clock);
        parts.showOpenDialog = [this](QWidget*, const OpenDialogSettings& settings) {
            dialogsShown.push_back(settings);
            if (dialogAnswers.empty())
                return std::string();  // Cancel
            std::string answer = dialogAnswers.front();
            dialogAnswers.pop_front();
            return answer;
        };
        parts.showMessageBox = [this](QWidget* parent, const std::string& text) {
            EXPECT_EQ(parent, window.get());
            boxes.push_back(text);
        };
        window = std::make_unique<frmMain>(std::move(parts));
    }

    template <class T = QWidget>
    T* control(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            ADD_FAILURE() << "no control " << name;
        return found;
    }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }

    sim::SimPort& sim() { return port_->sim(); }
    const std::string& log() const { return window->logText(); }
    const std::string& hexFileName() { return window->support().state().hexFileName; }

    // The operator picks `path` in the file dialog.
    void choose(const std::string& path)
    {
        dialogAnswers.push_back(path);
        button("cmdOpen")->click();
    }
    void cancelDialog() { button("cmdOpen")->click(); }
    void selectPort(int index) { control<QComboBox>("cboPort")->setCurrentIndex(index); }
    void write() { button("cmdWrite")->click(); }
    void reset() { button("cmdReset")->click(); }
    std::string writeSmallProgram()
    {
        choose(dir.write("small.hex", smallProgram()));
        write();
        return log();
    }

    void showActive()
    {
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Runs `action` at the first pass over window events inside the next
    // Write; `ran` tells afterwards whether it did.
    void duringWrite(std::function<void()> action)
    {
        QMetaObject::invokeMethod(
            window.get(),
            [this, action = std::move(action)] {
                ranDuringWrite = window->writeRunning();
                if (ranDuringWrite)
                    action();
            },
            Qt::QueuedConnection);
    }

    bool chipHoldsSmallProgram() const
    {
        const auto& flash = chip.flash();
        const std::vector<std::uint8_t> code(flash.begin() + kCodeAt, flash.begin() + kCodeAt + kCode.size());
        return code == kCode && chip.configWords()[0] == sim::Bootloader::ConfigWord{0x00, 0xC1, 0x00, 0x00};
    }

    sim::Bootloader chip;  // outlives the window, whose port talks to it
    TempDir dir;
    std::deque<std::string> dialogAnswers;
    std::vector<OpenDialogSettings> dialogsShown;
    std::vector<std::string> boxes;
    bool ranDuringWrite = false;
    std::unique_ptr<frmMain> window;
    sim::FakeClock* clock_ = nullptr;  // owned by the window
    SwitchablePort* port_ = nullptr;   // owned by the window
};

} // namespace tavrek::test
