// The report against a charger scripted on a pseudo-terminal: the requests it
// sends, what it returns, and the exits of a device that does not qualify.
#include "identity/capabilities.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "link/tam_serial.h"
#include "tests/identity/device_info_view.h"
#include "tests/support/scripted_device.h"

namespace tessline {
namespace {

using testing_support::frameOf;
using testing_support::ScriptedDevice;

const std::string kPing = ":154";
const std::string kGetDeviceId = ":451";

// Code byte, then a 16-bit number low byte first.
std::vector<unsigned> codeAndWord(unsigned code, unsigned word) {
    return {code, word & 0xFF, word >> 8};
}

std::string requestFor(std::uint16_t reg) {
    std::string frame = frameOf(codeAndWord(0x7, reg));
    frame.pop_back();  // the device sees the request without its line feed
    return frame;
}

std::string wordAnswer(unsigned code, std::uint16_t word) {
    return frameOf(codeAndWord(code, word));
}

// Answers ping and device id as given, registers from the map, any other
// register with the final "no success" code.
struct ScriptedCharger {
    std::string pingAnswer;
    std::string deviceIdAnswer;
    std::map<std::uint16_t, std::vector<unsigned>> registers;

    std::string answer(const std::string& request) const {
        if (request == kPing) return pingAnswer;
        if (request == kGetDeviceId) return deviceIdAnswer;
        const auto reg = static_cast<std::uint16_t>(std::stoul(request.substr(4, 2) + request.substr(2, 2), nullptr, 16));
        auto found = registers.find(reg);
        std::vector<unsigned> bytes = codeAndWord(found == registers.end() ? 0x3 : 0x7, reg);
        bytes.push_back(0x00);  // flags
        if (found == registers.end()) return frameOf(bytes);
        bytes.insert(bytes.end(), found->second.begin(), found->second.end());
        return frameOf(bytes);
    }
};

DeviceInfo reportOn(const ScriptedCharger& charger, std::vector<std::string>* requests = nullptr) {
    ScriptedDevice device([&](const std::string& request, int) { return charger.answer(request); });
    TamSerial serial(device.path());
    serial.start();
    DeviceInfo info = capabilitiesReport(serial);
    serial.close();
    serial.join();
    if (requests) *requests = device.requests();
    return info;
}

TEST(CapabilitiesReport, SelfDescribingCharger) {
    ScriptedCharger charger{wordAnswer(0x5, 0x4116), wordAnswer(0x1, 0xA046), {}};
    charger.registers = {
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
    ScriptedCharger charger{wordAnswer(0x5, 0xC113), wordAnswer(0x1, 0xA07F), {}};
    charger.registers[0x010B] = {'S', 'o', 'l', 'a', 'r', 'U', 'n', 'i', 't', ' ', '\r', '\n'};
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
    {"ping reply without its word", {frameOf({0x5}), wordAnswer(0x1, 0xA040), {}}, 3, "no ping reply"},
    {"boot code", {wordAnswer(0x5, 0x0116), frameOf({0x1}), {}}, 81,
     "application required to determine capabilities..."},
    {"tester", {wordAnswer(0x5, 0x8116), frameOf({0x1}), {}}, 81,
     "application required to determine capabilities..."},
    {"device id reply without its number", {wordAnswer(0x5, 0x4116), frameOf({0x1}), {}}, 22,
     "no device id reply"},
    {"above the charger range", {wordAnswer(0x5, 0x4116), wordAnswer(0x1, 0xA080), {}}, 91,
     "only mppt chargers are supported"},
    {"next to the older charger", {wordAnswer(0x5, 0x4116), wordAnswer(0x1, 0x0301), {}}, 91,
     "only mppt chargers are supported"},
    {"device id unanswered", {wordAnswer(0x5, 0x4116), "", {}}, 3,
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
