#include "tests/reader/reader_fixtures.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "log/log.h"

namespace tessline {
namespace test {

namespace {

std::string makeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/reader-tests-XXXXXX";
    if (!::mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

LogCapture::LogCapture() : dir_(makeTempDir()), path_(dir_ + "/log"), savedLevel_(logLevel) {
    logFileName = new std::string(path_);
    logLevel = 3;
}

LogCapture::~LogCapture() {
    delete logFileName;
    logFileName = nullptr;
    logLevel = savedLevel_;
    std::remove(path_.c_str());
    ::rmdir(dir_.c_str());
}

std::vector<std::string> LogCapture::lines() const {
    std::vector<std::string> result;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
        auto stampEnd = line.find(' ');
        result.push_back(stampEnd == std::string::npos ? line : line.substr(stampEnd + 1));
    }
    return result;
}

int LogCapture::count(const std::string& wanted) const {
    int n = 0;
    for (const auto& line : lines()) n += line == wanted;
    return n;
}

bool waitUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace test
}  // namespace tessline
