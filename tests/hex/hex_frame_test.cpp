#include "hex/hex_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_link.h"

using namespace tessline;

namespace {

HexMsg message(const std::vector<std::uint8_t>& bytes) { return testing_support::hexMsgOf(bytes); }

// Feeds text; returns the bytes of every frame that completed.
std::vector<std::vector<std::uint8_t>> decodeAll(HexFrameDecoder& decoder, const std::string& text) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (char c : text)
        if (decoder.feed(c)) frames.push_back(decoder.message().bytes());
    return frames;
}

// The bytes of a valid frame with `count` bytes after the code, checksum included.
std::vector<std::uint8_t> longFrameBytes(unsigned count) {
    std::vector<std::uint8_t> bytes{0x7};
    for (unsigned i = 0; i + 1 < count; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
    return testing_support::withHexChecksum(bytes);
}

std::string longFrame(unsigned count) {
    auto bytes = longFrameBytes(count);
    bytes.pop_back();
    return encodeHexFrame(message(bytes));
}

}  // namespace

TEST(EncodeHexFrame, WorkedFrames) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* text;
    } cases[] = {
        {{0x01}, ":154\n"},
        {{0x04}, ":451\n"},
        {{0x07, 0x91, 0xED}, ":791EDD0\n"},
        {{0x08, 0x91, 0xED, 0x00, 0x01, 0x00}, ":891ED000100CE\n"},
        {{0x07, 0xD5, 0xED}, ":7D5ED8C\n"},
        {{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(encodeHexFrame(message(c.bytes)), c.text);
}

TEST(HexFrameDecoder, AcceptsAndRejectsFrames) {
    using Frames = std::vector<std::vector<std::uint8_t>>;
    struct Case {
        const char* legend;
        std::string input;
        Frames expected;
    } cases[] = {
        {"ping answer", ":154\n", {{0x01, 0x54}}},
        {"carriage return inside the frame is skipped", ":154\r\n", {{0x01, 0x54}}},
        {"bad checksum", ":155\n", {}},
        {"colon then line feed sums to 0", ":\n", {}},
        {"lower-case digits are skipped: rest adds up", ":791edEDD0\n", {{0x07, 0x91, 0xED, 0xD0}}},
        {"lower-case digits make it fail otherwise", ":791EdD0\n", {}},
        {"second colon restarts", ":7912:154\n", {{0x01, 0x54}}},
        {"line feed outside a frame", "\n\n:154\n", {{0x01, 0x54}}},
        {"text between frames is ignored", "V\t12800\r\n:154\nI\t0\r\n:451\n", {{0x01, 0x54}, {0x04, 0x51}}},
        {"frame without line feed stays open", ":154", {}},
        {"pending high nibble dropped at line feed", ":1545\n", {{0x01, 0x54}}},
        {"exactly 100 bytes after the code", longFrame(100), {longFrameBytes(100)}},
        {"101 bytes after the code", longFrame(101), {}},
    };
    for (const auto& c : cases) {
        HexFrameDecoder decoder;
        EXPECT_EQ(decodeAll(decoder, c.input), c.expected) << c.legend;
    }
}

TEST(HexFrameDecoder, MessageStaysUntilNextColonOrLineFeed) {
    HexFrameDecoder decoder;
    decodeAll(decoder, ":154\n");
    decodeAll(decoder, "garbage");
    EXPECT_EQ(decoder.message().size(), 2u);
    decodeAll(decoder, "\r");
    EXPECT_EQ(decoder.message().size(), 2u);
    decodeAll(decoder, "\n");
    EXPECT_TRUE(decoder.message().empty());
}

TEST(HexFrameDecoder, TooLongFrameIsDroppedAndNextOneDecodes) {
    HexFrameDecoder decoder;
    auto frames = decodeAll(decoder, longFrame(101) + ":154\n");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (std::vector<std::uint8_t>{0x01, 0x54}));
}

TEST(HexMsg, ReadsLittleEndianAndFailsStickily) {
    HexMsg msg = message({0x07, 0xD5, 0xED, 0x00, 0x41});
    EXPECT_EQ(msg.readU8(), 0x07);
    EXPECT_EQ(msg.readU16(), 0xEDD5);
    EXPECT_EQ(msg.readU8(), 0x00);
    EXPECT_FALSE(msg.failed());
    msg.readU16();  // one byte left
    EXPECT_TRUE(msg.failed());
    msg.rewind();  // no effect while failed
    EXPECT_EQ(msg.readPosition(), msg.size());
    msg.clearState();
    msg.rewind();
    EXPECT_EQ(msg.readU32(), 0x00EDD507u);
}

TEST(HexMsg, CopyStartsFreshAssignmentKeepsPositionAndFailure) {
    HexMsg source = message({1, 2, 3});
    source.readU8();
    HexMsg copy(source);
    EXPECT_EQ(copy.readPosition(), 0u);

    HexMsg failed;
    failed.readU8();
    ASSERT_TRUE(failed.failed());
    failed = source;
    EXPECT_EQ(failed.readPosition(), 1u);  // position taken over
    EXPECT_TRUE(failed.failed());          // failure kept
    EXPECT_EQ(failed.bytes(), source.bytes());
}

// The link's reader rests until an answer is due: never before an answer
// that came at once can have crossed the line, and not much after.
TEST(AnswerDueAfter, CoversTheLineTimeOfRequestAndAnswer) {
    struct Case {
        const char* legend;
        std::vector<std::uint8_t> request;
        std::vector<std::uint8_t> answer;  // checksum byte left out
    } cases[] = {
        {"ping", {0x01}, {0x05, 0x16, 0x41}},
        {"device id", {0x04}, {0x01, 0x42, 0xA0}},
        {"get register, 8-bit value", {0x07, 0xDA, 0xED}, {0x07, 0xDA, 0xED, 0x00, 0x00}},
        {"get register, 16-bit value", {0x07, 0xD5, 0xED}, {0x07, 0xD5, 0xED, 0x00, 0x41, 0x05}},
        {"get register, 32-bit value", {0x07, 0xBB, 0xED}, {0x07, 0xBB, 0xED, 0x00, 0x01, 0x02, 0x03, 0x04}},
        {"set register", {0x08, 0x91, 0xED, 0x00, 0x00, 0x80}, {0x08, 0x91, 0xED, 0x00, 0x00, 0x80}},
    };
    for (const auto& c : cases) {
        const std::size_t lineBytes =
            encodeHexFrame(message(c.request)).size() + encodeHexFrame(message(c.answer)).size();
        const std::chrono::microseconds lineTime(lineBytes * 1000000 / 1920);
        const auto due = answerDueAfter(message(c.request));
        EXPECT_GE(due, lineTime) << c.legend;
        EXPECT_LE(due, lineTime + std::chrono::milliseconds(6)) << c.legend;
    }
}
