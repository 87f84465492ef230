// solwatch's /metrics as Prometheus reads it: promtool's linter, and a real
// Prometheus server that scrapes a dump of solwatch-sim every second.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/http/http_client.h"
#include "tests/http/http_dump.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace http_test;
using namespace testing_support;
using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

const char* const kPrometheus = "/usr/bin/prometheus";
const char* const kPromtool = "/usr/bin/promtool";

bool installed(const char* program) { return ::access(program, X_OK) == 0; }

// Prometheus with its own configuration and storage in `dir`, scraping
// 127.0.0.1:target every second.
class PrometheusServer {
public:
    PrometheusServer(const ScratchDir& dir, int target) : port_(freePort()) {
        writeFile(dir.file("prometheus.yml"),
                  "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                  "scrape_configs:\n  - job_name: solwatch\n    static_configs:\n"
                  "      - targets: ['127.0.0.1:" + std::to_string(target) + "']\n");
        process_ = std::make_unique<Process>(std::vector<std::string>{
            kPrometheus, "--config.file=" + dir.file("prometheus.yml"), "--storage.tsdb.path=" + dir.file("data"),
            "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"});
    }
    ~PrometheusServer() {
        process_->signal(SIGTERM);
        process_->wait(10s);
    }

    bool waitUntilReady(std::chrono::seconds timeout) {
        for (auto deadline = Clock::now() + timeout; Clock::now() < deadline; std::this_thread::sleep_for(200ms))
            if (httpGet(port_, "/-/ready", "GET", 1s).status == 200) return true;
        return false;
    }

    // The value of an instant query's first series at `time` (now if 0), or none.
    std::optional<double> query(const std::string& expression, double time = 0) {
        std::string target = "/api/v1/query?query=" + expression;
        if (time > 0) target += "&time=" + std::to_string(time);
        Reply reply = httpGet(port_, target, "GET", 3s);
        if (reply.status != 200) return std::nullopt;
        json result = json::parse(reply.body)["data"]["result"];
        if (result.empty()) return std::nullopt;
        return std::stod(result[0]["value"][1].get<std::string>());
    }

    // Queries until the value is `wanted`, for at most the time.
    bool waitFor(const std::string& expression, double wanted, std::chrono::seconds timeout) {
        for (auto deadline = Clock::now() + timeout; Clock::now() < deadline; std::this_thread::sleep_for(250ms))
            if (query(expression) == wanted) return true;
        return false;
    }

    std::string log() const { return process_->errSoFar(); }

private:
    int port_;
    std::unique_ptr<Process> process_;
};

TEST(Prometheus, PromtoolHasNothingToSayAboutALiveScrape) {
    if (!installed(kPromtool)) GTEST_SKIP() << kPromtool << " is not installed";
    ScratchDir dir;
    HttpDump dump({});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    Reply metrics = httpGet(dump.port(), "/metrics");
    ASSERT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.headers["content-type"], "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(metrics.body.find("\nsolwatch_battery_voltage_volts "), std::string::npos) << metrics.body;
    writeFile(dir.file("metrics.txt"), metrics.body);
    ProcessResult lint = runProcess({"/bin/sh", "-c", std::string(kPromtool) + " check metrics < " + dir.file("metrics.txt")});
    EXPECT_EQ(lint.exitCode, 0);
    EXPECT_EQ(lint.out + lint.err, "") << metrics.body;
}

// The scraped battery voltage is the CSV's at the time of the scraped row;
// a pulled cable shows as solwatch_link_up 0 and the live gauges go.
TEST(Prometheus, ScrapesTheCsvValuesAndSeesTheLinkGo) {
    if (!installed(kPrometheus)) GTEST_SKIP() << kPrometheus << " is not installed";
    ScratchDir dir;
    HttpDump dump({}, {"-f", "--reconnect"});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    PrometheusServer prometheus(dir, dump.port());
    ASSERT_TRUE(prometheus.waitUntilReady(15s)) << prometheus.log();
    ASSERT_TRUE(prometheus.waitFor("up", 1, 10s)) << prometheus.log();
    std::this_thread::sleep_for(1500ms);

    // Both series at one time a second ago, so of one stored scrape: the
    // row's time says which CSV row it was.
    const double time = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() - 1;
    std::optional<double> rowTime = prometheus.query("solwatch_last_row_timestamp_seconds", time);
    std::optional<double> voltage = prometheus.query("solwatch_battery_voltage_volts", time);
    ASSERT_TRUE(rowTime && voltage) << prometheus.log();
    const Cells* row = dump.rowAt(static_cast<std::time_t>(*rowTime), 5s);
    ASSERT_NE(row, nullptr) << "no CSV row of " << *rowTime;
    std::optional<std::string> csvVoltage = dump.cell(*row, {"Vbat[V]", "Vchr[V]"});
    ASSERT_TRUE(csvVoltage);
    EXPECT_DOUBLE_EQ(*voltage, std::stod(*csvVoltage));

    dump.endSimulator();
    EXPECT_TRUE(prometheus.waitFor("solwatch_link_up", 0, 10s)) << dump.solwatch().errSoFar();
    EXPECT_EQ(prometheus.query("solwatch_battery_voltage_volts"), std::nullopt);
    EXPECT_EQ(prometheus.query("up"), 1.0);
}

}  // namespace
