#include "tests/dumper/dump_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "log/log.h"

namespace dumper_test {

using namespace tessline;

FakeClock::FakeClock(std::int64_t seconds) : millis_(seconds * 1000) { setDumpClock(this); }

FakeClock::~FakeClock() { setDumpClock(nullptr); }

void FakeClock::sleepFor(std::chrono::milliseconds duration) {
    millis_ += duration.count();
    if (onSleep) onSleep(duration);
}

void FakeClock::sleepUntil(std::int64_t deadline, const std::atomic<bool>&) {
    std::int64_t left = deadline * 1000 - millis_;
    if (left > 0) sleepFor(std::chrono::milliseconds(left));
}

void useUtc() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

std::vector<std::uint8_t> littleEndian(std::uint32_t number, unsigned width) {
    std::vector<std::uint8_t> bytes;
    for (unsigned i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    return bytes;
}

HexMsg registerAnswer(std::uint16_t id, const std::vector<std::uint8_t>& value) {
    HexMsg answer;
    answer.appendByte(0x07);
    answer.appendWord(id);
    answer.appendByte(0x00);
    for (std::uint8_t byte : value) answer.appendByte(byte);
    std::uint8_t sum = 0;
    for (std::uint8_t byte : answer.bytes()) sum = static_cast<std::uint8_t>(sum + byte);
    answer.appendByte(static_cast<std::uint8_t>(0x55 - sum));
    answer.readValue(1);
    answer.readValue(2);
    answer.readValue(1);
    return answer;
}

RegisterReader FakeRegisters::reader() {
    return [this](std::uint16_t id, HexMsg& answer) {
        requested.push_back(id);
        auto found = values.find(id);
        if (found == values.end()) return -3;
        answer = registerAnswer(id, found->second);
        return 0;
    };
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    return fields;
}

DeviceInfo plainCharger(std::uint16_t deviceId) {
    DeviceInfo info;
    info.deviceId = deviceId;
    info.appVersion = 0x100;
    return info;
}

}  // namespace dumper_test
