// The report against a charger played in the test's own process: the
// requests it sends, what it returns, and the exits of a device that does
// not qualify.
#include "identity/capabilities.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/identity/device_info_view.h"
#include "tests/support/fake_link.h"
#include "tests/support/log_capture.h"

namespace tessline {
namespace {

using testing_support::Bytes;
using testing_support::codeAndWord;
using testing_support::FakeLink;
using testing_support::FakeRegisters;

const std::string kPing = ":154";
const std::string kGetDeviceId = ":451";

std::string requestFor(std::uint16_t reg) {
    std::string frame = testing_support::registerRequestFrame(reg);
    frame.pop_back();  // the line feed
    return frame;
}

// Answers ping and device id as given (no frame for an empty answer),
// registers from its set, any other register with the final "no success" code.
struct ScriptedCharger {
    Bytes pingAnswer;
    Bytes deviceIdAnswer;
    FakeRegisters registers;

    std::vector<Bytes> answer(const HexMsg& request) {
        const std::uint8_t code = request.bytes().at(0);
        if (code == 0x7) return {registers.answerTo(request)};
        const Bytes& given = code == 0x1 ? pingAnswer : deviceIdAnswer;
        return given.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{given};
    }
};

DeviceInfo reportOn(ScriptedCharger charger, std::vector<std::string>* requests = nullptr) {
    FakeLink link([&charger](const HexMsg& request, int) { return charger.answer(request); });
    DeviceInfo info = capabilitiesReport(link);
    if (requests) *requests = link.sent();
    return info;
}

TEST(CapabilitiesReport, SelfDescribingCharger) {
    ScriptedCharger charger{codeAndWord(0x5, 0x4116), codeAndWord(0x1, 0xA046), {}};
    charger.registers.values = {
        {0x0140, {0x04, 0x02, 0x00, 0x00}},  // history support and solar timer
        {0xEDCD, {0x07}},
        {0xEDCC, {0x03}},
        {0xEDDF, {0x5F, 0x01}},  // 35.1 A
        {0xEDCE, {12, 24}},
        {0xEDB8, {0x98, 0x3A}},  // 150.00 V
    };
    std::vector<std::string> requests;
    const DeviceInfo info = reportOn(charger, &requests);
    EXPECT_EQ(requests, (std::vector<std::string>{kPing, kGetDeviceId, requestFor(0x0140), requestFor(0xEDCD),
                                                  requestFor(0xEDCC), requestFor(0xEDDF), requestFor(0xEDCE),
                                                  requestFor(0xEDB8)}));
    EXPECT_EQ(info.deviceId, 0xA046);
    EXPECT_EQ(info.appVersion, 0x116);
    EXPECT_FALSE(info.releaseCandidate);
    EXPECT_EQ(info.productName, "Alder 32A high application v1.16");
    EXPECT_EQ(setFlags(info), (std::vector<std::string>{"HISTORY_SUPPORT", "SOLAR_TIMER"}));
    EXPECT_EQ(info.historyVersion, 7);
    EXPECT_EQ(info.streetlightVersion, 3);
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{12, 24, 35.1, 150}));
}

TEST(CapabilitiesReport, ReleaseCandidateWithoutNameOrModelRow) {
    ScriptedCharger charger{codeAndWord(0x5, 0xC113), codeAndWord(0x1, 0xA07F), {}};
    charger.registers.values[0x010B] = {'S', 'o', 'l', 'a', 'r', 'U', 'n', 'i', 't', ' ', '\r', '\n'};
    std::vector<std::string> requests;
    const DeviceInfo info = reportOn(charger, &requests);
    EXPECT_EQ(requests, (std::vector<std::string>{kPing, kGetDeviceId, requestFor(0x010B)}));
    EXPECT_TRUE(info.releaseCandidate);
    EXPECT_EQ(info.productName, "SolarUnit release candidate vC1.13");
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{0, 0, 0, 0}));
}

struct RefusalCase {
    const char* legend;
    ScriptedCharger charger;
    int exitCode;
    const char* errorLine;
};

// A device id answer without its number stops the report with 22, so the
// firmware refusals below also show that the id was not asked first.
const RefusalCase kRefusals[] = {
    {"ping reply without its word", {Bytes{0x5}, codeAndWord(0x1, 0xA040), {}}, 3, "no ping reply"},
    {"boot code", {codeAndWord(0x5, 0x0116), Bytes{0x1}, {}}, 81,
     "application required to determine capabilities..."},
    {"tester", {codeAndWord(0x5, 0x8116), Bytes{0x1}, {}}, 81,
     "application required to determine capabilities..."},
    {"device id reply without its number", {codeAndWord(0x5, 0x4116), Bytes{0x1}, {}}, 22,
     "no device id reply"},
    {"above the charger range", {codeAndWord(0x5, 0x4116), codeAndWord(0x1, 0xA080), {}}, 91,
     "only mppt chargers are supported"},
    {"next to the older charger", {codeAndWord(0x5, 0x4116), codeAndWord(0x1, 0x0301), {}}, 91,
     "only mppt chargers are supported"},
    {"device id unanswered", {codeAndWord(0x5, 0x4116), {}, {}}, 3,
     "no response received (check power / correct serial port)"},
};

TEST(CapabilitiesReport, RefusedDevicesThrowWithTheirCodes) {
    for (const auto& c : kRefusals) {
        testing_support::LogCapture log;
        try {
            reportOn(c.charger);
            ADD_FAILURE() << c.legend << ": accepted";
        } catch (const device_refused& refusal) {
            EXPECT_EQ(refusalExitCode(refusal), c.exitCode) << c.legend;
            EXPECT_EQ(refusal.what(), std::string(c.errorLine)) << c.legend;
        }
        EXPECT_EQ(log.count(std::string("ERR.capabilities: ") + c.errorLine), 1) << c.legend;
    }
}

}  // namespace
}  // namespace tessline
