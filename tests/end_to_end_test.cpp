// The program's own window, serial port, files and clock against
// build/tavrek-sim over a pseudo-terminal mapped as COM1: the operator
// chooses examples/blink.hex in Qt's own file dialog, presses Alt+W and
// reads "Write Successful!"; the simulated chip then holds the file.

#include <fstream>
#include <map>
#include <sstream>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include "serial_fixtures.h"
#include "ui/real_parts.h"
#include "window_fixture.h"

namespace tavrek::test {
namespace {

constexpr std::uint32_t kMovedResetVector = 0xFE78;  // HEX address of word 0x7F3C
const std::vector<std::uint8_t> kBootloaderJump{0x40, 0x7F, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};  // GOTO 0x7F40

// The bytes of an Intel HEX file (32-bit form) by their address.
std::map<std::uint32_t, std::uint8_t> readHex(const std::string& path)
{
    std::ifstream file(path);
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t upper = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.size() < 11 || line[0] != ':')
            continue;
        const auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16)); };
        const std::size_t count = byteAt(0);
        const std::uint32_t offset = byteAt(1) << 8 | byteAt(2);
        const std::uint8_t type = byteAt(3);
        if (type == 0x04)
            upper = static_cast<std::uint32_t>(byteAt(4) << 8 | byteAt(5)) << 16;
        for (std::size_t i = 0; type == 0x00 && i < count; ++i)
            bytes[upper + offset + static_cast<std::uint32_t>(i)] = byteAt(4 + i);
    }
    return bytes;
}

// What a chip written with `file` holds: the file's bytes, its first two
// instruction words moved below the bootloader and a jump to it in their
// place.
std::map<std::uint32_t, std::uint8_t> expectedChip(const std::map<std::uint32_t, std::uint8_t>& file)
{
    std::map<std::uint32_t, std::uint8_t> chip;
    for (const auto& [address, byte] : file)
        chip[address < kBootloaderJump.size() ? kMovedResetVector + address : address] = byte;
    for (std::uint32_t i = 0; i < kBootloaderJump.size(); ++i)
        chip[i] = kBootloaderJump[i];
    return chip;
}

TEST(EndToEnd, BlinkChosenInTheDialogIsWrittenIntoTheSimulatedChip)
{
    const std::string example = TAVREK_EXAMPLES "/blink.hex";
    TempDir dir;
    const std::string received = (dir.path() / "received.hex").string();
    SimProcess sim({"--save", received});
    PortMapping com1(1, sim.device());

    frmMain window(realWindowParts());
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_EQ(QApplication::focusWidget(), name);
        QTest::keyClicks(name, QString::fromStdString(example));
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::keyClick(window.findChild<QPushButton*>("cmdOpen"), Qt::Key_Space);
    ASSERT_EQ(window.findChild<QLabel*>("lblFileName")->text().toStdString(), example);
    // A window manager gives the window back the keyboard when the dialog
    // closes; the offscreen platform has none.
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.logText().empty() && !window.writeRunning(); }, 20000))
        << window.logText();
    EXPECT_EQ(window.logText(), successfulWriteLog());
    EXPECT_TRUE(window.findChild<QPlainTextEdit*>("txtInfo")->toPlainText().endsWith("Write Successful!\n"));
    EXPECT_FALSE(window.portControl().portOpen());

    ASSERT_EQ(sim.stop(), 0);
    std::map<std::uint32_t, std::uint8_t> chip = readHex(received);
    // Bytes of the written rows that the file does not give stay erased.
    for (const auto& [address, byte] : expectedChip(readHex(example))) {
        EXPECT_EQ(chip[address], byte) << std::hex << address;
        chip.erase(address);
    }
    for (const auto& [address, byte] : chip)
        EXPECT_EQ(byte, 0xFF) << std::hex << address;
}

} // namespace
} // namespace tavrek::test
