#include "tests/dumper/dump_test_support.h"

#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/time_zone.h"

namespace dumper_test {

using namespace tessline;

namespace {

// Pins the zone for the whole suite: printed times and period dates are
// local ones, and the tests expect them in UTC.
class UtcEnvironment : public testing::Environment {
public:
    void SetUp() override { zone_.emplace("UTC"); }
    void TearDown() override { zone_.reset(); }

private:
    std::optional<testing_support::TimeZoneGuard> zone_;
};

testing::Environment* const kUtc = testing::AddGlobalTestEnvironment(new UtcEnvironment);

}  // namespace

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
