// The program's own window, serial port, files and clock against
// build/tavrek-sim over a pseudo-terminal mapped as COM1: the operator
// chooses examples/blink.hex in Qt's own file dialog, presses Alt+W and
// reads "Write Successful!"; the simulated chip then holds the file.

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include "linux/real_parts.h"
#include "linux/window_fixture.h"

namespace tavrek::test {
namespace {

TEST(EndToEnd, BlinkChosenInTheDialogIsWrittenIntoTheSimulatedChip)
{
    TempDir dir;
    const std::string received = (dir.path() / "received.hex").string();
    SimProcess sim({"--save", received});
    PortMapping com1(1, sim.device());

    QtMainWindow window(realWindowParts());
    window.show();
    // A window manager gives the window back the keyboard when the dialog
    // closes; the offscreen platform has none.
    const auto activate = [&window] {
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    };
    ASSERT_TRUE(activate());
    {
        const WhenShown<QFileDialog> dialog([](QFileDialog& dialog) {
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            QTest::keyClicks(name, QString::fromStdString(kBlink));
            QTest::keyClick(name, Qt::Key_Return);
        });
        QTest::keyClick(window.findChild<QPushButton*>("cmdOpen"), Qt::Key_Space);
    }
    ASSERT_EQ(window.findChild<QLabel*>("lblFileName")->text().toStdString(), kBlink);
    ASSERT_TRUE(activate());
    QTest::keyClick(&window, Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.form().logText().empty() && !window.form().writeRunning(); }, 20000))
        << window.form().logText();
    EXPECT_EQ(window.form().logText(), kSuccessfulWriteLog);
    EXPECT_FALSE(window.form().portControl().portOpen());

    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(readHexBytes(received), blinkAsWritten());
}

} // namespace
} // namespace tavrek::test
