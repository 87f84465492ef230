#include <gtest/gtest.h>

#include "sim/device_model.h"
#include "sim/text_fields.h"
#include "sim_test_support.h"

namespace tessline {
namespace {

struct BlockCase {
    const char* legend;
    std::vector<TextField> fields;
    std::string expected;
};

// Expected checksums worked out by hand from the byte values.
TEST(TextBlock, BuildsFieldsAndChecksumByte) {
    const BlockCase cases[] = {
        {"two fields", {{"V", "512"}, {"I", "0"}}, std::string("\r\nV\t512\r\nI\t0\r\nChecksum\t\x06")},
        {"checksum field only", {}, std::string("\r\nChecksum\t\xAD")},
    };
    for (const auto& c : cases) EXPECT_EQ(buildTextBlock(c.fields), c.expected) << c.legend;
}

TEST(TextBlock, EveryBlockSumsToZero) {
    for (int v = 0; v < 600; ++v) {
        std::string block = buildTextBlock({{"V", std::to_string(v * 37)}, {"PID", "0xA042"}});
        ASSERT_EQ(byteSum(block), 0) << v;
    }
}

TEST(TextBlock, CorruptedChecksumIsWrongButNeverColonOrCr) {
    struct Case {
        const char* legend;
        char checksum;
        char expected;
    };
    const Case cases[] = {
        {"plain byte", 'A', 'B'},
        {"would become ':'", '9', ';'},
        {"would become CR", '\x0C', '\x0E'},
        {"wraps", '\xFF', '\x00'},
    };
    for (const auto& c : cases) {
        std::string block = std::string("\r\nChecksum\t") + c.checksum;
        corruptTextChecksum(block);
        EXPECT_EQ(block.back(), c.expected) << c.legend;
        EXPECT_EQ(block.size(), 12u) << c.legend;
    }
}

// A ":" checksum would make a receiver drop the block as a HEX frame.
TEST(TextBlock, DeviceBlockAvoidsColonChecksum) {
    ModelSetup setup;
    setup.frozen = true;
    DeviceModel model(setup);
    DeviceProfile profile;
    int found = 0;
    for (int n = 0; n < 256; ++n) {
        profile.extraFields = {{"X", std::to_string(n)}};
        if (buildTextBlock(textFieldsFor(profile, model)).back() != ':') continue;
        ++found;
        std::string block = deviceTextBlock(profile, model);
        EXPECT_NE(block.back(), ':') << n;
        EXPECT_EQ(byteSum(block), 0) << n;
        EXPECT_EQ(simtest::valueOf(block, "DAY"), "044") << n;
    }
    EXPECT_GT(found, 0) << "no field value gave a ':' checksum; the test proves nothing";
}

TEST(TextFields, FrozenDefaultDeviceSendsDocumentedValues) {
    ModelSetup setup;
    setup.frozen = true;
    DeviceModel model(setup);
    std::string block = deviceTextBlock(DeviceProfile(), model);
    const std::pair<const char*, const char*> expected[] = {
        {"PID", "0xA042"}, {"FW", "116"}, {"SER#", "HQ2042SIM01"}, {"V", "13450"},  {"I", "4200"},
        {"VPV", "35100"},  {"PPV", "58"}, {"CS", "3"},             {"ERR", "0"},    {"LOAD", "ON"},
        {"IL", "500"},     {"H19", "45678"}, {"H20", "1000"},      {"H21", "250"},  {"H22", "1010"},
        {"H23", "251"},
    };
    for (const auto& [label, value] : expected) EXPECT_EQ(simtest::valueOf(block, label), value) << label;
}

TEST(TextFields, ProfileOptionsShapeTheFields) {
    ModelSetup setup;
    setup.frozen = true;
    DeviceModel model(setup);
    struct Case {
        const char* legend;
        DeviceProfile profile;
        const char* label;
        const char* expected;
    };
    DeviceProfile pidText, fwText, noPid, noLoad, extra, oldFirmware, device0300;
    pidText.pidText = "garbage";
    fwText.fwText = "0119";
    noPid.omittedFields = {"PID"};
    noLoad.loadOutput = false;
    extra.extraFields = {{"ver#", "1.23"}};
    oldFirmware.firmwareWord = 0x4111;
    device0300.productId = 0x0300;
    const Case cases[] = {
        {"exact PID text", pidText, "PID", "garbage"},
        {"exact FW text", fwText, "FW", "0119"},
        {"no PID", noPid, "PID", "<missing>"},
        {"no load: no LOAD", noLoad, "LOAD", "<missing>"},
        {"no load: no IL", noLoad, "IL", "<missing>"},
        {"extra field", extra, "ver#", "1.23"},
        {"firmware version digits", oldFirmware, "FW", "111"},
        {"PID keeps four digits", device0300, "PID", "0x0300"},
        {"older charger: V in 10 mV", device0300, "V", "1345"},
        {"older charger: I in 100 mA", device0300, "I", "42"},
        {"older charger: VPV in 10 mV", device0300, "VPV", "3510"},
        {"older charger: PPV in 10 mW", device0300, "PPV", "5820"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(simtest::valueOf(deviceTextBlock(c.profile, model), c.label), c.expected) << c.legend;
}

}  // namespace
}  // namespace tessline
