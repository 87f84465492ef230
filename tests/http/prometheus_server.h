// A real Prometheus server for the end-to-end tests: its own configuration
// and storage in a scratch folder, scraping one solwatch every second.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/process.h"
#include "tests/support/scratch_dir.h"

namespace http_test {

extern const char* const kPrometheus;
extern const char* const kPromtool;

bool installed(const char* program);

// What promtool's linter says about a /metrics page ("" when nothing).
std::string promtoolComplaints(const std::string& page);

class PrometheusServer {
public:
    // Scrapes 127.0.0.1:target every second.
    PrometheusServer(const testing_support::ScratchDir& dir, int target);
    ~PrometheusServer();

    bool waitUntilReady();
    // The value of an instant query's first series at `time` (now if 0), or
    // none. The expression goes into the URL as it is: no spaces.
    std::optional<double> query(const std::string& expression, double time = 0);
    // Queries until the value is `wanted`, for at most the event bound.
    bool waitFor(const std::string& expression, double wanted);
    std::string log() const { return process_->errSoFar(); }

private:
    int port_;
    std::unique_ptr<testing_support::Process> process_;
};

}  // namespace http_test
