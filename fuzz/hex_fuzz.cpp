// Feeds arbitrary bytes to the HEX check and loading as the content of the
// chosen file. Besides memory errors, it traps on a load that reports success
// without the bootloader jump in place.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/text_file_reader.h"
#include "support/clock.h"
#include "support/failures.h"
#include "support/support.h"
#include "support/window_services.h"

namespace {

using namespace tavrek;

// The fuzz input as the only file there is.
class InputFile : public FileSystem {
public:
    std::vector<std::uint8_t> content;

    std::unique_ptr<TextStream> openTextFile(const std::string&) override
    {
        static char none;
        std::FILE* file = content.empty() ? fmemopen(&none, 1, "rb") : fmemopen(content.data(), content.size(), "rb");
        if (!file)
            throw FileOpenFailure("fmemopen");
        if (content.empty())
            std::fgetc(file);  // a file of zero bytes: nothing left to read
        return makeTextStream(file);
    }
    void enterProgramFolder() override {}
};

class QuietWindow : public WindowServices {
public:
    void putInfo(const std::string&) override {}
    int portChoice() const override { return 0; }
    PortControl& portControl() override { std::abort(); }
    void messageBox(const std::string&) override {}
    void processEvents() override {}
};

class StillClock : public Clock {
public:
    std::uint64_t nowMs() override { return 0; }
    void sleepMs(std::uint64_t) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QuietWindow window;
    static InputFile files;
    static StillClock clock;
    static auto support = std::make_unique<Support>(window, files, clock);

    files.content.assign(data, data + size);
    support->state().hexFileName = "input.hex";
    const std::int16_t checked = support->checkHex("input.hex");
    const std::int16_t loaded = support->loadHex();

    const SupportState& s = support->state();
    const bool knownStatus = checked == kHexSound || checked == kHexEmptyFile || checked == kHexChecksumError ||
                             checked == kHexBadLine || checked == kHexNoEndRecord;
    const bool loadAgrees = checked < 0 ? loaded == checked : (loaded == kHexLoaded || loaded == kHexCannotOpen);
    if (!knownStatus || !loadAgrees)
        __builtin_trap();
    if (loaded == kHexLoaded && (!s.rowDirty[508] || s.progImage[0] != 0x40 || s.progImage[2] != 0x04))
        __builtin_trap();
    return 0;
}
