#include "tests/http/prometheus_server.h"

#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "tests/http/http_client.h"
#include "tests/support/wait_until.h"

namespace http_test {

using namespace std::chrono_literals;
using testing_support::Process;

const char* const kPrometheus = "/usr/bin/prometheus";
const char* const kPromtool = "/usr/bin/promtool";

bool installed(const char* program) { return ::access(program, X_OK) == 0; }

std::string promtoolComplaints(const std::string& page) {
    testing_support::ScratchDir dir;
    testing_support::writeFile(dir.file("page"), page);
    testing_support::ProcessResult lint =
        testing_support::runProcess({"/bin/sh", "-c", std::string(kPromtool) + " check metrics < " + dir.file("page")});
    return (lint.exitCode == 0 ? "" : "exit code " + std::to_string(lint.exitCode) + ": ") + lint.out + lint.err;
}

PrometheusServer::PrometheusServer(const testing_support::ScratchDir& dir, int target) : port_(freePort()) {
    testing_support::writeFile(dir.file("prometheus.yml"),
                               "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                               "scrape_configs:\n  - job_name: solwatch\n    static_configs:\n"
                               "      - targets: ['127.0.0.1:" + std::to_string(target) + "']\n");
    process_ = std::make_unique<Process>(std::vector<std::string>{
        kPrometheus, "--config.file=" + dir.file("prometheus.yml"), "--storage.tsdb.path=" + dir.file("data"),
        "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"});
}

PrometheusServer::~PrometheusServer() {
    process_->signal(SIGTERM);
    process_->wait(10s);
}

bool PrometheusServer::waitUntilReady() {
    return testing_support::waitUntil(
        [&] { return process_->listensOn(port_) && httpGet(port_, "/-/ready", "GET", 1s).status == 200; }, 30s, 50ms);
}

std::optional<double> PrometheusServer::query(const std::string& expression, double time) {
    std::string target = "/api/v1/query?query=" + expression;
    if (time > 0) target += "&time=" + std::to_string(time);
    Reply reply = httpGet(port_, target, "GET", 3s);
    if (reply.status != 200) return std::nullopt;
    nlohmann::json result = nlohmann::json::parse(reply.body)["data"]["result"];
    if (result.empty()) return std::nullopt;
    return std::stod(result[0]["value"][1].get<std::string>());
}

bool PrometheusServer::waitFor(const std::string& expression, double wanted) {
    return testing_support::waitUntil([&] { return query(expression) == wanted; }, testing_support::kEventBound, 50ms);
}

}  // namespace http_test
