// Loads HEX files made by an independent producer (srec_cat) from random
// binaries laid out as the dsPIC tool chain lays out program memory, and
// compares the images and their marks with the binaries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "sim_fixture.h"

namespace tavrek::test {
namespace {

constexpr std::size_t kInstructionBytes = 4;  // low, middle, upper, phantom 0

struct Chunk {
    std::size_t address;
    std::vector<std::uint8_t> bytes;
};

// Random instructions: three random bytes and the phantom byte 0.
std::vector<std::uint8_t> randomInstructions(std::mt19937& random, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count * kInstructionBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i % kInstructionBytes == 3 ? 0 : static_cast<std::uint8_t>(random());
    return bytes;
}

// A few chunks of program memory in ascending, non-overlapping order, some of
// them reaching across rows and 64 KiB boundaries, all below 200000.
std::vector<Chunk> randomProgram(std::mt19937& random)
{
    std::vector<Chunk> chunks;
    std::size_t next = 0;
    const int count = 1 + static_cast<int>(random() % 5);
    for (int c = 0; c < count; ++c) {
        const std::size_t gap = (random() % 12000) * kInstructionBytes;
        const std::size_t instructions = 1 + random() % 6000;
        const std::size_t address = next + gap;
        if (address + instructions * kInstructionBytes >= kProgBytes)
            break;
        chunks.push_back({address, randomInstructions(random, instructions)});
        next = address + instructions * kInstructionBytes;
    }
    return chunks;
}

std::vector<Chunk> randomConfiguration(std::mt19937& random)
{
    std::vector<Chunk> words;
    for (std::size_t word = 0; word < kCfgWords; ++word)
        if (random() % 2)
            words.push_back({kConfigHexAddress + word * kInstructionBytes, randomInstructions(random, 1)});
    return words;
}

// srec_cat turns the binaries into Intel HEX (32-bit form) with records of
// `recordBytes` data bytes.
std::string produceHex(const TempDir& dir, const std::vector<Chunk>& chunks, int recordBytes)
{
    std::string command = "srec_cat";
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const std::string name = dir.write("chunk" + std::to_string(i) + ".bin",
                                           std::string(chunks[i].bytes.begin(), chunks[i].bytes.end()));
        command += " '" + name + "' -binary -offset " + std::to_string(chunks[i].address);
    }
    const std::string hex = (dir.path() / "produced.hex").string();
    command += " -o '" + hex + "' -intel -output_block_size=" + std::to_string(recordBytes);
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("srec_cat failed (is srecord installed?): " + command);
    return hex;
}

TEST(ProducedHexFiles, LoadExactlyAsTheBinariesLieInMemory)
{
    const int recordSizes[] = {16, 32, 33, 100, 255};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::vector<Chunk> program = randomProgram(random);
        const std::vector<Chunk> config = randomConfiguration(random);

        std::vector<std::uint8_t> expectedProg(kProgBytes, 0xFF);
        std::vector<bool> expectedRows(kRows, false);
        for (const Chunk& chunk : program)
            for (std::size_t i = 0; i < chunk.bytes.size(); ++i) {
                expectedProg[chunk.address + i] = chunk.bytes[i];
                expectedRows[(chunk.address + i) / kRowBytes] = true;
            }
        std::vector<std::uint8_t> expectedCfg(kCfgBytes, 0xFF);
        std::vector<bool> expectedWords(kCfgWords, false);
        for (const Chunk& word : config) {
            const std::size_t at = word.address - kConfigHexAddress;
            std::copy(word.bytes.begin(), word.bytes.end(), expectedCfg.begin() + static_cast<std::ptrdiff_t>(at));
            expectedWords[at / kCfgWordBytes] = true;
        }
        // The reset vector moves to word address 0x7F3C; the bootloader jump takes its place.
        std::copy_n(expectedProg.begin(), 8, expectedProg.begin() + 65144);
        expectedRows[508] = true;
        const std::uint8_t jump[8] = {0x40, 0x7F, 0x04, 0, 0, 0, 0, 0};
        std::copy_n(jump, 8, expectedProg.begin());

        SimHarness h;
        std::vector<Chunk> all = program;
        all.insert(all.end(), config.begin(), config.end());
        h.state().hexFileName = produceHex(h.dir, all, recordSizes[seed % std::size(recordSizes)]);
        ASSERT_EQ(h.support->loadHex(), kHexLoaded);

        const SupportState& s = h.state();
        EXPECT_TRUE(std::equal(expectedProg.begin(), expectedProg.end(), s.progImage.begin()));
        EXPECT_TRUE(std::equal(expectedRows.begin(), expectedRows.end(), s.rowDirty.begin()));
        EXPECT_TRUE(std::equal(expectedCfg.begin(), expectedCfg.end(), s.cfgImage.begin()));
        EXPECT_TRUE(std::equal(expectedWords.begin(), expectedWords.end(), s.cfgDirty.begin()));
        EXPECT_TRUE(h.window.log.empty());
    }
}

} // namespace
} // namespace tavrek::test
