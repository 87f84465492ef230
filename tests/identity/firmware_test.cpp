#include <gtest/gtest.h>

#include "identity/firmware.h"

namespace tessline {
namespace {

struct FirmwareCase {
    const char* legend;
    std::uint16_t word;
    const char* description;
};

const FirmwareCase kFirmwareCases[] = {
    {"application", 0x4123, "application v1.23"},
    {"tester", 0x8105, "tester v1.05"},
    {"release candidate keeps its type bits", 0xC123, "release candidate vC1.23"},
    {"keyloader, bits 13-12 masked", 0x1207, "keyloader v2.07"},
    {"universal bootloader", 0x2207, "universal bootloader v2.07"},
    {"bootloader with bits 13-12 = 3", 0x3207, "bootloader v2.07"},
    {"bootloader with bits 13-12 = 0", 0x0116, "bootloader v1.16"},
    {"application keeps bits 13-12", 0x7A0B, "application v3A.0B"},
    {"tester keeps bits 13-12", 0xBFFF, "tester v3F.FF"},
    {"minor part in hexadecimal", 0x40FF, "application v0.FF"},
    {"major part unpadded", 0x4005, "application v0.05"},
    {"release candidate, all ones", 0xFFFF, "release candidate vFF.FF"},
};

TEST(Firmware, DescriptionByTypeAndMask) {
    for (const auto& c : kFirmwareCases) {
        EXPECT_EQ(firmwareDescription(c.word), c.description) << c.legend;
    }
}

TEST(Firmware, KindFollowsTopBits) {
    const struct {
        std::uint16_t word;
        FirmwareKind kind;
    } cases[] = {
        {0x3FFF, FirmwareKind::bootCode},
        {0x4000, FirmwareKind::application},
        {0xBFFF, FirmwareKind::tester},
        {0xC000, FirmwareKind::releaseCandidate},
    };
    for (const auto& c : cases) EXPECT_EQ(firmwareKind(c.word), c.kind) << std::hex << c.word;
}

}  // namespace
}  // namespace tessline
