#include "tests/support/log_capture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "log/log.h"
#include "tests/support/scratch_dir.h"

namespace testing_support {

LogCapture::LogCapture() : dir_(makeTempFolder("solwatch-log-")), path_(dir_ + "/log"), savedLevel_(tessline::logLevel) {
    tessline::logFileName = new std::string(path_);
    tessline::logLevel = 3;
}

LogCapture::~LogCapture() {
    delete tessline::logFileName;
    tessline::logFileName = nullptr;
    tessline::logLevel = savedLevel_;
    std::remove(path_.c_str());
    std::error_code ignored;
    std::filesystem::remove(dir_, ignored);
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
