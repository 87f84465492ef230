#include <gtest/gtest.h>

#include <numeric>

#include "sim/hex_responder.h"
#include "sim_test_support.h"

namespace tessline {
namespace {

using Bytes = std::vector<std::uint8_t>;
using simtest::content;
using simtest::received;
using simtest::request;

// Image byte i holds i mod 256 with the block number in the high bits mixed
// in, so a block read at the wrong address cannot pass.
std::vector<std::uint8_t> patternImage() {
    std::vector<std::uint8_t> image(EepromWindow::kSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 4));
    return image;
}

class FrozenDevice {
public:
    explicit FrozenDevice(DeviceProfile profile = DeviceProfile())
        : profile_(std::move(profile)),
          model_(setup(profile_)),
          eeprom_(patternImage()),
          registers_(profile_, model_, eeprom_),
          responder_(profile_, registers_) {}

    // The answer's bytes without checksum; empty when the device keeps quiet.
    Bytes ask(const std::string& frameText) {
        auto answer = responder_.answer(received(frameText));
        return answer ? answer->bytes() : Bytes();
    }
    Bytes get(std::uint16_t id) { return ask(simtest::getRegister(id)); }
    Bytes setPointer(std::uint16_t address) {
        return ask(request({0x08, 0x91, 0xED, 0x00, std::uint8_t(address), std::uint8_t(address >> 8)}));
    }

private:
    static ModelSetup setup(const DeviceProfile& profile) {
        ModelSetup s;
        s.frozen = true;
        s.loadOutput = profile.loadOutput;
        return s;
    }
    DeviceProfile profile_;
    DeviceModel model_;
    EepromWindow eeprom_;
    DeviceRegisters registers_;
    HexResponder responder_;
};

struct RegisterCase {
    const char* legend;
    std::uint16_t id;
    Bytes value;  // little-endian, in the width the program reads
};

// The frozen device's values, one row per register the program reads.
TEST(HexResponder, RegisterAnswersHaveLayoutAndWidth) {
    const RegisterCase cases[] = {
        {"state U8", 0x0201, {0x03}},
        {"charger current U16 0.1 A", 0xEDD7, {42, 0}},
        {"battery voltage U16 0.01 V", 0xEDD5, {0x41, 0x05}},
        {"panel current U16 0.1 A", 0xEDBD, {17, 0}},
        {"panel voltage U16 0.01 V", 0xEDBB, {0xB6, 0x0D}},
        {"panel power U16 0.01 W", 0xEDBC, {0xBC, 0x16}},
        {"temperature S16 0.01 C", 0xEDDB, {0xE2, 0x09}},
        {"error U8", 0xEDDA, {0}},
        {"load U8", 0xEDA8, {1}},
        {"load current U16", 0xEDAD, {5, 0}},
        {"day U8", 0x2030, {1}},
        {"clock U16 minutes", 0x2031, {0xEE, 0x02}},
        {"light U8", 0xEDA6, {0}},
        {"stratum U8", 0xED96, {1}},
        {"switch-on expected U16", 0xED95, {0xB0, 0x04}},
        {"switch-off expected U16", 0xED94, {0x68, 0x01}},
        {"off time U16", 0xED93, {0x68, 0x01}},
        {"on time U16", 0xED92, {0xB0, 0x04}},
        {"Vout S32 mV", 0xEE80, {0x8A, 0x34, 0, 0}},
        {"Iout1 S32 mA", 0xEE81, {0x68, 0x10, 0, 0}},
        {"Vpanel S32 mV", 0xEE82, {0x1C, 0x89, 0, 0}},
        {"Iout2 S32", 0xEE85, {0, 0, 0, 0}},
        {"capabilities U32", 0x0140, {0x65, 0x3F, 0, 0}},
        {"history version U8", 0xEDCD, {6}},
        {"streetlight version U8", 0xEDCC, {2}},
        {"max current U16 0.1 A", 0xEDDF, {150, 0}},
        {"battery voltages 8+8", 0xEDCE, {12, 24}},
        {"max panel voltage U16 0.01 V", 0xEDB8, {0x10, 0x27}},
        {"serial text", 0x010A, {'H', 'Q', '2', '0', '4', '2', 'S', 'I', 'M', '0', '1'}},
        {"yield total U32", 0xEDDC, {0x6E, 0xB2, 0, 0}},
    };
    FrozenDevice device;
    for (const auto& c : cases) {
        Bytes expected{0x07, std::uint8_t(c.id), std::uint8_t(c.id >> 8), 0x00};
        expected.insert(expected.end(), c.value.begin(), c.value.end());
        EXPECT_EQ(device.get(c.id), expected) << c.legend;
    }
}

struct QuietCase {
    const char* legend;
    DeviceProfile profile;
    std::uint16_t id;
};

TEST(HexResponder, MissingRegisterGetsFlagsAndNoValue) {
    DeviceProfile defaults, noLoad, noCaps, noModel;
    noLoad.loadOutput = false;
    noCaps.absentRegisters = {0x0140};
    noModel.model = "";
    const QuietCase cases[] = {
        {"unknown id", defaults, 0x1234},
        {"load without load output", noLoad, 0xEDA8},
        {"load current without load output", noLoad, 0xEDAD},
        {"capabilities said absent", noCaps, 0x0140},
        {"empty model text", noModel, 0x010B},
    };
    for (const auto& c : cases) {
        Bytes answer = FrozenDevice(c.profile).get(c.id);
        ASSERT_EQ(answer.size(), 4u) << c.legend;
        EXPECT_EQ(answer[0], 0x07) << c.legend;
        EXPECT_EQ(answer[1] | answer[2] << 8, c.id) << c.legend;
        EXPECT_NE(answer[3], 0) << c.legend;
    }
}

TEST(HexResponder, IdentityAnswersFollowTheProfile) {
    DeviceProfile quiet, wordless, tester;
    quiet.answerPing = false;
    quiet.answerDeviceId = false;
    wordless.pingWord = false;
    wordless.deviceIdWord = false;
    tester.firmwareWord = 0x8116;
    tester.productId = 0x0300;
    struct Case {
        const char* legend;
        DeviceProfile profile;
        std::string frame;
        Bytes expected;
    };
    const Case cases[] = {
        {"ping: firmware word", DeviceProfile(), request({0x01}), {0x05, 0x16, 0x41}},
        {"device id", DeviceProfile(), request({0x04}), {0x01, 0x42, 0xA0}},
        {"tester firmware", tester, request({0x01}), {0x05, 0x16, 0x81}},
        {"device 0x0300", tester, request({0x04}), {0x01, 0x00, 0x03}},
        {"ping ignored", quiet, request({0x01}), {}},
        {"device id ignored", quiet, request({0x04}), {}},
        {"ping without word", wordless, request({0x01}), {0x05}},
        {"device id without word", wordless, request({0x04}), {0x01}},
        {"unknown command", DeviceProfile(), request({0x0A}), {0x03}},
        {"get register without id", DeviceProfile(), request({0x07, 0x01}), {0x03}},
    };
    for (const auto& c : cases) EXPECT_EQ(FrozenDevice(c.profile).ask(c.frame), c.expected) << c.legend;
}

TEST(HexResponder, HistoryRecordsHaveTheirLayouts) {
    DeviceProfile versionZero;
    versionZero.totalRecordVersion = 0;
    FrozenDevice device, oldRecords(versionZero);

    Bytes total = device.get(0x104F);
    ASSERT_EQ(total.size(), 4u + 21u);
    EXPECT_EQ(total[4], 1) << "record version";
    EXPECT_EQ(total[4 + 6] | total[4 + 7] << 8, 45678) << "user yield";
    EXPECT_EQ(total[4 + 18], 45) << "days";
    EXPECT_EQ(total[4 + 19] | total[4 + 20] << 8, 1180) << "minimum battery voltage";
    EXPECT_EQ(oldRecords.get(0x104F).size(), 4u + 19u) << "version 0 has no minimum battery voltage";

    for (std::uint16_t d = 0; d <= 30; ++d) {
        Bytes day = device.get(0x1050 + d);
        ASSERT_EQ(day.size(), 4u + 34u) << d;
        EXPECT_EQ(day[4 + 1] | day[4 + 2] << 8, 1000 + 10 * d) << "yield of day " << d;
        EXPECT_EQ(day[4 + 32] | day[4 + 33] << 8, 44 - d) << "number of day " << d;
    }
    EXPECT_EQ(device.get(0x106F).size(), 4u) << "no day 31";
}

TEST(HexResponder, SetRegisterEchoesIdAndFlags) {
    struct Case {
        const char* legend;
        std::string frame;
        Bytes expected;
    };
    const Case cases[] = {
        {"address pointer", request({0x08, 0x91, 0xED, 0x00, 0x10, 0x80}), {0x08, 0x91, 0xED, 0x00, 0x10, 0x80}},
        {"flags echoed", request({0x08, 0x91, 0xED, 0x40, 0x10, 0x80}), {0x08, 0x91, 0xED, 0x40, 0x10, 0x80}},
        {"read-only register", request({0x08, 0xD5, 0xED, 0x00, 0x10, 0x80}), {0x08, 0xD5, 0xED, kFlagNotSupported}},
        {"unknown register", request({0x08, 0x34, 0x12, 0x00, 0x01}), {0x08, 0x34, 0x12, kFlagUnknownId}},
        {"pointer of one byte", request({0x08, 0x91, 0xED, 0x00, 0x10}), {0x08, 0x91, 0xED, kFlagParameterError}},
    };
    for (const auto& c : cases) EXPECT_EQ(FrozenDevice().ask(c.frame), c.expected) << c.legend;
}

TEST(HexResponder, EepromWindowFollowsThePointer) {
    const auto image = patternImage();
    struct Case {
        const char* legend;
        std::uint16_t pointer;
        std::size_t offset;  // into the image
        std::size_t count;   // value bytes expected; 0: flags set, no value
    };
    const Case cases[] = {
        {"first block", 0x8000, 0, 16},
        {"second block", 0x8010, 16, 16},
        {"unaligned", 0x8123, 0x123, 16},
        {"last block", 0x91F0, 0x11F0, 16},
        {"runs past the end", 0x91F8, 0x11F8, 8},
        {"just past the window", 0x9200, 0, 0},
        {"below the window", 0x7FF0, 0, 0},
    };
    FrozenDevice device;
    for (const auto& c : cases) {
        device.setPointer(c.pointer);
        Bytes answer = device.get(0xED90);
        if (c.count == 0) {
            ASSERT_EQ(answer.size(), 4u) << c.legend;
            EXPECT_NE(answer[3], 0) << c.legend;
            continue;
        }
        Bytes expected{0x07, 0x90, 0xED, 0x00};
        expected.insert(expected.end(), image.begin() + long(c.offset), image.begin() + long(c.offset + c.count));
        EXPECT_EQ(answer, expected) << c.legend;
    }
}

TEST(HexResponder, TruncatedEepromAnswerKeepsItsFirstBytes) {
    DeviceProfile truncated;
    truncated.eepromAnswerBytes = 10;
    FrozenDevice device(truncated);
    device.setPointer(0x8020);
    Bytes answer = device.get(0xED90);
    ASSERT_EQ(answer.size(), 4u + 10u);
    const auto image = patternImage();
    EXPECT_TRUE(std::equal(answer.begin() + 4, answer.end(), image.begin() + 0x20));
}

TEST(RequestReader, TellsDamagedFramesFromNoise) {
    struct Case {
        const char* legend;
        std::string input;
        std::vector<RequestReader::Event> events;  // the non-trivial ones, in order
    };
    using E = RequestReader::Event;
    const Case cases[] = {
        {"good ping", ":154\n", {E::frame}},
        {"bad checksum", ":155\n", {E::damaged}},
        {"line feed outside a frame", "abc\n\n", {}},
        {"restart inside a frame", ":15:154\n", {E::frame}},
        {"too long", ":1" + std::string(220, '0') + "\n", {E::damaged}},
        {"damaged then good", ":7FF\n:451\n", {E::damaged, E::frame}},
    };
    for (const auto& c : cases) {
        RequestReader reader;
        std::vector<E> events;
        for (char ch : c.input)
            if (auto e = reader.feed(ch); e != E::none) events.push_back(e);
        EXPECT_EQ(events, c.events) << c.legend;
    }
}

}  // namespace
}  // namespace tessline
