#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "reader/tam_reader.h"
#include "tests/support/fake_link.h"
#include "tests/support/log_capture.h"
#include "tests/support/wait_until.h"

namespace tessline {
namespace {

using testing_support::Bytes;
using testing_support::FakeLink;
using testing_support::LogCapture;
using testing_support::waitUntil;

const std::string kThreadStart = "INF.reader: thread start";
const std::string kReaderStart = "INF.reader: reader start";
const std::string kStoppedByInterrupt = "INF.reader: thread stop (int)";
// A reader without registers that is stopped before its thread's first look
// at the stop flag ends by the flag, a later one by the interruption:
// either is one stop.
int stops(const testing_support::LogCapture& log) {
    return log.count(kStoppedByInterrupt) + log.count("INF.reader: thread stop");
}

// With an empty register list the reader never touches the link.
TEST(TamReader, SecondStartWhileRunningStartsNothingAndStoppedReaderRestarts) {
    LogCapture log;
    std::ostringstream out;
    TamReader reader(nullptr, {}, out);
    reader.start();
    reader.start();
    EXPECT_TRUE(reader.running());
    EXPECT_EQ(log.count(kReaderStart), 1);
    EXPECT_EQ(log.count(kThreadStart), 1);
    reader.stop();
    EXPECT_FALSE(reader.running());
    EXPECT_EQ(stops(log), 1);

    reader.start();
    EXPECT_TRUE(reader.running());
    reader.stop();
    EXPECT_EQ(log.count(kThreadStart), 2);
    EXPECT_EQ(stops(log), 2);
    EXPECT_EQ(out.str(), "");
}

TEST(TamReader, DestructionEndsTheThread) {
    LogCapture log;
    std::ostringstream out;
    {
        TamReader reader(nullptr, {}, out);
        reader.start();
    }
    EXPECT_EQ(stops(log), 1);
}

const std::string kAskEDD5 = ":7D5ED8C";
const std::string kAskEDD7 = ":7D7ED8A";
const std::string kAsk0100 = ":700014D";

// Answers the requests it knows until it has given `limit` answers.
FakeLink::Device answerFirst(std::map<std::string, Bytes> answers, int limit) {
    auto given = std::make_shared<int>(0);  // touched only on the reader's thread
    return [answers, limit, given](const HexMsg& request, int) {
        std::string frame = encodeHexFrame(request);
        frame.pop_back();
        auto known = answers.find(frame);
        if (known == answers.end() || *given >= limit) return std::vector<Bytes>{};
        ++*given;
        return std::vector<Bytes>{known->second};
    };
}

// One pass over three registers: the first answers, the second never does
// (three sends, then "<" alone), the third answers. The device falls silent
// after two answers, so the second pass prints nothing before the stop.
TEST(TamReader, PrintsEachAnswerOfAPass) {
    LogCapture log;
    FakeLink link(answerFirst({{kAskEDD5, {0x07, 0xD5, 0xED, 0x00, 0x9C, 0x04}},
                               {kAskEDD7, {0x07, 0xD7, 0xED, 0x00, 0x10, 0x00}}},
                              2));
    std::ostringstream out;
    TamReader reader(&link, {0x1EDD5, 0x0100, 0xEDD7}, out);
    reader.start();
    // 1 + 3 + 1 requests in the first pass, then the second pass begins.
    ASSERT_TRUE(waitUntil([&] { return link.sent().size() >= 6; }));
    reader.stop();

    // Received frame (its own checksum byte kept), the encoder's 00, two line ends.
    EXPECT_EQ(out.str(),
              "<:7D5ED009C04EC00\n\n"
              "<\n"
              "<:7D7ED0010007A00\n\n");
    auto requests = link.sent();
    requests.resize(6);
    const std::vector<std::string> sent = {kAskEDD5, kAsk0100, kAsk0100, kAsk0100, kAskEDD7, kAskEDD5};
    EXPECT_EQ(requests, sent);
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);
}

TEST(TamReader, StopDuringARequestReleasesTheLink) {
    LogCapture log;
    FakeLink link;  // silent
    std::ostringstream out;
    TamReader reader(&link, {0x0100}, out);
    reader.start();
    ASSERT_TRUE(waitUntil([&] { return !link.sent().empty(); }));
    reader.stop();

    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);
    ASSERT_TRUE(link.linkMutex.try_lock());
    link.linkMutex.unlock();
}

TEST(TamReader, PortErrorEndsOnlyTheReaderThread) {
    LogCapture log;
    FakeLink link(testing_support::brokenPort());
    std::ostringstream out;
    TamReader reader(&link, {0xEDD5}, out);
    reader.start();
    ASSERT_TRUE(waitUntil([&] { return !reader.running(); }));
    reader.stop();

    EXPECT_EQ(out.str(), "");
    int errors = 0;
    for (const auto& line : log.lines()) errors += line.rfind("ERR.reader: thread stop (write: ", 0) == 0;
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(log.count(kStoppedByInterrupt), 0);
}

}  // namespace
}  // namespace tessline
