#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/tam_get_parser.h"
#include "tests/support/fake_link.h"
#include "tests/support/log_capture.h"

namespace tessline {
namespace {

using testing_support::FakeLink;
using testing_support::hexMsgOf;
using testing_support::LogCapture;

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

struct ParserCase {
    const char* legend;
    std::vector<Event> events;
    std::vector<TamValue> expected;  // the whole dictionary, in order
};

const std::vector<std::uint8_t> kPingAnswer = {0x05, 0x34, 0x12, 0x0A};

std::vector<std::string> dictionaryAddLines(const LogCapture& log) {
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
        {"ping answer before a block: placeholder first, PID field ignored",
         {frame(kPingAnswer), field("PID", "0xA042"), field("V", "12800"), field("FW", "150"),
          field("SER#", "HQ1234"), field("Checksum", "x")},
         {{"????", "PID"}, {"150", "FW"}, {"HQ1234", "SER#"}}},
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
        LogCapture log;
        ValueDictionary values;
        for (const auto& e : c.events) {
            if (e.isFrame) enterHexTrace(values, hexMsgOf(e.frame));
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

TEST(GetParser, FollowsTheLinkSignalsUntilDestroyed) {
    LogCapture log;
    FakeLink link;
    ValueDictionary values;
    {
        TamGetParser parser(&link, &link, values);
        link.rxHexMsg(hexMsgOf({0x07, 0x4E}));  // too short: no trace
        link.rxTextField("FW", "150");
        link.rxHexMsg(hexMsgOf(kPingAnswer));  // too late for the placeholder
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

}  // namespace
}  // namespace tessline
