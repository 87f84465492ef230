#include "tests/http/http_dump.h"

#include <signal.h>

#include <algorithm>
#include <stdexcept>

#include "tests/http/http_client.h"
#include "tests/support/wait_until.h"

namespace http_test {

using namespace std::chrono_literals;
using testing_support::Process;

namespace {

std::string deviceOf(const std::vector<std::string>& simOptions, const std::string& printed) {
    auto link = std::find(simOptions.begin(), simOptions.end(), "--link");
    return link != simOptions.end() && link + 1 != simOptions.end() ? *(link + 1) : printed;
}

}  // namespace

HttpDump::HttpDump(std::vector<std::string> simOptions, std::vector<std::string> args) {
    if (std::find(simOptions.begin(), simOptions.end(), "--time-scale") == simOptions.end())
        simOptions.insert(simOptions.end(), {"--time-scale", "60"});
    sim_.emplace(simOptions);
    const std::string device = deviceOf(simOptions, sim_->path());
    // Another test may take the free port first: then another one. Its
    // server answers too, so the answer counts once our solwatch listens.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freePort();
        std::vector<std::string> argv{SOLWATCH_BIN, "-s", device};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--http", "127.0.0.1:" + std::to_string(port_)});
        solwatch_ = std::make_unique<Process>(argv);
        bool refused = false;
        const bool answers = testing_support::waitUntil([&] {
            if (solwatch_->listensOn(port_) && httpGet(port_, "/healthz", "GET", 1s).status != 0) return true;
            return refused = solwatch_->waitForErr("cannot listen on", 0ms);
        });
        if (answers && !refused) return;
        solwatch_->signal(SIGKILL);
        solwatch_->wait(5s);
    }
    throw std::runtime_error("solwatch --http did not answer: " + solwatch_->errSoFar());
}

HttpDump::~HttpDump() {
    solwatch_->signal(SIGTERM);
    solwatch_->wait(10s);
}

const Cells& HttpDump::header(std::chrono::milliseconds timeout) {
    if (header_.empty()) nextRow(timeout);
    return header_;
}

Cells HttpDump::nextRow(std::chrono::milliseconds timeout) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
        std::string line = solwatch_->readLine(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()));
        if (line.empty()) break;
        if (line.rfind("Timestamp,", 0) == 0) {
            header_ = csvCells(line);
            continue;
        }
        rows_.push_back(csvCells(line));
        return rows_.back();
    }
    return {};
}

const Cells* HttpDump::rowAt(std::time_t time, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const Cells& row : rows_)
            if (csvTime(row[0]) == time) return &row;
        if (std::chrono::steady_clock::now() >= deadline || (!rows_.empty() && csvTime(rows_.back()[0]) > time))
            return nullptr;
        if (nextRow(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()))
                .empty())
            return nullptr;
    }
}

std::optional<std::string> HttpDump::cell(const Cells& row, const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        auto column = std::find(header_.begin(), header_.end(), name);
        if (column != header_.end() && static_cast<std::size_t>(column - header_.begin()) < row.size())
            return row[column - header_.begin()];
    }
    return std::nullopt;
}

}  // namespace http_test
