// The capture format: its lines, what the reader refuses, and the writer.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "capture/capture_writer.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

using namespace tessline;
using Kind = CaptureEvent::Kind;

namespace {

const std::string kHeader = "solwatch-capture 1 (solwatch " SOLWATCH_VERSION ", 19200 8N1)\n";

Capture read(const std::string& text) {
    std::istringstream in(text);
    return readCapture(in);
}

}  // namespace

TEST(CaptureFormat, LinesReadBackAsTheEventsTheyWereWrittenFrom) {
    const std::vector<std::pair<CaptureEvent, std::string>> cases = {
        {{0, Kind::open, ""}, "0.000000 open\n"},
        {{1500000, Kind::rx, std::string("\r\nV\t512\\\x00\xFF:", 11)}, "1.500000 rx \\r\\nV\\t512\\\\\\x00\\xFF:\n"},
        {{1500001, Kind::tx, ":154\n"}, "1.500001 tx :154\\n\n"},
        {{98000000, Kind::lost, "read: End of file"}, "98.000000 lost read: End of file\n"},
    };
    std::string text = kHeader + "# a comment, and an empty line\n\n";
    for (const auto& [event, line] : cases) {
        EXPECT_EQ(captureEventLine(event), line);
        text += line;
    }
    const Capture capture = read(text);
    EXPECT_EQ(capture.header + "\n", kHeader);
    ASSERT_EQ(capture.events.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(capture.events[i].micros, cases[i].first.micros);
        EXPECT_EQ(capture.events[i].kind, cases[i].first.kind);
        EXPECT_EQ(capture.events[i].bytes, cases[i].first.bytes);
    }
}

TEST(CaptureFormat, BadCapturesNameTheirLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1: empty file"},
        {"solwatch " SOLWATCH_VERSION "\n", "line 1: not a solwatch capture"},
        {"solwatch-capture 2 (solwatch 9)\n", "line 1: format version \"2\" is not supported"},
        {kHeader + "0.5 rx abc\n", "line 2: traffic before the first \"open\""},
        {kHeader + "0 open\n1,5 rx a\n", "line 3: \"1,5\" is not a time"},
        {kHeader + "0 open\n2 rx a\n1 rx b\n", "line 4: time goes backwards"},
        {kHeader + "0 open\n1 recv a\n", "line 3: unknown kind \"recv\""},
        {kHeader + "0 open\n1 rx \\q\n", "line 3: broken escape at column 1"},
        {kHeader + "0 open\n1 rx a\tb\n", "line 3: byte 0x09 must be escaped"},
        {kHeader + "0 open\n1 tx\n", "line 3: \"tx\" without bytes"},
        {kHeader + "0 open now\n", "line 2: \"open\" takes nothing after it"},
    };
    for (const auto& c : cases) {
        try {
            read(c.text);
            ADD_FAILURE() << "read: " << c.text;
        } catch (const CaptureError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
        }
    }
}

// What the threads report is on the disk within a second or two, without
// close(); close() writes the rest. Reads close together are one line.
TEST(CaptureWriter, WritesWithinSecondsAndTheRestAtClose) {
    testing_support::ScratchDir dir;
    const std::string path = dir.file("line.cap");
    CaptureWriter writer(path, kHeader);
    writer.received("before the port opened", 22);
    writer.opened();
    std::thread reader([&writer] {
        writer.received("\r\nV\t", 4);
        writer.received("512", 3);
    });
    reader.join();
    writer.sent(":154\n");
    // "Within seconds" is the subject: the bound is part of the check.
    testing_support::waitUntil([&] { return read(testing_support::readFile(path)).events.size() >= 3; },
                               std::chrono::seconds(4));
    Capture capture = read(testing_support::readFile(path));
    ASSERT_EQ(capture.events.size(), 3u);
    EXPECT_EQ(capture.events[1].bytes, "\r\nV\t512");
    writer.lost("read: End of file");
    writer.closingPort();
    writer.lost("read: Bad file descriptor");  // the close itself, not a loss
    writer.opened();
    writer.close();
    writer.received("after close", 11);
    capture = read(testing_support::readFile(path));
    ASSERT_EQ(capture.events.size(), 5u);
    EXPECT_EQ(capture.events[3].bytes, "read: End of file");
    EXPECT_EQ(capture.events[4].kind, Kind::open);
}
