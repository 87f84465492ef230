#include "link/text_framer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "log/log.h"
#include "tests/support/device_frames.h"

using namespace tessline;
using testing_support::sealedTextBlock;
using testing_support::textBlock;

namespace {

using Field = std::pair<std::string, std::string>;
using Fields = std::vector<Field>;

std::string withLastByte(std::string text, char last) {
    text.back() = last;
    return text;
}

struct Outcome {
    Fields fields;
    std::vector<std::string> infoLines;
    std::uint64_t validBlocks = 0;
};

// Feeds the bytes through a framer and collects fields and INF messages.
Outcome frame(const std::string& input) {
    Outcome outcome;
    TextFramer framer([&](const std::string& l, const std::string& v) { outcome.fields.emplace_back(l, v); });
    logLevel = 3;
    ::testing::internal::CaptureStderr();
    for (char c : input) framer.feed(c);
    outcome.validBlocks = framer.validBlocks();
    std::string err = ::testing::internal::GetCapturedStderr();
    logLevel = 1;
    for (std::size_t start = 0; start < err.size();) {
        std::size_t end = err.find('\n', start);
        outcome.infoLines.push_back(err.substr(start + 8, end - start - 8));
        start = end + 1;
    }
    return outcome;
}

const std::string kChecksumLine = "INF.serial: invalid TEXT checksum received, ignoring";
const std::string kLengthLine = "INF.serial: invalid block length received, ignoring";

Field checksumField(const std::string& blockText) { return {"Checksum", blockText.substr(blockText.size() - 1)}; }

}  // namespace

TEST(TextFramer, Blocks) {
    const std::string vi = textBlock({{"V", "512"}, {"I", "0"}});
    const std::string next = textBlock({{"PID", "0xA053"}});
    const std::string onlyChecksum = textBlock({});
    const std::string noTab = sealedTextBlock("\r\nnotab\r\nV\t1");
    struct Case {
        const char* legend;
        std::string input;
        Fields fields;
        std::vector<std::string> log;
        std::uint64_t validBlocks;
    } cases[] = {
        {"valid block", vi, {{"V", "512"}, {"I", "0"}, checksumField(vi)}, {}, 1},
        {"wrong checksum byte", withLastByte(vi, 'x'), {}, {kChecksumLine}, 0},
        {"only the checksum field", onlyChecksum, {checksumField(onlyChecksum)}, {}, 1},
        {"checksum byte ':' loses the block silently, the next one passes", withLastByte(vi, ':') + next,
         {{"PID", "0xA053"}, checksumField(next)}, {}, 1},
        {"HEX frame between blocks", vi + ":154\n" + next,
         {{"V", "512"}, {"I", "0"}, checksumField(vi), {"PID", "0xA053"}, checksumField(next)}, {}, 2},
        {"HEX frame with CR LF between blocks", vi + ":154\r\n" + next,
         {{"V", "512"}, {"I", "0"}, checksumField(vi), {"PID", "0xA053"}, checksumField(next)}, {}, 2},
        {"HEX frame inside a block drops its head, the tail fails", vi.substr(0, 8) + ":154\n" + vi.substr(8),
         {}, {kChecksumLine}, 0},
        {"stray byte before a block fails it, the next passes", "x" + vi + next,
         {{"PID", "0xA053"}, checksumField(next)}, {kChecksumLine}, 1},
        {"stray 0x00 keeps the sum but no field matches", std::string(1, '\0') + vi, {}, {}, 1},
        {"a line without TAB merges into the next label", noTab, {{"notab\r\nV", "1"}, checksumField(noTab)}, {},
         1},
    };
    for (const auto& c : cases) {
        Outcome outcome = frame(c.input);
        EXPECT_EQ(outcome.fields, c.fields) << c.legend;
        EXPECT_EQ(outcome.infoLines, c.log) << c.legend;
        EXPECT_EQ(outcome.validBlocks, c.validBlocks) << c.legend;
    }
}

TEST(TextFramer, ChecksumByteOfCrDeliversAllButTheChecksumField) {
    // Choose the value byte so that the byte that balances the block is CR.
    for (int v = 0x20; v < 0x100; ++v) {
        std::string value = "12" + std::string(1, static_cast<char>(v));
        const std::string sealed = sealedTextBlock("\r\nV\t" + value);
        if (sealed.back() != '\r' || v == ':') continue;
        Outcome outcome = frame(sealed);
        EXPECT_EQ(outcome.fields, (Fields{{"V", value}}));
        EXPECT_TRUE(outcome.infoLines.empty());
        return;
    }
    FAIL() << "no value byte gives a checksum byte of CR";
}

TEST(TextFramer, TooLongBlockIsDroppedAndReportedOnce) {
    Outcome outcome = frame(std::string(1025, 'a') + textBlock({{"V", "1"}}));
    // The first 1025 bytes go; the block after them starts fresh and passes.
    EXPECT_EQ(outcome.infoLines, std::vector<std::string>{kLengthLine});
    ASSERT_EQ(outcome.fields.size(), 2u);
    EXPECT_EQ(outcome.fields[0], Field("V", "1"));
}

TEST(TextFramer, BlockEndingAtByte1025IsHandledThenReportedTooLong) {
    std::string tail = "\r\nV\t1";
    std::string full = sealedTextBlock("\r\nX\t" + std::string(1025 - 4 - tail.size() - 12, 'y') + tail);
    ASSERT_EQ(full.size(), 1025u);
    Outcome outcome = frame(full);
    EXPECT_EQ(outcome.fields.size(), 3u);
    EXPECT_EQ(outcome.infoLines, std::vector<std::string>{kLengthLine});
}

TEST(TextFramer, SplitFeedsGiveTheSameFields) {
    std::string stream = textBlock({{"V", "12800"}, {"CS", "3"}}) + ":154\n" + textBlock({{"PPV", "77"}});
    Fields whole = frame(stream).fields;
    Fields collected;
    TextFramer framer([&](const std::string& l, const std::string& v) { collected.emplace_back(l, v); });
    for (std::size_t cut = 0; cut < stream.size(); cut += 7)
        for (char c : stream.substr(cut, 7)) framer.feed(c);
    EXPECT_EQ(collected, whole);
    EXPECT_EQ(whole.size(), 5u);
}

TEST(TextFramer, HexBytesNeverReachTheBlock) {
    TextFramer framer([](const std::string&, const std::string&) {});
    for (char c : std::string(":7D5ED00C8050D")) framer.feed(c);
    EXPECT_EQ(framer.textBlock(), "\r\n");
    EXPECT_EQ(framer.frameState(), TextFramer::IN_HEX);
    framer.feed('\n');
    EXPECT_EQ(framer.frameState(), TextFramer::AFTER_HEX);
    framer.feed('\r');
    EXPECT_EQ(framer.frameState(), TextFramer::AFTER_HEX);
    framer.feed('V');
    EXPECT_EQ(framer.frameState(), TextFramer::TEXT);
    EXPECT_EQ(framer.textBlock(), "\r\nV");
}

TEST(TextFramer, ThrowingListenerLeavesFramingReady) {
    int calls = 0;
    TextFramer framer([&](const std::string&, const std::string&) {
        ++calls;
        throw std::runtime_error("listener failed");
    });
    std::string b = textBlock({{"V", "1"}});
    EXPECT_THROW(for (char c : b) framer.feed(c), std::runtime_error);
    EXPECT_TRUE(framer.textBlock().empty());
    EXPECT_EQ(framer.textChecksum(), 0);
    EXPECT_THROW(for (char c : b) framer.feed(c), std::runtime_error);
    EXPECT_EQ(calls, 2);
}
