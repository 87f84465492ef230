#include "app/identification.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/output_name.h"
#include "platform/civil_time.h"
#include "platform/file_names.h"

using namespace tessline;

TEST(Identification, ProductIdFromThePidField) {
    struct Case {
        const char* pid;
        std::uint16_t id;
    } cases[] = {
        {"0xA042", 0xA042}, {"0x0300", 0x0300},  {"0xFFFF", 0xFFFF},   {"0x10000", 0xFFFF}, {"0x", 0xFFFF},
        {"A042", 0xFFFF},   {"0Xa042", 0xFFFF},  {"0xa042", 0xA042},   {"garbage", 0xFFFF}, {"", 0xFFFF},
        {"0x12zz", 0x12},   {"0x100000042", 0xFFFF},  // too large: refused, not wrapped into 0x42
    };
    for (const auto& c : cases) EXPECT_EQ(parseProductId(c.pid), c.id) << c.pid;
}

TEST(Identification, SoftwareVersionFromTheFwField) {
    struct Case {
        const char* fw;
        const char* version;
    } cases[] = {{"119", "1.19"}, {"0119", "01.19"}, {"1234", "12.34"}, {"19", "19"}, {"7", "7"}, {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(firmwareFieldVersion(c.fw), c.version) << c.fw;
}

TEST(Identification, RegisterTextLosesTrailingWhiteSpaceOnly) {
    EXPECT_EQ(trimRegisterText("SolarUnit  \r\n"), "SolarUnit");
    EXPECT_EQ(trimRegisterText(" Solar Unit\t"), " Solar Unit");
    EXPECT_EQ(trimRegisterText(" \r\n"), " \r\n");  // nothing but white space stays
    EXPECT_EQ(trimRegisterText(""), "");
}

TEST(OutputTemplate, ExpandsKnownKeysAndLeavesTheRest) {
    Identity identity{"Caldane Energy", "Alder 15A mid", "HQ1234", "1.16"};
    const std::time_t now = 1460037789;  // a fixed instant; its local text is computed below
    std::string local = ctimeText(now);
    // A file name on Windows cannot hold the clock's colons.
    if (isReservedInFileName(':')) std::replace(local.begin(), local.end(), ':', '_');
    struct Case {
        const char* pattern;
        std::string name;
    } cases[] = {
        {"log-%s-%x.txt", "log-HQ1234-%x.txt"},
        {"run%", "run%"},
        {"%m_%v.csv", "Alder 15A mid_1.16.csv"},
        {"at %t", "at " + local},
        {"%%s", "%HQ1234"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(expandOutputTemplate(c.pattern, identity, now), c.name) << c.pattern;
}

TEST(OutputTemplate, DeviceTextsAreInsertedOnceAndCannotLeaveTheFolder) {
    struct Case {
        const char* serial;
        const char* name;
    } cases[] = {
        {"../ESCAPED", "logs/_._ESCAPED.csv"},
        {"/etc/passwd", "logs/_etc_passwd.csv"},
        {"a%s", "logs/a%s.csv"},
        {"S%t", "logs/S%t.csv"},
        {".hidden", "logs/_hidden.csv"},
        {"a\nb\x7f\tc", "logs/a_b__c.csv"},
    };
    for (const auto& c : cases) {
        Identity identity{"", "", c.serial, ""};
        EXPECT_EQ(expandOutputTemplate("logs/%s.csv", identity, 0), c.name) << c.serial;
    }
    Identity withNul{"", "", std::string("a\0b", 3), ""};
    EXPECT_EQ(expandOutputTemplate("%s", withNul, 0), "a_b");
    // Characters that only Windows keeps out of a name.
    Identity reserved{"", "", "a:b\\c*?\"<>|", ""};
#ifdef _WIN32
    EXPECT_EQ(expandOutputTemplate("logs/%s.csv", reserved, 0), "logs/a_b_c______.csv");
#else
    EXPECT_EQ(expandOutputTemplate("logs/%s.csv", reserved, 0), "logs/a:b\\c*?\"<>|.csv");
#endif
    // No serial number: a file a period is named after the port.
    Identity noSerial{"", "", "", ""};
    EXPECT_EQ(outputFileName("d/%s.csv", noSerial, "/dev/serial/by-id/usb-X", true, 0), "d/no-serial-serial_by-id_usb-X.csv");
    EXPECT_EQ(outputFileName("d/%s.csv", noSerial, "/dev/ttyUSB0", false, 0), "d/.csv");
}
