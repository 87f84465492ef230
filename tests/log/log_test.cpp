#include "log/log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tessline;

namespace {

struct LogCapture : ::testing::Test {
    void SetUp() override {
        resetLog();
        logLevel = 1;
        ::testing::internal::CaptureStderr();
    }
    std::string captured() { return ::testing::internal::GetCapturedStderr(); }
    void TearDown() override {
        logLevel = 1;
        setBacklogCapacity(0);
        resetLog();
    }
};

// Strips the "sss.mmm " stamp, which depends on the time.
std::vector<std::string> linesWithoutStamp(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        lines.push_back(line.size() > 8 ? line.substr(8) : line);
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

TEST_F(LogCapture, LevelGatesSeverities) {
    struct Case {
        int level;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {}},
        {1, {"ERR.serial: e 1"}},
        {2, {"ERR.serial: e 1", "WRN.serial: w 2"}},
        {3, {"ERR.serial: e 1", "WRN.serial: w 2", "INF.serial: i 3"}},
    };
    std::string all;
    for (const auto& c : cases) {
        ::testing::internal::GetCapturedStderr();
        ::testing::internal::CaptureStderr();
        logLevel = static_cast<std::uint8_t>(c.level);
        logError("serial", "e %d", 1);
        logWarning("serial", "w %d", 2);
        logInfo("serial", "i %d", 3);
        EXPECT_EQ(linesWithoutStamp(captured()), c.expected) << "level " << c.level;
        ::testing::internal::CaptureStderr();
    }
    captured();
}

TEST_F(LogCapture, LineHasStampTagCategoryAndMessage) {
    logLevel = 3;
    logInfo("serial", "thread start");
    std::string line = captured();
    ASSERT_EQ(line.size(), std::string("000.000 INF.serial: thread start\n").size());
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[0])));
    EXPECT_EQ(line[3], '.');
    EXPECT_EQ(line.substr(7), " INF.serial: thread start\n");
}

TEST_F(LogCapture, LongMessageIsWrittenWhole) {
    std::string message(5000, 'x');
    logError("dumper", "%s", message.c_str());
    std::string line = captured();
    EXPECT_EQ(line.substr(8), "ERR.dumper: " + message + "\n");
}

TEST(LogStamp, WrapsEvery1000Seconds) {
    struct Case {
        std::int64_t micros;
        const char* stamp;
    } cases[] = {
        {0, "000.000"},
        {2500000, "002.500"},
        {1234500000, "234.500"},
        {999999999, "999.999"},
        {1000000000, "000.000"},
        {12345, "000.012"},
    };
    for (const auto& c : cases) EXPECT_EQ(logStamp(c.micros), c.stamp) << c.micros;
}

TEST_F(LogCapture, BacklogKeepsLinesUntilAnErrorDumpsThemOldestFirst) {
    setBacklogCapacity(3);
    directLines = 0;
    linesAfterError = -1;
    logLevel = 3;
    ::testing::internal::CaptureStdout();
    for (int i = 1; i <= 4; ++i) logInfo("reader", "line %d", i);
    EXPECT_EQ(captured(), "");  // kept, not written
    ::testing::internal::CaptureStderr();
    logError("reader", "boom");
    std::string dumped = ::testing::internal::GetCapturedStdout();
    std::string err = captured();
    EXPECT_EQ(dumped.rfind("\n-------- dumping backlog -------\n", 0), 0u);
    auto lines = linesWithoutStamp(dumped.substr(34));
    EXPECT_EQ(lines, (std::vector<std::string>{"INF.reader: line 2", "INF.reader: line 3", "INF.reader: line 4"}));
    EXPECT_EQ(linesWithoutStamp(err), std::vector<std::string>{"ERR.reader: boom"});
    EXPECT_EQ(directLines, -1);
}

TEST_F(LogCapture, WithoutBacklogNothingIsDumped) {
    ::testing::internal::CaptureStdout();
    dumpBacklog();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    captured();
}

TEST_F(LogCapture, LinesFromThreadsNeverMix) {
    logLevel = 3;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) logInfo("reader", "thread %d line %03d ........................", t, i);
        });
    for (auto& t : threads) t.join();
    auto lines = linesWithoutStamp(captured());
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), std::string("INF.reader: thread 0 line 000 ........................").size()) << line;
        ASSERT_EQ(line.rfind("INF.reader: thread ", 0), 0u) << line;
    }
}
