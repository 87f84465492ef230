#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hex/hex_frame.h"
#include "link/tam_serial.h"
#include "reader/tam_get_parser.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/scripted_device.h"

namespace tessline {
namespace {

// One event on the link: a TEXT field, or a received HEX frame (its bytes
// as the decoder delivers them, checksum byte included).
struct Event {
    bool isFrame;
    std::string label;
    std::string value;
    std::vector<std::uint8_t> frame;
};

Event field(const std::string& label, const std::string& value) { return {false, label, value, {}}; }
Event frame(std::vector<std::uint8_t> bytes) { return {true, "", "", std::move(bytes)}; }

HexMsg toMsg(const std::vector<std::uint8_t>& bytes) {
    HexMsg msg;
    for (auto b : bytes) msg.appendByte(b);
    return msg;
}

struct ParserCase {
    const char* legend;
    std::vector<Event> events;
    std::vector<TamValue> expected;  // the whole dictionary, in order
};

const std::vector<std::uint8_t> kPingAnswer = {0x05, 0x34, 0x12, 0x0A};

std::vector<std::string> dictionaryAddLines(const test::LogCapture& log) {
    std::vector<std::string> found;
    for (const auto& line : log.lines())
        if (line.find("parser: dictionary add") != std::string::npos) found.push_back(line);
    return found;
}

TEST(GetParser, EntersWantedFieldsAndThePlaceholder) {
    const ParserCase cases[] = {
        {"one block, then the same fields again",
         {field("PID", "0xA042"), field("FW", "150"), field("SER#", "HQ1234"), field("PID", "0xA043"),
          field("FW", "151"), field("SER#", "HQ9999")},
         {{"0xA042", "PID"}, {"150", "FW"}, {"HQ1234", "SER#"}}},
        {"lower-case pid keeps its name, a later PID is ignored",
         {field("pid", "0xA001"), field("PID", "0xA042")},
         {{"0xA001", "pid"}}},
        {"ping answer before any field: placeholder first, PID field ignored",
         {frame(kPingAnswer), field("PID", "0xA042"), field("FW", "150")},
         {{"????", "PID"}, {"150", "FW"}}},
        {"ping answer after a field changes nothing", {field("FW", "150"), frame(kPingAnswer)}, {{"150", "FW"}}},
        {"two-byte frame of another code", {frame({0x07, 0x4E})}, {}},
        {"two-byte ping answer", {frame({0x05, 0x50})}, {{"????", "PID"}}},
        {"three-byte frame of another code", {frame({0x01, 0x02, 0x52})}, {}},
        {"four-byte frame of any code", {frame({0x0A, 0x01, 0x02, 0x48})}, {{"????", "PID"}}},
        {"second trace frame adds nothing", {frame(kPingAnswer), frame({0x0A, 0x01, 0x02, 0x48})}, {{"????", "PID"}}},
        {"empty frame", {frame({})}, {}},
        {"labels that are not wanted",
         {field("V", "512"), field("I", "0"), field("Checksum", "x"), field("PID2", "1"), field("\r\nPID", "1")},
         {}},
        {"all six wanted labels, any case, in arrival order",
         {field("prod", "SolarUnit"), field("SER#", "HQ1"), field("Ver#", "1.2"), field("tam", "x"),
          field("pid", "0xA042"), field("fw", "150")},
         {{"SolarUnit", "prod"}, {"HQ1", "SER#"}, {"1.2", "Ver#"}, {"x", "tam"}, {"0xA042", "pid"}, {"150", "fw"}}},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        ValueDictionary values;
        for (const auto& e : c.events) {
            if (e.isFrame) enterHexTrace(values, toMsg(e.frame));
            else enterTextField(values, e.label, e.value);
        }
        auto entries = values.entries();
        ASSERT_EQ(entries.size(), c.expected.size()) << c.legend;
        std::vector<std::string> expectedLog;
        auto entry = entries.begin();
        for (const auto& want : c.expected) {
            EXPECT_EQ(entry->name, want.name) << c.legend;
            EXPECT_EQ(entry->text, want.text) << c.legend;
            expectedLog.push_back("INF.reader: parser: dictionary add (" + want.name + ")");
            ++entry;
        }
        EXPECT_EQ(dictionaryAddLines(log), expectedLog) << c.legend;
    }
}

// The block bytes of TEXT fields, closed by the checksum field.
std::string textBlock(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string block;
    for (const auto& f : fields) block += "\r\n" + f.first + "\t" + f.second;
    block += "\r\nChecksum\t";
    unsigned sum = 0;
    for (unsigned char c : block) sum += c;
    block += static_cast<char>((256 - sum % 256) % 256);
    return block;
}

TEST(GetParser, FollowsTheLinkSignalsUntilDestroyed) {
    test::LogCapture log;
    testing_support::Pty pty;
    TamSerial link(pty.slavePath());
    ValueDictionary values;
    {
        TamGetParser parser(&link, values);
        link.rxHexMsg(toMsg({0x07, 0x4E}));  // too short: no trace
        link.rxTextField("FW", "150");
        link.rxHexMsg(toMsg(kPingAnswer));  // too late for the placeholder
        link.rxTextField("V", "512");
    }
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);
    EXPECT_EQ(link.rxTextField.num_slots(), 0u);
    link.rxTextField("PID", "0xA042");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.entries().front().name, "FW");

    const std::vector<std::string> expected = {
        "INF.reader: parser: establish hex protocol connection",
        "INF.reader: parser: establish text protocol connection",
        "INF.reader: parser: dictionary add (FW)",
        "INF.reader: parser: disconnect hex protocol connection",
        "INF.reader: parser: disconnect text protocol connection",
    };
    EXPECT_EQ(log.lines(), expected);
}

// Ends a wait that would otherwise hang the suite when bytes go missing.
class WaitGuard {
public:
    explicit WaitGuard(ValueDictionary& values)
        : thread_([this, &values] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(10), [this] { return finished_; })) values.interrupt();
          }) {}
    ~WaitGuard() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

TEST(GetParser, CollectsFromBytesOnTheLine) {
    test::LogCapture log;
    testing_support::ScriptedDevice device([](const std::string&, int) { return std::string(); });
    TamSerial link(device.path());
    ValueDictionary values;
    TamGetParser parser(&link, values);
    link.start();

    HexMsg pingAnswer{0x05, 0x34, 0x12};
    device.send(encodeHexFrame(pingAnswer));
    device.send(textBlock({{"PID", "0xA042"}, {"V", "12800"}, {"FW", "150"}, {"SER#", "HQ1234"}}));
    bool complete;
    {
        WaitGuard guard(values);
        complete = values.waitForSize(3);
    }
    ASSERT_TRUE(complete);
    TamValue out;
    ASSERT_TRUE(findValue(values, "pid", out));
    EXPECT_EQ(out.text, "????");
    ASSERT_TRUE(findValue(values, "ser#", out));
    EXPECT_EQ(out.text, "HQ1234");
    ASSERT_TRUE(findValue(values, "FW", out));
    EXPECT_EQ(out.text, "150");
    EXPECT_EQ(values.entries().front().name, "PID");
    link.close();
    link.join();
}

}  // namespace
}  // namespace tessline
