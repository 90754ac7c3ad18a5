// An FTDI adapter's latency timer, read from a port's device key, and what
// the window's tooltip and tavrek-cli say of it. The keys are made under
// HKEY_CURRENT_USER: under Wine SetupAPI lists no devices to open one of.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com_numbering.h"
#include "windows/win32_port_list.h"

namespace tavrek::test {
namespace {

constexpr const wchar_t* kTestKey = L"Software\\Tavrek tests\\Device Parameters";

struct Value {
    const wchar_t* name;
    DWORD number = 0;
    const wchar_t* text = nullptr;  // a REG_SZ value where set
};

TEST(LatencyTimer, ReadFromThePortsDeviceKeyAndToldWhereItCostsTime)
{
    const struct {
        const char* what;
        std::vector<Value> values;  // of the device key
        int ms;
    } ports[] = {
        {"FTDI, as installed", {{L"PortName", 0, L"COM7"}, {L"LatencyTimer", 16}, {L"MinReadTimeout", 0}}, 16},
        {"FTDI, set to 1 ms", {{L"PortName", 0, L"COM7"}, {L"LatencyTimer", 1}}, 1},
        {"FTDI, value missing", {{L"PortName", 0, L"COM7"}, {L"MinReadTimeout", 0}}, 0},
        {"not an FTDI port", {{L"PortName", 0, L"COM1"}, {L"PollingPeriod", 0}}, 0},
    };
    for (const auto& port : ports) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const Value& value : port.values) {
            const std::wstring text = value.text ? value.text : L"";
            if (value.text)
                ::RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
            else
                ::RegSetValueExW(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                 sizeof value.number);
        }
        EXPECT_EQ(latencyTimerOf(key), port.ms) << port.what;
        ::RegCloseKey(key);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);

        const ComPort listed{2, "COM7", "", true, "USB Serial Port", "", port.ms};
        const std::string tooltip = describeComPort(listed);
        EXPECT_EQ(tooltip.find("COM7: USB Serial Port"), 0u) << tooltip;
        EXPECT_EQ(latencyTimerNote(port.ms).empty(), port.ms <= 2) << port.what;
        EXPECT_NE(tooltip.find(latencyTimerNote(port.ms)), std::string::npos) << tooltip;
    }
    EXPECT_EQ(latencyTimerNote(16),
              "Its latency timer is 16 ms: the adapter holds each reply of the chip up to 16 ms, which makes a whole "
              "chip take up to 8.3 s longer. Set it to 1 ms in Device Manager: the port's Properties > Port Settings "
              "> Advanced > Latency Timer (needs administrator rights)");
}

} // namespace
} // namespace tavrek::test
