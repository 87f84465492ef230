#include "tests/support/log_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "log/log.h"

namespace testing_support {

namespace {

std::string makeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/solwatch-log-XXXXXX";
    if (!::mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

LogCapture::LogCapture() : dir_(makeTempDir()), path_(dir_ + "/log"), savedLevel_(tessline::logLevel) {
    tessline::logFileName = new std::string(path_);
    tessline::logLevel = 3;
}

LogCapture::~LogCapture() {
    delete tessline::logFileName;
    tessline::logFileName = nullptr;
    tessline::logLevel = savedLevel_;
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

}  // namespace testing_support
