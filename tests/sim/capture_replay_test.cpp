// A capture served again: unasked bytes on their (scaled) times, each
// request's recorded answers in order, the sessions of a reconnecting run.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/capture_replay.h"

namespace tessline {
namespace {

// A block split over two reads with a request between them; a request that
// got its answer late, after a retry; one never answered; a hang-up; a
// second opening.
const char kCapture[] =
    "solwatch-capture 1 (solwatch " SOLWATCH_VERSION ", 19200 8N1)\n"
    "0.000000 open\n"
    "0.100000 rx \\r\\nV\\t512\\r\\nChe\n"
    "0.150000 tx :154\\n\n"
    "0.160000 rx cksum\\t\\x90\\r\\nPID\n"
    "0.170000 rx :51641F9\\n\n"
    "1.000000 tx :154\\n\n"
    "1.300000 tx :7D5ED8C\\n\n"
    "2.000000 lost read: End of file\n"
    "5.000000 open\n"
    "5.100000 rx \\r\\nV\\t513\n";

Capture capture() {
    std::istringstream in(kCapture);
    return readCapture(in);
}

TEST(CaptureReplay, ServesTheRecordedLineToAHost) {
    CaptureReplay replay(capture(), 2.0, false);
    const std::int64_t t0 = 1000000;
    replay.clientCame(t0);
    EXPECT_EQ(replay.takeSendable(t0 + 49000), "");
    EXPECT_EQ(replay.takeSendable(t0 + 50000), "\r\nV\t512\r\nChecksum\t\x90");  // 0.1 s at speed 2
    replay.receive(":7D5ED8C\n:15", t0 + 60000);                                   // never answered
    replay.receive("4\n", t0 + 70000);
    // The block's rest first; the answer, read after it, 15 ms on.
    EXPECT_EQ(replay.nextWakeup(t0 + 70000), t0 + 80000);
    EXPECT_EQ(replay.takeSendable(t0 + 90000), "\r\nPID:51641F9\n");  // in time order
    // A register that the capture never asked for: unknown to the device, at
    // once; any other request that it never saw goes unanswered.
    replay.receive(":7DBED86\n:451\n", t0 + 95000);
    EXPECT_EQ(replay.takeSendable(t0 + 95000), ":7DBED0185\n");
    replay.receive(":154\n:154\n", t0 + 100000);  // recorded unanswered; then none left
    EXPECT_EQ(replay.takeSendable(t0 + 200000), "");
    replay.advance(t0 + 999999);
    EXPECT_FALSE(replay.hangsUp(t0 + 999999));
    replay.advance(t0 + 1000000);  // 2 s at speed 2: the line fails as it did
    EXPECT_TRUE(replay.hangsUp(t0 + 1000000));
    EXPECT_EQ(replay.lineAwayFor(), 1500000);  // the 3 s it was away, at speed 2
    EXPECT_FALSE(replay.ended());
    replay.clientCame(t0 + 3000000);  // the host opens the fresh line
    EXPECT_EQ(replay.takeSendable(t0 + 3050000), "\r\nV\t513");
    replay.advance(t0 + 3050000);  // the end: answers go on until the host leaves
    replay.clientGone();
    EXPECT_TRUE(replay.ended());
}

// A resent request whose second answer the host read a rest later, behind a
// TEXT block's start: the answer comes halfway between the reads.
TEST(CaptureReplay, AnswerReadAfterARestComesHalfwayIntoIt) {
    std::istringstream in("solwatch-capture 1\n0 open\n1 tx :7D5ED8C\\n\n"
                          "1.01 rx :4AAAAFD\\n:7D5ED00410546\\n\n1.011 tx :7D5ED8C\\n\n"
                          "1.02 rx \\r\\nV\\t1\n1.22 rx 2\\r\\n:7D5ED00410546\\n\n");
    CaptureReplay replay(readCapture(in), 1.0, false);
    replay.clientCame(0);
    replay.receive(":7D5ED8C\n", 1000000);
    EXPECT_EQ(replay.takeSendable(1010000), ":4AAAAFD\n:7D5ED00410546\n");
    replay.receive(":7D5ED8C\n", 1011000);
    EXPECT_EQ(replay.takeSendable(1020000), "\r\nV\t12\r\n");
    EXPECT_EQ(replay.nextWakeup(1020000), 1120000);
    EXPECT_EQ(replay.takeSendable(1120000), ":7D5ED00410546\n");
}

TEST(CaptureReplay, LoopStartsAgainWhileTheHostStays) {
    std::istringstream in("solwatch-capture 1\n0 open\n0.5 rx \\r\\nA\\t1\n1 tx :154\\n\n1.1 rx :51641F9\\n\n");
    CaptureReplay replay(readCapture(in), 1.0, true);
    replay.clientCame(0);
    for (std::int64_t round : {0, 1100000}) {
        EXPECT_EQ(replay.takeSendable(round + 500000), "\r\nA\t1") << round;
        replay.receive(":154\n", round + 1000000);
        EXPECT_EQ(replay.takeSendable(round + 1100000), ":51641F9\n") << round;
        replay.advance(round + 1100000);
    }
    EXPECT_FALSE(replay.ended());
}

}  // namespace
}  // namespace tessline
