// Byte input and output: the reply time-out on a fake clock, the receive
// buffer, and the window's events processed while waiting.

#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

struct Link : SimHarness {
    Link() { port.setPortOpen(true); }
    std::uint64_t start = clock.nowMs();
    std::uint64_t elapsed() { return clock.nowMs() - start; }
};

TEST(GetChar, NothingArrivingTimesOutAfter800MsLeavingTheReplyUntouched)
{
    Link link;
    std::string reply = "unchanged";
    EXPECT_FALSE(link.support->getChar(reply));
    EXPECT_GE(link.elapsed(), 800u);
    EXPECT_LE(link.elapsed(), 810u);
    EXPECT_EQ(reply, "unchanged");
    EXPECT_TRUE(link.state().rxPending.empty());
    EXPECT_GT(link.window.eventPasses, 100) << "the window keeps processing events during the wait";
}

TEST(GetChar, ByteArrivingMidWaitIsReturnedAsSoonAsItArrives)
{
    Link link;
    link.port.arrive("\x4B", 500);
    std::string reply;
    EXPECT_TRUE(link.support->getChar(reply));
    EXPECT_EQ(reply, "K");
    EXPECT_GE(link.elapsed(), 500u);
    EXPECT_LE(link.elapsed(), 505u);
}

TEST(GetChar, BurstIsHandedOutInOrderAndOnlyTheFirstCallWaits)
{
    Link link;
    link.port.arrive(std::string("\x00\xFF\x41", 3), 20);
    std::string reply;
    ASSERT_TRUE(link.support->getChar(reply));
    EXPECT_EQ(reply, std::string(1, '\x00'));
    const int passes = link.window.eventPasses;
    const std::uint64_t at = link.clock.nowMs();
    ASSERT_TRUE(link.support->getChar(reply));
    EXPECT_EQ(reply, "\xFF");
    ASSERT_TRUE(link.support->getChar(reply));
    EXPECT_EQ(reply, "A");
    EXPECT_EQ(link.window.eventPasses, passes) << "pending bytes are served without processing events";
    EXPECT_EQ(link.clock.nowMs(), at);
    EXPECT_FALSE(link.support->getChar(reply));
}

TEST(GetChar, ByteAlreadyWaitingStillLetsTheWindowProcessEventsOnce)
{
    Link link;
    link.port.arrive("x", 0);
    std::string reply;
    ASSERT_TRUE(link.support->getChar(reply));
    EXPECT_EQ(reply, "x");
    EXPECT_EQ(link.window.eventPasses, 1);
    EXPECT_EQ(link.elapsed(), 0u);
}

TEST(GetChar, PendingBytesComeFirstThenWhatArrivedMeanwhile)
{
    Link link;
    link.state().rxPending = "ab";
    link.port.arrive("c", 0);
    std::string reply;
    for (const char* expected : {"a", "b", "c"}) {
        ASSERT_TRUE(link.support->getChar(reply));
        EXPECT_EQ(reply, expected);
    }
    EXPECT_EQ(link.window.eventPasses, 0);
}

TEST(PutChar, SendsEachByteValueUnchangedOneByteACall)
{
    Link link;
    for (int value : {0x00, 0xFF, 0xC1, 0x0A, 0x0D})
        link.support->putChar(static_cast<std::uint8_t>(value));
    EXPECT_EQ(link.port.sent, std::string("\x00\xFF\xC1\x0A\x0D", 5));
}

TEST(SerialLink, PortFailuresPassToTheCaller)
{
    Link link;
    link.port.setPortOpen(false);
    std::string reply;
    EXPECT_THROW(link.support->getChar(reply), PortFailure);
    EXPECT_THROW(link.support->putChar(1), PortFailure);
}

} // namespace
} // namespace tavrek::test
