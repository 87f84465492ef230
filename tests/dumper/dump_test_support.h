// Shared helpers of the dumper tests: a clock that tests drive, a capture of
// the diagnostic log, register answers as the request engine delivers them.
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
#include "hex/hex_msg.h"
#include "identity/device_info.h"
#include "tests/support/log_capture.h"
#include "tests/support/sim_process.h"

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

// Printed times in these tests are in UTC.
void useUtc();

using testing_support::LogCapture;
using testing_support::splitLines;

// A get-register answer (code 7, id, flags 0, value bytes, checksum) with its
// read position on the first value byte.
tessline::HexMsg registerAnswer(std::uint16_t id, const std::vector<std::uint8_t>& value);
std::vector<std::uint8_t> littleEndian(std::uint32_t number, unsigned width);

// A register reader over fixed register numbers; other registers fail with -3.
struct FakeRegisters {
    std::map<std::uint16_t, std::vector<std::uint8_t>> values;
    std::vector<std::uint16_t> requested;

    void set(std::uint16_t id, std::uint32_t number, unsigned width) { values[id] = littleEndian(number, width); }
    tessline::RegisterReader reader();
};

std::vector<std::string> splitFields(const std::string& line);

// A supported charger of the mixed table without any optional capability.
tessline::DeviceInfo plainCharger(std::uint16_t deviceId = 0xA042);

}  // namespace dumper_test
