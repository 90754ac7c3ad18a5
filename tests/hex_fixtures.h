#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fakes/fake_window.h"
#include "platform/text_file_reader.h"
#include "sim/bootloader.h"
#include "sim/fake_clock.h"
#include "sim/sim_port.h"
#include "support/support.h"

namespace tavrek::test {

// A folder of its own for each test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavrek-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string write(const std::string& name, const std::string& content) const
    {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Support wired to real files, a recording window and a simulated port.
struct HexHarness {
    sim::Bootloader chip;
    sim::FakeClock clock;
    sim::SimPort port{chip, clock};
    FakeWindow window{port};
    DiskFileSystem files;
    std::unique_ptr<Support> support = std::make_unique<Support>(window, files, clock);
    TempDir dir;

    SupportState& state() { return support->state(); }
    std::int16_t check(const std::string& content) { return support->checkHex(dir.write("check.hex", content)); }
    std::int16_t load(const std::string& content)
    {
        state().hexFileName = dir.write("load.hex", content);
        return support->loadHex();
    }
};

} // namespace tavrek::test
