// Shared helpers of the dumper tests: a clock that tests drive, a capture of
// the diagnostic log, and (from tests/support) register answers as the
// request engine delivers them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dumper/dump_clock.h"
#include "dumper/dump_table.h"
#include "identity/device_info.h"
#include "tests/support/fake_link.h"
#include "tests/support/log_capture.h"
#include "tests/support/text_lines.h"

namespace dumper_test {

// Installed while it lives. Sleeps advance it at once and call onSleep; a
// sleep until a deadline jumps to it.
class FakeClock : public tessline::DumpClock {
public:
    explicit FakeClock(std::int64_t seconds);
    ~FakeClock() override;

    std::int64_t now() override { return millis_ / 1000; }
    void sleepFor(std::chrono::milliseconds duration) override;
    void sleepUntil(std::int64_t deadline, const std::atomic<bool>& stop) override;
    void wake() override {}

    void setSeconds(std::int64_t seconds) { millis_ = seconds * 1000; }
    void advance(std::chrono::milliseconds duration) { millis_ += duration.count(); }
    std::int64_t millis() const { return millis_; }

    std::function<void(std::chrono::milliseconds)> onSleep;

private:
    std::atomic<std::int64_t> millis_;
};

// Printed times in these tests are in UTC: the zone is pinned for the
// whole suite (a test environment in dump_test_support.cpp).

using testing_support::LogCapture;
using testing_support::splitLines;
using testing_support::littleEndian;
using testing_support::registerAnswer;
using testing_support::FakeRegisters;

std::vector<std::string> splitFields(const std::string& line);

// A supported charger of the mixed table without any optional capability.
tessline::DeviceInfo plainCharger(std::uint16_t deviceId = 0xA042);

}  // namespace dumper_test
