#pragma once

// The main window on the offscreen platform, wired to the in-process
// simulated chip, real files, and a scripted file dialog and message box.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "form_fixture.h"
#include "serial_fixture.h"
#include "linux/qt_main_window.h"

namespace tavrek::test {

// Runs `operate` on the modal widget of type T once it is up and active, for
// as long as it lives; it fails the test when that never happened by then. A
// widget that `operate` left open is closed, so that a failed test ends.
template <class T>
class WhenShown {
public:
    explicit WhenShown(std::function<void(T&)> operate)
    {
        QObject::connect(&poll_, &QTimer::timeout, [this, operate, giveUp = QDeadlineTimer(10000)] {
            auto* shown = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!shown && !giveUp.hasExpired())
                return;
            poll_.stop();
            if (!shown)
                return;
            ran_ = true;
            QApplication::setActiveWindow(shown);
            EXPECT_TRUE(QTest::qWaitForWindowActive(shown));
            operate(*shown);
            if (shown->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                shown->reject();
            }
        });
        poll_.start(0);
    }
    ~WhenShown() { EXPECT_TRUE(ran_) << "no " << T::staticMetaObject.className() << " came up"; }
    WhenShown(const WhenShown&) = delete;
    WhenShown& operator=(const WhenShown&) = delete;

private:
    QTimer poll_;
    bool ran_ = false;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        const auto showOpenDialog = [this](QWidget*, const OpenDialogSettings& settings) {
            dialogsShown.push_back(settings);
            return std::exchange(nextChoice, {});
        };
        const auto showMessageBox = [this](QWidget* parent, const std::string& text) {
            EXPECT_EQ(parent, window.get());
            boxes.push_back(text);
        };
        window = std::make_unique<QtMainWindow>(
            WindowParts{simFormParts(chip, port_, portsPresent), showOpenDialog, showMessageBox});
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
    SwitchablePort& sim() { return *port_; }
    const std::string& log() const { return window->form().logText(); }

    // The operator picks `path` in the file dialog; the empty one is Cancel.
    void choose(const std::string& path)
    {
        nextChoice = path;
        button("cmdOpen")->click();
    }
    void write() { button("cmdWrite")->click(); }
    void showActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Runs `action` at the first pass over window events inside the next Write.
    void duringWrite(std::function<void()> action)
    {
        QTimer::singleShot(0, window.get(), [this, action] {
            if (window->form().writeRunning())
                action();
        });
    }

    sim::Bootloader chip;  // outlives the window, whose port talks to it
    std::string nextChoice;  // what the next file dialog returns
    std::vector<OpenDialogSettings> dialogsShown;
    std::vector<std::string> boxes;
    std::shared_ptr<ListedPorts> portsPresent = std::make_shared<ListedPorts>();
    std::unique_ptr<QtMainWindow> window;
    SwitchablePort* port_ = nullptr;  // owned by the window
};

} // namespace tavrek::test
