#include <gtest/gtest.h>

#include "sim/line_pacer.h"
#include "sim_test_support.h"

namespace tessline {
namespace {

constexpr double kExpectedRate = 1920.0;  // bytes a second at 19200 baud, 8N1

// Sends whatever the pacer allows for `seconds` on a clock moved by the
// given steps (repeated), and returns the bytes a second achieved.
double sendRate(std::vector<std::int64_t> steps, double seconds) {
    LinePacer pacer;
    std::int64_t now = 0;
    std::size_t total = 0;
    auto end = static_cast<std::int64_t>(seconds * 1e6);
    for (std::size_t i = 0; now < end; ++i) {
        std::size_t count = pacer.sendable(now);
        pacer.sent(count, now);
        total += count;
        now += steps[i % steps.size()];
    }
    return double(total) / seconds;
}

TEST(LinePacer, SendRateMatchesTheLineWithinFivePercent) {
    struct Case {
        const char* legend;
        std::vector<std::int64_t> steps;  // microseconds between polls
    };
    const Case cases[] = {
        {"every 100 us", {100}},
        {"every millisecond", {1000}},
        {"every 0.9 ms (inside the window)", {900}},
        {"irregular", {300, 700, 13, 250, 999}},
        {"polls one window apart", {1000}},
    };
    for (const auto& c : cases) {
        double rate = sendRate(c.steps, 20.0);
        EXPECT_NEAR(rate, kExpectedRate, kExpectedRate * 0.05) << c.legend;
    }
}

TEST(LinePacer, ReceivedBytesArriveAtLineSpeed) {
    LinePacer pacer;
    std::int64_t last = 0;
    for (int i = 0; i < 960; ++i) last = pacer.arrival(0);
    EXPECT_NEAR(double(last), 500000.0, 500000.0 * 0.05) << "960 bytes written at once take half a second";

    // A byte read long after the line went idle arrives one byte time later.
    std::int64_t later = pacer.arrival(2000000);
    EXPECT_NEAR(double(later - 2000000), 1e6 / kExpectedRate, 1.0);
}

TEST(LinePacer, NextSendTimeIsWhenBytesMayGoAgain) {
    LinePacer pacer;
    pacer.sent(pacer.sendable(0), 0);
    EXPECT_EQ(pacer.sendable(0), 0u);
    std::int64_t next = pacer.nextSendTime(0);
    EXPECT_GT(next, 0);
    EXPECT_EQ(pacer.sendable(next - 1), 0u);
    EXPECT_GE(pacer.sendable(next), 1u);
}

// The engine honours the pacer: over a long run of TEXT blocks at a period
// shorter than the line needs, the bytes leave at the line's rate.
TEST(LinePacer, EngineOutputKeepsTheLineRate) {
    SimSettings settings;
    settings.frozen = true;
    settings.periodMicros = 20000;  // far more than the line carries
    SimEngine engine(settings, EepromWindow(1), 0);
    simtest::EngineDriver driver(engine);
    std::string out = driver.runFor(10000000, 700);
    EXPECT_NEAR(double(out.size()) / 10.0, kExpectedRate, kExpectedRate * 0.05);
}

// A request is taken only once its last byte would have arrived.
TEST(LinePacer, EngineAnswersOnlyAfterTheRequestArrived) {
    SimSettings settings;
    settings.frozen = true;
    settings.faults.sendText = false;
    SimEngine engine(settings, EepromWindow(1), 0);
    simtest::EngineDriver driver(engine);
    std::string ping = simtest::request({0x01});  // ":154\n", 5 bytes = 2.6 ms on the line
    driver.send(ping);
    EXPECT_EQ(driver.runFor(2400, 100), "");
    EXPECT_EQ(driver.runFor(10000, 100), ":51641F9\n");
}

}  // namespace
}  // namespace tessline
