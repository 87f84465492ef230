// solwatch's /metrics as a real Prometheus server reads it, scraping a dump
// of solwatch-sim every second.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/http/http_client.h"
#include "tests/http/http_dump.h"
#include "tests/http/prometheus_server.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

using namespace http_test;
using namespace testing_support;
using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

// The scraped battery voltage is the CSV's at the time of the scraped row;
// a pulled cable shows as solwatch_link_up 0 and the live gauges go.
TEST(Prometheus, ScrapesTheCsvValuesAndSeesTheLinkGo) {
    if (!installed(kPrometheus)) GTEST_SKIP() << kPrometheus << " is not installed";
    ScratchDir dir;
    HttpDump dump({}, {"-f", "--reconnect"});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    PrometheusServer prometheus(dir, dump.port());
    ASSERT_TRUE(prometheus.waitUntilReady()) << prometheus.log();
    ASSERT_TRUE(prometheus.waitFor("up", 1)) << prometheus.log();

    // Both series at one time a second ago, so of one stored scrape: the
    // row's time says which CSV row it was.
    std::optional<double> rowTime, voltage;
    ASSERT_TRUE(waitUntil(
        [&] {
            const double time =
                std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() - 1;
            rowTime = prometheus.query("solwatch_last_row_timestamp_seconds", time);
            voltage = prometheus.query("solwatch_battery_voltage_volts", time);
            return rowTime && voltage;
        },
        kEventBound, 50ms))
        << prometheus.log();
    const Cells* row = dump.rowAt(static_cast<std::time_t>(*rowTime), 5s);
    ASSERT_NE(row, nullptr) << "no CSV row of " << *rowTime;
    std::optional<std::string> csvVoltage = dump.cell(*row, {"Vbat[V]", "Vchr[V]"});
    ASSERT_TRUE(csvVoltage);
    EXPECT_DOUBLE_EQ(*voltage, std::stod(*csvVoltage));

    dump.endSimulator();
    EXPECT_TRUE(prometheus.waitFor("solwatch_link_up", 0)) << dump.solwatch().errSoFar();
    EXPECT_EQ(prometheus.query("solwatch_battery_voltage_volts"), std::nullopt);
    EXPECT_EQ(prometheus.query("up"), 1.0);
}

}  // namespace

namespace {

// 300 slow connections from 127.0.0.2, each sending a header byte every
// 3 s and back 1 s after being closed, keep out neither a client on
// 127.0.0.1 that asks twice a second nor Prometheus scraping every second.
TEST(Prometheus, SlowlorisFromOneAddressKeepsNoOtherClientOut) {
    ScratchDir dir;
    HttpDump dump({});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    std::optional<PrometheusServer> prometheus;
    if (installed(kPrometheus)) {
        prometheus.emplace(dir, dump.port());
        ASSERT_TRUE(prometheus->waitUntilReady()) << prometheus->log();
        ASSERT_TRUE(prometheus->waitFor("up", 1)) << prometheus->log();
    }
    Process slowloris({HTTP_SLOWLORIS_BIN, std::to_string(dump.port()), "127.0.0.2", "300", "16"});
    ASSERT_TRUE(slowloris.waitForOutput("slowloris: connecting\n", 10s)) << slowloris.errSoFar();

    // The honest client's share of the attack's time is what is measured.
    const auto honestTime = 14s;
    int asked = 0, answered = 0;
    for (auto end = Clock::now() + honestTime; Clock::now() < end; ++asked) {
        const auto begin = Clock::now();
        Reply reply = httpGet(dump.port(), asked % 2 ? "/healthz" : "/metrics", "GET", 1s);
        if (reply.status != 0 && Clock::now() - begin <= 1s) ++answered;
        std::this_thread::sleep_until(begin + 500ms);  // twice a second, as a dashboard asks
    }
    EXPECT_GE(answered * 100, asked * 95) << answered << " of " << asked << " answered within 1 s";
    if (prometheus) {
        // A failed scrape is stored as up 0.
        EXPECT_EQ(prometheus->query("min_over_time(up[14s])"), 1.0) << prometheus->log();
        EXPECT_GE(prometheus->query("count_over_time(up[14s])").value_or(0), 10) << prometheus->log();
    }
    ProcessResult attack = slowloris.wait(10s);
    long connects = 0;
    std::sscanf(attack.out.c_str() + attack.out.rfind("slowloris: "), "slowloris: %ld connects", &connects);
    EXPECT_GE(connects, 300) << attack.out << attack.err;
}

}  // namespace
