// The HEX requests against a device scripted on a pseudo-terminal.
#include "hex/hex_proto.h"

#include <gtest/gtest.h>

#include <atomic>

#include <boost/exception/get_error_info.hpp>

#include "hex/hex_frame.h"
#include "link/tam_serial.h"
#include "tests/support/fake_link.h"
#include "tests/support/scripted_device.h"

using namespace tessline;
using testing_support::Bytes;
using testing_support::hexFrame;
using testing_support::ScriptedDevice;
using namespace std::chrono_literals;

namespace {

const std::string kGetBatteryVoltage = ":7D5ED8C";
// Answer to get register 0xEDD5: flags 0, value 1345 (0x0541).
const std::string kBatteryVoltage = hexFrame({0x7, 0xD5, 0xED, 0x00, 0x41, 0x05});

struct Link {
    explicit Link(const std::string& path) : serial(path), hex(&serial) { serial.start(); }
    ~Link() {
        serial.close();
        serial.join();
    }
    TamSerial serial;
    HexProto hex;
};

}  // namespace

TEST(HexProto, GetRegisterReadsTheValue) {
    ScriptedDevice device([](const std::string&, int) { return kBatteryVoltage; });
    Link link(device.path());
    HexMsg answer;
    ASSERT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(answer.readU16(), 1345);
    EXPECT_FALSE(answer.failed());
    EXPECT_EQ(device.requests(), std::vector<std::string>{kGetBatteryVoltage});
}

TEST(HexProto, GetRegisterAnswersThatEndTheExchange) {
    struct Case {
        const char* legend;
        std::string answer;
        int result;
    } cases[] = {
        {"code 0x3 ends at once without success", hexFrame({0x3, 0xD5, 0xED, 0x00}), kHexRequestFailed},
        {"another register echoed", hexFrame({0x7, 0xD6, 0xED, 0x00, 0x41, 0x05}), kHexRequestFailed},
        {"nonzero flags", hexFrame({0x7, 0xD5, 0xED, 0x01}), kHexRequestFailed},
        {"too short to hold the flags", hexFrame({0x7, 0xD5}), kHexRequestFailed},
    };
    for (const auto& c : cases) {
        ScriptedDevice device([&](const std::string&, int) { return c.answer; });
        Link link(device.path());
        HexMsg answer;
        EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), c.result) << c.legend;
        EXPECT_EQ(device.requests().size(), 1u) << c.legend;
    }
}

TEST(HexProto, UnrelatedFramesAreIgnored) {
    ScriptedDevice device([](const std::string&, int) { return hexFrame({0xA, 0x01, 0x02}) + kBatteryVoltage; });
    Link link(device.path());
    HexMsg answer;
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(device.requests().size(), 1u);
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

TEST(HexProto, ReceptionErrorWithResendWordSendsAgainAtOnce) {
    ScriptedDevice device([](const std::string&, int index) {
        return index == 0 ? hexFrame({0x4, 0xAA, 0xAA}) : kBatteryVoltage;
    });
    Link link(device.path());
    HexMsg answer;
    ::testing::internal::CaptureStderr();
    int result = link.hex.getRegister(0xEDD5, answer);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "Reception error received! attempts left: 2\n");
    auto arrivals = device.arrivals();
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_LT(arrivals[1] - arrivals[0], 500ms);
}

TEST(HexProto, ReceptionErrorWithoutResendWordKeepsWaiting) {
    for (const std::string& error : {hexFrame({0x2, 0x12, 0x34}), hexFrame({0x2})}) {
        ScriptedDevice device([&](const std::string&, int) { return error + kBatteryVoltage; });
        Link link(device.path());
        HexMsg answer;
        ::testing::internal::CaptureStderr();
        int result = link.hex.getRegister(0xEDD5, answer);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0) << error;
        EXPECT_EQ(err, "Reception error received! attempts left: 2\n");
        EXPECT_EQ(device.requests().size(), 1u);
    }
}

TEST(HexProto, LateAnswerToAnEarlierSendIsAccepted) {
    ScriptedDevice device([&](const std::string&, int index) {
        if (index == 0) {
            std::this_thread::sleep_for(1200ms);  // past the first deadline
            return kBatteryVoltage;
        }
        return std::string();
    });
    Link link(device.path());
    HexMsg answer;
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(answer.readU16(), 1345);
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
        return kBatteryVoltage;
    });
    Link link(device.path());
    HexMsg answer;
    EXPECT_NE(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(link.hex.getRegister(0xEDD5, answer), 0);
    EXPECT_EQ(answer.readU16(), 1345);
}

TEST(HexProto, PingWithoutAnswerThrowsNoResponseAfterTenSends) {
    ScriptedDevice device([](const std::string&, int) { return std::string(); });
    Link link(device.path());
    std::uint16_t word = 0;
    try {
        link.hex.ping(boost::chrono::milliseconds(100), word);
        FAIL() << "no exception";
    } catch (const no_response& e) {
        const char* const* what = boost::get_error_info<tag_what>(e);
        ASSERT_NE(what, nullptr);
        EXPECT_STREQ(*what, "no response");
    }
    EXPECT_EQ(device.requests(), std::vector<std::string>(10, ":154"));
}

TEST(HexProto, PingAndDeviceIdReadTheirWords) {
    ScriptedDevice device([](const std::string& request, int) {
        if (request == ":154") return hexFrame({0x5, 0x16, 0x41});
        if (request == ":451") return hexFrame({0x1, 0x53, 0xA0});
        return std::string();
    });
    Link link(device.path());
    std::uint16_t word = 0, id = 0;
    EXPECT_TRUE(link.hex.ping(boost::chrono::seconds(1), word));
    EXPECT_EQ(word, 0x4116);
    EXPECT_TRUE(link.hex.getDeviceId(id));
    EXPECT_EQ(id, 0xA053);
}

TEST(HexProto, ShortPingAnswerReturnsFalse) {
    ScriptedDevice device([](const std::string&, int) { return hexFrame({0x5}); });
    Link link(device.path());
    std::uint16_t word = 0x1234;
    EXPECT_FALSE(link.hex.ping(boost::chrono::seconds(1), word));
}

TEST(HexProto, SetRegisterSendsTheAddressPointer) {
    ScriptedDevice device([](const std::string&, int) { return hexFrame({0x8, 0x91, 0xED, 0x00}); });
    Link link(device.path());
    EXPECT_TRUE(link.hex.setRegister(0x0001));
    EXPECT_EQ(device.requests(), std::vector<std::string>{":891ED000100CE"});
}

TEST(HexProto, PortErrorPropagatesAndReleasesTheLink) {
    ScriptedDevice device([](const std::string&, int) { return std::string(); });
    TamSerial serial(device.path());
    serial.start();
    serial.close();
    serial.join();
    HexProto hex(&serial);
    HexMsg answer;
    EXPECT_THROW(hex.getRegister(0xEDD5, answer), boost::system::system_error);
    // The lock was released and the queue disconnected on the way out.
    EXPECT_TRUE(serial.linkMutex.try_lock());
    serial.linkMutex.unlock();
    EXPECT_EQ(serial.rxHexMsg.num_slots(), 0u);
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
    const auto pause = boost::chrono::milliseconds(10);
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

namespace {

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

TEST(HexProto, RunsOnAnyLinkWithoutAPort) {
    testing_support::FakeLink link(
        [](const HexMsg&, int) { return std::vector<Bytes>{{0x7, 0xD5, 0xED, 0x00, 0x41, 0x05}}; });
    HexProto hex(&link);
    HexMsg answer;
    ASSERT_EQ(hex.getRegister(0xEDD5, answer), kHexOk);
    EXPECT_EQ(answer.readU16(), 1345);
    EXPECT_EQ(link.sent(), std::vector<std::string>{kGetBatteryVoltage});
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
