// The HEX check's status codes and the loading of the memory images.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "sim_fixture.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

struct CheckCase {
    const char* what;
    std::string content;
    std::int16_t status;
};

class CheckHexStatus : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckHexStatus, GivesTheStatusOfTheFirstLineThatDecides)
{
    SimHarness h;
    EXPECT_EQ(h.check(GetParam().content), GetParam().status) << GetParam().what;
}

const std::string kData = dataRecord(0, {1, 2, 3, 4});
const std::string kFullRecord = dataRecord(0, std::vector<std::uint8_t>(255, 0xA5));

INSTANTIATE_TEST_SUITE_P(Files, CheckHexStatus, ::testing::Values(
    CheckCase{"zero bytes", "", kHexEmptyFile},
    CheckCase{"only the end record", kEndRecord, kHexSound},
    CheckCase{"end record without a line end", ":00000001FF", kHexSound},
    CheckCase{"CR LF and lone CR end lines", kData.substr(0, kData.size() - 1) + "\r\n" +
                                              kData.substr(0, kData.size() - 1) + "\r:00000001FF", kHexSound},
    CheckCase{"data without an end record", kData + kData, kHexNoEndRecord},
    CheckCase{"a single line break", "\n", kHexNoEndRecord},
    CheckCase{"blank lines only", "\n  \n\t\n", kHexNoEndRecord},
    CheckCase{"end record with a wrong checksum", ":00000001FE\n", kHexChecksumError},
    CheckCase{"garbage after the end record is not read", kEndRecord + "garbage\n:zz\n", kHexSound},
    CheckCase{"an indented bad record is a blank line", " :0400000001\n\t:FF\n" + kEndRecord, kHexSound},
    CheckCase{"a letter", kData + "x" + kEndRecord, kHexBadLine},
    CheckCase{"a hash sign before a valid record", "#" + kEndRecord, kHexBadLine},
    CheckCase{"a semicolon", ";comment\n" + kEndRecord, kHexBadLine},
    CheckCase{"a byte-order mark", "\xEF\xBB\xBF" + kEndRecord, kHexBadLine},
    CheckCase{"a lone colon is an empty data record", ":\n" + kEndRecord, kHexSound},
    CheckCase{"lower-case digits", ":04000000deadbeefc4\n" + kEndRecord, kHexSound},
    CheckCase{"other record types pass on their checksum",
              record(2, 0, {0x10, 0}) + record(4, 0, {0, 1}) + record(5, 0, {0, 0, 1, 2}) + record(0x7E, 0, {}) +
                  kEndRecord,
              kHexSound},
    CheckCase{"the first failing line decides", kData + kData + ":00000001FE\n" + kData + "bad\n", kHexChecksumError},
    CheckCase{"bad checksum with trailing spaces", ":00000001FE   \n", kHexChecksumError},
    CheckCase{"good checksum with trailing spaces", ":00000001FF   \n", kHexSound},
    CheckCase{"missing pairs count 0 and can still sum to 0", ":02000000FE\n" + kEndRecord, kHexSound},
    CheckCase{"missing pairs that do not sum to 0", ":02000000FD\n" + kEndRecord, kHexChecksumError},
    CheckCase{"a pair counts the digits it begins with", ":010000001GFE\n" + kEndRecord, kHexSound},
    CheckCase{"a pair that begins with no digit counts 0", ":01000000G1FF\n" + kEndRecord, kHexSound},
    CheckCase{"255 data bytes", kFullRecord + kEndRecord, kHexSound}));

TEST(CheckHex, FileThatCannotBeOpenedRaisesAFailureNotAStatus)
{
    SimHarness h;
    EXPECT_THROW(h.support->checkHex((h.dir.path() / "missing.hex").string()), FileOpenFailure);
    EXPECT_THROW(h.support->checkHex(""), FileOpenFailure);
    EXPECT_THROW(h.support->checkHex(h.dir.path().string()), FileOpenFailure);
}

TEST(CheckHex, MakesTheProgramFolderCurrentAndResolvesRelativePathsThere)
{
    SimHarness h;
    const auto programFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const auto name = "tavrek-relative-" + std::to_string(getpid()) + ".hex";
    std::ofstream(programFolder / name) << kEndRecord;

    std::filesystem::current_path(h.dir.path());
    EXPECT_EQ(h.support->checkHex(name), kHexSound);
    EXPECT_EQ(std::filesystem::current_path(), programFolder);

    std::filesystem::current_path(h.dir.path());
    EXPECT_EQ(h.check("x\n"), kHexBadLine);
    EXPECT_EQ(std::filesystem::current_path(), programFolder);
    std::filesystem::remove(programFolder / name);
}

// A file system whose streams fail after a number of lines.
class FailingFiles : public FileSystem {
public:
    std::unique_ptr<TextStream> openTextFile(const std::string&) override
    {
        struct Stream : TextStream {
            int lines = 0;
            bool atEndOfStream() override { return false; }
            std::string readLine() override
            {
                if (++lines > 2)
                    throw FileReadFailure("read error");
                return "";
            }
            void close() override {}
        };
        return std::make_unique<Stream>();
    }
    void enterProgramFolder() override {}
};

TEST(CheckHex, ReadFailureAfterOpeningIsMinusSixAndLoadLogsIt)
{
    SimHarness h;
    FailingFiles files;
    Support support(h.window, files, h.clock);
    EXPECT_EQ(support.checkHex("any"), kHexReadFailure);
    support.state().hexFileName = "any";
    EXPECT_EQ(support.loadHex(), kHexReadFailure);
    EXPECT_EQ(h.window.log, std::vector<std::string>{"Could not parse hex file."});
    EXPECT_TRUE(h.window.boxes.empty());
}

// What every successful load does: the reset vector moved, row 508 marked.
void expectResetVectorMoved(SupportState& s, const std::array<std::uint8_t, 8>& application)
{
    const std::array<std::uint8_t, 8> jump = {0x40, 0x7F, 0x04, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(jump.begin(), jump.end(), s.progImage.begin()));
    EXPECT_TRUE(std::equal(application.begin(), application.end(), s.progImage.begin() + 65144));
    EXPECT_TRUE(s.rowDirty[508]);
}

std::vector<std::size_t> markedRows(const SupportState& s)
{
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < s.rowDirty.size(); ++r)
        if (s.rowDirty[r])
            rows.push_back(r);
    return rows;
}

constexpr std::array<std::uint8_t, 8> kNothing = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

TEST(LoadHex, EndRecordOnlyMarksRow508AllErasedButTheMovedVector)
{
    SimHarness h;
    ASSERT_EQ(h.load(kEndRecord), kHexLoaded);
    EXPECT_EQ(markedRows(h.state()), std::vector<std::size_t>{508});
    expectResetVectorMoved(h.state(), kNothing);
    EXPECT_TRUE(std::all_of(h.state().progImage.begin() + 508 * 128, h.state().progImage.begin() + 509 * 128,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::none_of(h.state().cfgDirty.begin(), h.state().cfgDirty.end(), [](bool d) { return d; }));
    EXPECT_TRUE(h.window.log.empty());
    EXPECT_TRUE(h.window.boxes.empty());
}

TEST(LoadHex, ConfigurationOnlyFileGetsTheJumpButLeavesRowZeroUnmarked)
{
    SimHarness h;
    ASSERT_EQ(h.load(segmentRecord(0x01F0) + dataRecord(4, {1, 2, 3, 0}) + dataRecord(24, {9, 8}) + kEndRecord),
              kHexLoaded);
    const SupportState& s = h.state();
    EXPECT_EQ(markedRows(s), std::vector<std::size_t>{508});
    expectResetVectorMoved(h.state(), kNothing);
    EXPECT_EQ((std::vector<bool>(s.cfgDirty.begin(), s.cfgDirty.end())),
              (std::vector<bool>{false, true, false, false, false, false, true, false}));
    EXPECT_EQ((std::vector<int>(s.cfgImage.begin(), s.cfgImage.begin() + 8)),
              (std::vector<int>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 0}));
    EXPECT_EQ(s.cfgImage[24], 9);
    EXPECT_EQ(s.cfgImage[26], 0xFF);
}

TEST(LoadHex, PlacesBytesByExtendedLinearAddressAndMarksEveryRowTouched)
{
    SimHarness h;
    std::vector<std::uint8_t> sixteen(16);
    for (std::size_t i = 0; i < 16; ++i)
        sixteen[i] = static_cast<std::uint8_t>(0x30 + i);
    ASSERT_EQ(h.load(dataRecord(0x0078, sixteen) +                       // crosses rows 0 and 1
                     record(2, 0, {0x10, 0x00}) +                        // segment address: ignored
                     segmentRecord(1) + dataRecord(0, {0xAA, 0xBB}) +    // row 512
                     segmentRecord(0x00FF) + dataRecord(0, {1}) +        // outside both memories: ignored
                     segmentRecord(0x0020) + dataRecord(0, {1}) + kEndRecord),
              kHexLoaded);
    const SupportState& s = h.state();
    EXPECT_TRUE(std::equal(sixteen.begin(), sixteen.end(), s.progImage.begin() + 120));
    EXPECT_EQ(s.progImage[65536], 0xAA);
    EXPECT_EQ(s.progImage[65537], 0xBB);
    EXPECT_EQ(markedRows(s), (std::vector<std::size_t>{0, 1, 508, 512}));
    expectResetVectorMoved(h.state(), kNothing);
}

TEST(LoadHex, MovesTheApplicationResetJumpOverWhatTheFileGaveThere)
{
    SimHarness h;
    ASSERT_EQ(h.load(dataRecord(0, {0x00, 0x12, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}) +
                     dataRecord(65144, {1, 2, 3, 4, 5, 6, 7, 8, 9}) + kEndRecord),
              kHexLoaded);
    expectResetVectorMoved(h.state(), {0x00, 0x12, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(h.state().progImage[65152], 9);
    EXPECT_TRUE(h.state().rowDirty[0]);
}

TEST(LoadHex, LaterLineWinsAndNonRecordLinesAreSkipped)
{
    SimHarness h;
    ASSERT_EQ(h.load(dataRecord(16, {1, 2, 3}) + "\n \t" + " :garbage\n:\n" + dataRecord(17, {9}) + kEndRecord +
                     dataRecord(16, {7})),
              kHexLoaded);
    EXPECT_EQ(h.state().progImage[16], 1);
    EXPECT_EQ(h.state().progImage[17], 9);
    EXPECT_EQ(h.state().progImage[18], 3);
}

TEST(LoadHex, SixteenBitFieldReadsTheDigitsItBeginsWith)
{
    SimHarness h;
    // "01G4": the extended linear address reads 0x01; checksum counts "G4" as 0.
    ASSERT_EQ(h.load(":0200000401G4F9\n" + dataRecord(0, {0x5A}) + kEndRecord), kHexLoaded);
    EXPECT_EQ(h.state().progImage[65536], 0x5A);
    // A type 04 record takes positions 10 to 13 whatever its count says: here
    // its one data byte and its checksum, 0x00FB, a segment that is ignored.
    ASSERT_EQ(h.load(":0100000400FB\n" + dataRecord(16, {0x5B}) + kEndRecord), kHexLoaded);
    EXPECT_EQ(h.state().progImage[16], 0xFF);
}

TEST(LoadHex, LastProgramAndConfigurationEntriesAreStoredOneBeyondEndsTheLoad)
{
    SimHarness h;
    ASSERT_EQ(h.load(segmentRecord(3) + dataRecord(0x0D40, {0x42}) + segmentRecord(0x01F0) + dataRecord(28, {0x43}) +
                     kEndRecord),
              kHexLoaded);
    EXPECT_EQ(h.state().progImage[200000], 0x42);
    EXPECT_TRUE(h.state().rowDirty[1562]);
    EXPECT_EQ(h.state().cfgImage[28], 0x43);
    EXPECT_TRUE(h.state().cfgDirty[7]);

    struct Beyond {
        std::string file;
        std::size_t storedAt;
    };
    for (const Beyond& beyond : {
             Beyond{segmentRecord(3) + dataRecord(0x0D3F, {1, 2, 3}) + kEndRecord, 199999},
             Beyond{segmentRecord(0x01F0) + dataRecord(27, {1, 2, 3}) + kEndRecord, 0},
             Beyond{segmentRecord(4) + dataRecord(0, {1}) + kEndRecord, 0},
         }) {
        SimHarness fresh;
        EXPECT_EQ(fresh.load(dataRecord(0, {0x11}) + beyond.file), kHexCannotOpen);
        EXPECT_EQ(fresh.window.boxes, std::vector<std::string>{"Cannot open file"});
        EXPECT_TRUE(fresh.window.log.empty());
        const SupportState& s = fresh.state();
        EXPECT_EQ(s.progImage[0], 0x11) << "bytes before the failing one stay; the vector is not moved";
        EXPECT_EQ(s.progImage[65144], 0xFF);
        EXPECT_FALSE(s.rowDirty[508]);
        if (beyond.storedAt) {
            EXPECT_EQ(s.progImage[beyond.storedAt], 1);
        }
    }
}

TEST(LoadHex, CannotOpenShowsTheMessageBoxAndLeavesTheImagesAlone)
{
    SimHarness h;
    ASSERT_EQ(h.load(dataRecord(0, {7})), kHexNoEndRecord);
    EXPECT_EQ(h.window.log, std::vector<std::string>{"Could not parse hex file."});
    EXPECT_EQ(h.state().progImage[0], 0) << "a rejected file leaves the images untouched";

    for (const std::string& path : {std::string{}, (h.dir.path() / "missing.hex").string(), h.dir.path().string()}) {
        h.state().hexFileName = path;
        EXPECT_EQ(h.support->loadHex(), kHexCannotOpen) << path;
    }
    EXPECT_EQ(h.window.boxes, std::vector<std::string>(3, "Cannot open file"));
    EXPECT_EQ(h.window.log.size(), 1u);
    EXPECT_EQ(h.state().progImage[0], 0);
}

TEST(LoadHex, ResetsOnlyTheWritableRangesAndStartsAfreshAfterAFailedLoad)
{
    SimHarness h;
    SupportState& s = h.state();
    s.progImage[200000] = 0x77;
    s.rowDirty[1600] = true;
    s.cfgImage[28] = 0x66;
    s.cfgDirty[7] = true;
    ASSERT_EQ(h.load(segmentRecord(1) + dataRecord(128 * 700 - 65536, {1}) + segmentRecord(4) + dataRecord(0, {1}) + kEndRecord), kHexCannotOpen);
    ASSERT_TRUE(s.rowDirty[700]);

    ASSERT_EQ(h.load(dataRecord(0, {0, 1, 2, 3, 4, 5, 6, 7}) + kEndRecord), kHexLoaded);
    EXPECT_EQ(markedRows(s), (std::vector<std::size_t>{0, 508, 1600}));
    EXPECT_EQ(s.progImage[128 * 700], 0xFF);
    expectResetVectorMoved(s, {0, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(s.progImage[200000], 0x77);
    EXPECT_EQ(s.cfgImage[28], 0x66);
    EXPECT_TRUE(s.cfgDirty[7]);
    EXPECT_EQ(s.cfgImage[0], 0xFF);
}

} // namespace
} // namespace tavrek::test
