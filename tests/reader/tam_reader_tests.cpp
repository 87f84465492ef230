#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link/tam_serial.h"
#include "reader/tam_reader.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/scripted_device.h"

namespace tessline {
namespace {

const std::string kThreadStart = "INF.reader: thread start";
const std::string kReaderStart = "INF.reader: reader start";
const std::string kStoppedByInterrupt = "INF.reader: thread stop (int)";

// With an empty register list the reader never touches the link.
TEST(TamReader, SecondStartWhileRunningStartsNothingAndStoppedReaderRestarts) {
    test::LogCapture log;
    std::ostringstream out;
    TamReader reader(nullptr, {}, out);
    reader.start();
    reader.start();
    EXPECT_TRUE(reader.running());
    EXPECT_EQ(log.count(kReaderStart), 1);
    EXPECT_EQ(log.count(kThreadStart), 1);
    reader.stop();
    EXPECT_FALSE(reader.running());
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);

    reader.start();
    EXPECT_TRUE(reader.running());
    reader.stop();
    EXPECT_EQ(log.count(kThreadStart), 2);
    EXPECT_EQ(log.count(kStoppedByInterrupt), 2);
    EXPECT_EQ(out.str(), "");
}

TEST(TamReader, DestructionEndsTheThread) {
    test::LogCapture log;
    std::ostringstream out;
    {
        TamReader reader(nullptr, {}, out);
        reader.start();
    }
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);
}

using testing_support::frameOf;
using testing_support::ScriptedDevice;

const std::string kAskEDD5 = ":7D5ED8C";
const std::string kAskEDD7 = ":7D7ED8A";
const std::string kAsk0100 = ":700014D";

// Answers the requests it knows until it has given `limit` answers.
ScriptedDevice::Script answerFirst(std::map<std::string, std::string> answers, int limit) {
    auto given = std::make_shared<int>(0);  // touched only on the device's thread
    return [answers, limit, given](const std::string& request, int) {
        auto known = answers.find(request);
        if (known == answers.end() || *given >= limit) return std::string();
        ++*given;
        return known->second;
    };
}

ScriptedDevice::Script silent() {
    return [](const std::string&, int) { return std::string(); };
}

// One pass over three registers: the first answers, the second never does
// (three sends, then "<" alone), the third answers. The device falls silent
// after two answers, so the second pass prints nothing before the stop.
TEST(TamReader, PrintsEachAnswerOfAPass) {
    test::LogCapture log;
    ScriptedDevice device(answerFirst({{kAskEDD5, frameOf({0x07, 0xD5, 0xED, 0x00, 0x9C, 0x04})},
                                       {kAskEDD7, frameOf({0x07, 0xD7, 0xED, 0x00, 0x10, 0x00})}},
                                      2));
    TamSerial link(device.path());
    link.start();
    std::ostringstream out;
    TamReader reader(&link, {0x1EDD5, 0x0100, 0xEDD7}, out);
    reader.start();
    // 1 + 3 + 1 requests in the first pass, then the second pass begins.
    ASSERT_TRUE(test::waitUntil([&] { return device.requests().size() >= 6; }));
    reader.stop();

    // Received frame (its own checksum byte kept), the encoder's 00, two line ends.
    EXPECT_EQ(out.str(),
              "<:7D5ED009C04EC00\n\n"
              "<\n"
              "<:7D7ED0010007A00\n\n");
    auto requests = device.requests();
    requests.resize(6);
    const std::vector<std::string> sent = {kAskEDD5, kAsk0100, kAsk0100, kAsk0100, kAskEDD7, kAskEDD5};
    EXPECT_EQ(requests, sent);
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);
}

TEST(TamReader, StopDuringARequestReleasesTheLink) {
    test::LogCapture log;
    ScriptedDevice device(silent());
    TamSerial link(device.path());
    link.start();
    std::ostringstream out;
    TamReader reader(&link, {0x0100}, out);
    reader.start();
    ASSERT_TRUE(test::waitUntil([&] { return !device.requests().empty(); }));
    reader.stop();

    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(log.count(kStoppedByInterrupt), 1);
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);
    ASSERT_TRUE(link.linkMutex.try_lock());
    link.linkMutex.unlock();
}

TEST(TamReader, PortErrorEndsOnlyTheReaderThread) {
    test::LogCapture log;
    testing_support::Pty pty;
    TamSerial link(pty.slavePath());
    link.close();
    std::ostringstream out;
    TamReader reader(&link, {0xEDD5}, out);
    reader.start();
    ASSERT_TRUE(test::waitUntil([&] { return !reader.running(); }));
    reader.stop();

    EXPECT_EQ(out.str(), "");
    int errors = 0;
    for (const auto& line : log.lines()) errors += line.rfind("ERR.reader: thread stop (write: ", 0) == 0;
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(log.count(kStoppedByInterrupt), 0);
}

}  // namespace
}  // namespace tessline
