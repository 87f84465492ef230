// The HEX requests: their logic against a device in the test's own process,
// their timing against one scripted on a pseudo-terminal behind the serial link.
#include "hex/hex_proto.h"

#include <gtest/gtest.h>

#include <atomic>

#include <boost/exception/get_error_info.hpp>

#include "hex/hex_frame.h"
#include "link/tam_serial.h"
#include "tests/support/fake_link.h"
#include "tests/support/scripted_device.h"
#include "tests/support/wait_until.h"

using namespace tessline;
using testing_support::Bytes;
using testing_support::FakeLink;
using testing_support::hexFrame;
using testing_support::ScriptedDevice;
using namespace std::chrono_literals;

namespace {

const std::string kGetBatteryVoltage = ":7D5ED8C";
// Answer to get register 0xEDD5: flags 0, value 1345 (0x0541).
const Bytes kBatteryVoltage = {0x7, 0xD5, 0xED, 0x00, 0x41, 0x05};

// A device that answers each request with the same frames.
FakeLink::Device always(std::vector<Bytes> frames) {
    return [frames](const HexMsg&, int) { return frames; };
}

// The serial link on a scripted device, for the tests of timing.
struct Link {
    explicit Link(const std::string& path) : serial(path), hex(&serial) { serial.start(); }
    ~Link() {
        serial.close();
        serial.join();
    }
    TamSerial serial;
    HexProto hex;
};

// A link whose every write goes out short.
class ShortWriteLink : public HexLink {
public:
    int writes = 0;
    int write(const HexMsg&) override {
        ++writes;
        return kHexRequestFailed;
    }
};

}  // namespace

TEST(HexProto, GetRegisterReadsTheValue) {
    FakeLink link(always({kBatteryVoltage}));
    HexProto hex(&link);
    HexMsg answer;
    ASSERT_EQ(hex.getRegister(0xEDD5, answer), kHexOk);
    EXPECT_EQ(answer.readU16(), 1345);
    EXPECT_FALSE(answer.failed());
    EXPECT_EQ(link.sent(), std::vector<std::string>{kGetBatteryVoltage});
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);  // the queue went with the request
}

// Answers that end the exchange at once: with or without success, after a
// resend or none, and what the request engine says about them on stderr.
TEST(HexProto, GetRegisterAnswers) {
    const std::string kReceptionError = "Reception error received! attempts left: 2\n";
    struct Case {
        const char* legend;
        std::vector<std::vector<Bytes>> answers;  // by send; sends beyond get none
        int result;
        std::size_t sends;
        std::string err;
    } cases[] = {
        {"code 0x3 ends at once without success", {{{0x3, 0xD5, 0xED, 0x00}}}, kHexRequestFailed, 1, ""},
        {"another register echoed", {{{0x7, 0xD6, 0xED, 0x00, 0x41, 0x05}}}, kHexRequestFailed, 1, ""},
        {"nonzero flags", {{{0x7, 0xD5, 0xED, 0x01}}}, kHexRequestFailed, 1, ""},
        {"too short to hold the flags", {{{0x7, 0xD5}}}, kHexRequestFailed, 1, ""},
        {"an unrelated frame first is ignored", {{{0xA, 0x01, 0x02}, kBatteryVoltage}}, kHexOk, 1, ""},
        {"reception error with the resend word: sent again at once", {{{0x4, 0xAA, 0xAA}}, {kBatteryVoltage}},
         kHexOk, 2, kReceptionError},
        {"reception error with another word: the wait goes on", {{{0x2, 0x12, 0x34}, kBatteryVoltage}}, kHexOk, 1,
         kReceptionError},
        {"reception error without a word: the wait goes on", {{{0x2}, kBatteryVoltage}}, kHexOk, 1,
         kReceptionError},
    };
    for (const auto& c : cases) {
        FakeLink link([&c](const HexMsg&, int index) {
            return index < static_cast<int>(c.answers.size()) ? c.answers[index] : std::vector<Bytes>{};
        });
        HexProto hex(&link);
        HexMsg answer;
        const auto start = std::chrono::steady_clock::now();
        ::testing::internal::CaptureStderr();
        const int result = hex.getRegister(0xEDD5, answer);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.err) << c.legend;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << c.legend;  // no wait for a time-out
        EXPECT_EQ(result, c.result) << c.legend;
        EXPECT_EQ(link.sent().size(), c.sends) << c.legend;
    }
}

TEST(HexProto, PingWithoutAnswerThrowsNoResponseAfterTenSends) {
    FakeLink link;
    HexProto hex(&link);
    std::uint16_t word = 0;
    try {
        hex.ping(std::chrono::milliseconds(100), word);
        FAIL() << "no exception";
    } catch (const no_response& e) {
        const char* const* what = boost::get_error_info<tag_what>(e);
        ASSERT_NE(what, nullptr);
        EXPECT_STREQ(*what, "no response");
    }
    EXPECT_EQ(link.sent(), std::vector<std::string>(10, ":154"));
}

TEST(HexProto, PingAndDeviceIdReadTheirWords) {
    FakeLink link([](const HexMsg& request, int) {
        const std::uint8_t code = request.bytes().at(0);
        return std::vector<Bytes>{code == 0x1 ? Bytes{0x5, 0x16, 0x41} : Bytes{0x1, 0x53, 0xA0}};
    });
    HexProto hex(&link);
    std::uint16_t word = 0, id = 0;
    EXPECT_TRUE(hex.ping(std::chrono::seconds(1), word));
    EXPECT_EQ(word, 0x4116);
    EXPECT_TRUE(hex.getDeviceId(id));
    EXPECT_EQ(id, 0xA053);
    EXPECT_EQ(link.sent(), (std::vector<std::string>{":154", ":451"}));
}

TEST(HexProto, ShortPingAnswerReturnsFalse) {
    FakeLink link(always({{0x5}}));
    HexProto hex(&link);
    std::uint16_t word = 0x1234;
    EXPECT_FALSE(hex.ping(std::chrono::seconds(1), word));
}

TEST(HexProto, SetRegisterSendsTheAddressPointer) {
    FakeLink link(always({{0x8, 0x91, 0xED, 0x00}}));
    HexProto hex(&link);
    EXPECT_TRUE(hex.setRegister(0x0001));
    EXPECT_EQ(link.sent(), std::vector<std::string>{":891ED000100CE"});
}

TEST(HexProto, PortErrorPropagatesAndReleasesTheLink) {
    FakeLink link(testing_support::brokenPort());
    HexProto hex(&link);
    HexMsg answer;
    EXPECT_THROW(hex.getRegister(0xEDD5, answer), boost::system::system_error);
    // The lock was released and the queue disconnected on the way out.
    EXPECT_TRUE(link.linkMutex.try_lock());
    link.linkMutex.unlock();
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);
}

TEST(HexProto, ShortWriteFailsTheRequestAtOnce) {
    ShortWriteLink link;
    HexProto hex(&link);
    HexMsg answer;
    // No resend and no wait for an answer: what went out was not a request.
    EXPECT_EQ(hex.getRegister(0xEDD5, answer), kHexRequestFailed);
    EXPECT_EQ(link.writes, 1);
    EXPECT_EQ(link.rxHexMsg.num_slots(), 0u);
}

TEST(HexProto, SilentDeviceGetsThreeSendsASecondApart) {
    ScriptedDevice device([](const std::string&, int) { return std::string(); });
    Link link(device.path());
    HexMsg answer;
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), kHexRequestFailed);
    auto arrivals = device.arrivals();
    ASSERT_EQ(arrivals.size(), 3u);
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        EXPECT_GE(arrivals[i] - arrivals[i - 1], 900ms);
        EXPECT_LE(arrivals[i] - arrivals[i - 1], 2000ms);  // loose: a loaded machine is slow to wake
    }
}

TEST(HexProto, LateAnswerToAnEarlierSendIsAccepted) {
    ScriptedDevice device([&](const std::string&, int index) {
        if (index == 0) {
            std::this_thread::sleep_for(1200ms);  // past the first deadline
            return hexFrame(kBatteryVoltage);
        }
        return std::string();
    });
    Link link(device.path());
    HexMsg answer;
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(answer.readU16(), 1345);
    // The device takes in the resend after it gave its late answer.
    EXPECT_TRUE(testing_support::waitUntil([&] { return device.requests().size() >= 2; }));
    EXPECT_EQ(device.requests().size(), 2u);
}

// The third send of a request that timed out is answered late, after the
// next request of the same register went out: that late answer must not
// pass for the next one's (in the write mode it carried the block before).
TEST(HexProto, LateAnswerAfterATimeOutIsNotTakenForTheNextRequest) {
    ScriptedDevice device([&](const std::string&, int index) {
        if (index < 2) return std::string();
        if (index == 2) {
            std::this_thread::sleep_for(1100ms);  // past the last deadline
            return hexFrame({0x7, 0xD5, 0xED, 0x00, 0x11, 0x11});
        }
        return hexFrame(kBatteryVoltage);
    });
    Link link(device.path());
    HexMsg answer;
    EXPECT_NE(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(answer.readU16(), 1345);
}

// As a dump runs its requests: the link rests between reads and every
// request is followed by a pause. Each answer is taken, also one that comes
// late behind a TEXT block; every byte reaches the link's listeners in
// order; and the device gets its quiet time before the next request.
TEST(HexProto, PausingRequestsOnARestingLinkGetEveryAnswer) {
    const std::string textBlock = testing_support::textBlock({{"PID", "0xA042"}, {"V", "12800"}, {"I", "-1200"},
                                                              {"VPV", "35050"}, {"PPV", "22"}, {"CS", "3"},
                                                              {"ERR", "0"}, {"LOAD", "ON"}, {"IL", "500"},
                                                              {"H19", "5558"}, {"H20", "0"}});
    std::mutex mutex;
    std::string sent;  // guarded by mutex
    std::atomic<ScriptedDevice*> self{nullptr};  // set before the first request
    // The device sends in parts, as bytes come over a real line.
    auto sendNow = [&](const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        sent += part;
        self.load()->send(part);
    };
    ScriptedDevice device([&](const std::string&, int index) {
        const std::string reply = hexFrame({0x7, static_cast<std::uint8_t>(index), 0xED, 0x00, static_cast<std::uint8_t>(index), 0x01});
        if (index % 2 == 1) {  // late, behind a TEXT block
            sendNow(textBlock);
            std::this_thread::sleep_for(30ms);
        }
        sendNow(reply.substr(0, 5));
        std::this_thread::sleep_for(5ms);
        std::lock_guard<std::mutex> lock(mutex);
        sent += reply.substr(5);
        return reply.substr(5);
    });
    self = &device;
    TamSerial serial(device.path());
    serial.setRestBetweenReads(true);
    std::string received;  // reader thread only until join
    serial.rxChar.connect([&](char c) { received += c; });
    serial.start();
    HexProto hex(&serial);
    const auto pause = std::chrono::milliseconds(10);
    hex.setPauseAfterAnswer(pause);
    for (int index = 0; index < 6; ++index) {
        HexMsg answer;
        ASSERT_EQ(hex.getRegister(static_cast<std::uint16_t>(0xED00 + index), answer), kHexOk) << index;
        EXPECT_EQ(answer.readU16(), 0x100 + index) << index;
    }
    serial.close();
    serial.join();
    EXPECT_EQ(device.requests().size(), 6u);  // no request went unanswered and out again
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(received, sent);
    }
    auto arrivals = device.arrivals();
    for (std::size_t i = 1; i < arrivals.size(); ++i) EXPECT_GE(arrivals[i] - arrivals[i - 1], 10ms) << i;
}
