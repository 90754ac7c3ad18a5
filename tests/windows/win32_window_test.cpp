// The Win32 window as an operator and UI automation see it: tavrek.exe run
// as a process of its own on an X display under Wine, its controls read back
// through the window's own API, and a Write driven from the keyboard against
// the simulated chip that the runner has put behind COM11
// (TAVREK_TEST_SIM_SAVE names the file where the chip saves what it holds).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "form_fixture.h"
#include "windows/win32_text.h"

namespace tavrek::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 30s;  // Wine starts a program in a few seconds
constexpr auto kWriteTimeout = 60s;  // a Write of the sample takes well under a second
constexpr auto kPollInterval = 20ms;

bool waitFor(const std::function<bool()>& done, std::chrono::steady_clock::duration limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

// A control's text as another process reads it: WM_GETTEXT, since
// GetWindowText answers "" for an edit or combo box of another process.
std::string textOf(HWND control)
{
    wchar_t buffer[4096] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(control, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                          2000, &copied);
    return narrow(std::wstring(buffer, copied));
}

std::string classOf(HWND window)
{
    wchar_t name[128] = {};
    return narrow(std::wstring(name, static_cast<std::size_t>(::GetClassNameW(window, name, std::size(name)))));
}

// "left,top widthxheight" of a child in its parent's client area.
std::string placeOf(HWND child, HWND parent)
{
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}


// The first shown top-level window of `process` with the class and caption given.
HWND findWindow(DWORD process, const std::string& windowClass, const std::string& caption)
{
    const std::wstring wideClass = widen(windowClass), wideCaption = widen(caption);
    for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, wideClass.c_str(), wideCaption.c_str()));) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == process && ::IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

INPUT key(WORD code, DWORD flags)
{
    INPUT input{INPUT_KEYBOARD, {}};
    (flags & KEYEVENTF_UNICODE ? input.ki.wScan : input.ki.wVk) = code;
    input.ki.dwFlags = flags;
    return input;
}

// Keys pressed in order, then released in the opposite order (Alt+W). The
// window takes keys in the order they were pressed: a test waits for what a
// key does, not for a time.
void press(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (const WORD code : keys)
        inputs.push_back(key(code, 0));
    for (auto code = std::rbegin(keys); code != std::rend(keys); ++code)
        inputs.push_back(key(*code, KEYEVENTF_KEYUP));
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void type(const std::string& text)
{
    std::vector<INPUT> inputs;
    for (const wchar_t c : widen(text))
        for (const DWORD flags : {KEYEVENTF_UNICODE, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP})
            inputs.push_back(key(c, flags));
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A Linux path as this program opens it: through drive Z:, the root.
std::string throughDriveZ(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

// tavrek.exe beside this program, started with COM1 pointed at `com1`.
class TavrekProcess {
public:
    explicit TavrekProcess(const std::string& com1)
    {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring program(self);
        program = program.substr(0, program.find_last_of(L'\\') + 1) + L"tavrek.exe";
        ::SetEnvironmentVariableW(L"TAVREK_COM1", widen(com1).c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_))
            throw std::runtime_error("cannot start tavrek.exe");
        waitFor([this] { return (window = findWindow(process_.dwProcessId, "TavrekMainWindow", "Tavrek")) != nullptr; },
                kStartTimeout);
        if (window)
            ::SetForegroundWindow(window);
    }
    ~TavrekProcess()
    {
        if (otherProgram_)
            ::DestroyWindow(otherProgram_);
        if (window && ::IsWindow(window))
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
            ::TerminateProcess(process_.hProcess, 1);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    TavrekProcess(const TavrekProcess&) = delete;
    TavrekProcess& operator=(const TavrekProcess&) = delete;

    DWORD id() const { return process_.dwProcessId; }
    HANDLE process() const { return process_.hProcess; }
    HWND focus() const
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }
    // The window that the program's thread has active.
    HWND active() const
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndActive;
    }
    // The children in the order they were made, which is the tab order.
    std::vector<HWND> controls() const
    {
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        return children;
    }

    // Its dialog or message box once it is up and takes keys; null when none came.
    HWND waitForDialog(const std::string& caption) const
    {
        HWND dialog = nullptr;
        waitFor([&] { return (dialog = findWindow(id(), "#32770", caption)) && ::GetForegroundWindow() == dialog; },
                kStartTimeout);
        return dialog;
    }
    bool waitForFocus(HWND control) const
    {
        return waitFor([&] { return focus() == control; }, kStartTimeout);
    }
    // Return on the focused control, which must be "...", then in its dialog
    // `typed` (nothing: Esc, which cancels) and Return.
    void chooseFile(const std::string& typed)
    {
        press({VK_RETURN});
        const HWND dialog = waitForDialog("Select HEX File");
        ASSERT_TRUE(dialog) << "Return did not open the file dialog";
        if (typed.empty()) {
            press({VK_ESCAPE});
        } else {
            type(typed);
            press({VK_RETURN});
        }
        ASSERT_TRUE(waitFor([&] { return !::IsWindow(dialog); }, kStartTimeout));
    }
    // Another program's window comes to the front, then this one again.
    void switchAwayAndBack()
    {
        if (!otherProgram_)
            otherProgram_ = ::CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                              0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(otherProgram_);
        EXPECT_TRUE(waitFor([&] { return ::GetForegroundWindow() == otherProgram_; }, kStartTimeout));
        ::SetForegroundWindow(window);
        EXPECT_TRUE(waitFor([&] { return active() == window; }, kStartTimeout));
    }

    HWND window = nullptr;

private:
    PROCESS_INFORMATION process_{};
    HWND otherProgram_ = nullptr;
};

// On COM29, with nothing behind it, a Write ends in the message box.
TEST(Win32Window, ComesUpWithTheFormsControlsPlacesAndTabOrderAndTellsAPortThatIsNotThereInABox)
{
    TavrekProcess tavrek("COM29");
    ASSERT_TRUE(tavrek.window) << "no window came up";
    RECT client{};
    ::GetClientRect(tavrek.window, &client);
    EXPECT_EQ(std::to_string(client.right) + "x" + std::to_string(client.bottom), "527x141");  // 7905 x 2115 twips
    EXPECT_EQ(::GetWindowLongW(tavrek.window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0) << "a fixed frame";

    const struct {
        const char* name;
        const char* windowClass;
        std::string text;
        const char* pixels;  // at 96 dpi, 15 twips a pixel
        bool tabStop;
    } table[] = {
        {"lblFileName", "Static", "", "0,0 489x25", false},            // 0, 0, 7335, 375
        {"cmdOpen", "Button", "...", "492,0 33x25", true},             // 7380, 0, 495, 375
        {"txtInfo", "Edit", "", "99,29 425x97", true},                 // 1480, 440, 6375, 1455
        {"cboPort", "ComboBox", "COM1", "0,104 97x21", true},          // 0, 1560, 1455, 315
        {"cmdWrite", "Button", "&Write", "0,29 97x36", true},          // 0, 440, 1455, 540
        {"prgBar", "msctls_progress32", "", "0,128 521x13", false},    // 0, 1920, 7815, 195
        {"cmdReset", "Button", "&Reset", "0,67 97x36", true},          // 0, 1000, 1455, 540
    };
    const std::vector<HWND> controls = tavrek.controls();
    ASSERT_EQ(controls.size(), std::size(table));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(classOf(controls[i]), table[i].windowClass) << table[i].name;
        EXPECT_EQ(textOf(controls[i]), table[i].text) << table[i].name;
        EXPECT_EQ(placeOf(controls[i], tavrek.window), table[i].pixels) << table[i].name;
        EXPECT_EQ((::GetWindowLongW(controls[i], GWL_STYLE) & WS_TABSTOP) != 0, table[i].tabStop) << table[i].name;
    }
    const HWND cmdOpen = controls[1], txtInfo = controls[2], cboPort = controls[3], cmdWrite = controls[4],
               cmdReset = controls[6];
    EXPECT_EQ(::GetWindowLongW(txtInfo, GWL_STYLE) & (ES_MULTILINE | WS_VSCROLL | ES_READONLY),
              ES_MULTILINE | WS_VSCROLL);
    EXPECT_EQ(::GetWindowLongW(cboPort, GWL_STYLE) & CBS_DROPDOWNLIST, CBS_DROPDOWNLIST);
    EXPECT_EQ(::SendMessageW(cboPort, CB_GETCOUNT, 0, 0), 5);

    EXPECT_EQ(tavrek.focus(), cmdOpen) << "\"...\" has the focus at start";
    std::vector<HWND> tabbed = {cmdOpen};
    for (int i = 0; i < 5; ++i)
        tabbed.push_back(::GetNextDlgTabItem(tavrek.window, tabbed.back(), FALSE));
    EXPECT_EQ(tabbed, (std::vector<HWND>{cmdOpen, txtInfo, cboPort, cmdWrite, cmdReset, cmdOpen}));

    press({VK_TAB});
    EXPECT_TRUE(tavrek.waitForFocus(txtInfo)) << "Tab walks the tab order";
    press({VK_ESCAPE});
    press({VK_SHIFT, VK_TAB});
    EXPECT_TRUE(tavrek.waitForFocus(cmdOpen));
    EXPECT_TRUE(::IsWindow(tavrek.window)) << "Esc, taken before Shift+Tab, does nothing";

    // The focus stays where the operator left it across the dialog, the
    // message box and a switch to another program.
    tavrek.chooseFile("");
    EXPECT_TRUE(tavrek.waitForFocus(cmdOpen)) << "after the dialog was cancelled";
    tavrek.chooseFile(throughDriveZ(kBlink));
    EXPECT_TRUE(tavrek.waitForFocus(cmdOpen)) << "after a file was chosen";
    press({VK_MENU, 'W'});
    const HWND box = tavrek.waitForDialog("Tavrek");
    ASSERT_TRUE(box);
    std::vector<std::string> texts;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        texts.push_back(classOf(child) + " " + textOf(child));
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Static Error opening port..."), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Button OK"), texts.end());
    press({VK_RETURN});
    EXPECT_TRUE(waitFor([&] { return !::IsWindow(box); }, kStartTimeout));
    EXPECT_EQ(textOf(txtInfo), "") << "nothing logged";
    EXPECT_TRUE(tavrek.waitForFocus(cmdOpen)) << "after the message box";
    tavrek.chooseFile("");  // Return presses "..." again

    press({VK_TAB});
    press({VK_TAB});
    ASSERT_TRUE(tavrek.waitForFocus(cboPort));
    tavrek.switchAwayAndBack();
    EXPECT_TRUE(tavrek.waitForFocus(cboPort)) << "after another program";
}

TEST(Win32Window, WritesTheChosenFileFromTheKeyboardAndTheChipHoldsIt)
{
    const char* saved = std::getenv("TAVREK_TEST_SIM_SAVE");
    if (!saved)
        GTEST_SKIP() << "no simulated chip behind COM11 (run through the runner)";
    TavrekProcess tavrek("COM11");
    ASSERT_TRUE(tavrek.window);
    const HWND lblFileName = tavrek.controls().at(0), txtInfo = tavrek.controls().at(2),
               cmdWrite = tavrek.controls().at(4);
    const std::string file = throughDriveZ(kBlink);
    tavrek.chooseFile(file);
    EXPECT_TRUE(waitFor([&] { return textOf(lblFileName) == file; }, kStartTimeout)) << textOf(lblFileName);
    for (int i = 0; i < 3; ++i)  // the log, the port list, Write
        press({VK_TAB});
    ASSERT_TRUE(tavrek.waitForFocus(cmdWrite));
    press({VK_RETURN});
    EXPECT_TRUE(waitFor([&] { return textOf(txtInfo) == kSuccessfulWriteLog; }, kWriteTimeout)) << textOf(txtInfo);
    EXPECT_TRUE(tavrek.waitForFocus(cmdWrite)) << "Write has it again";

    EXPECT_EQ(readHexBytes(throughDriveZ(saved)), blinkAsWritten());

    ::PostMessageW(tavrek.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(tavrek.process(), 10000), WAIT_OBJECT_0) << "the window closes, the program ends";
}

} // namespace
} // namespace tavrek::test
