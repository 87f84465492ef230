#include "tests/support/sim_process.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cctype>

#include "tests/support/wait_until.h"
#include <stdexcept>

namespace testing_support {

SimProcess::SimProcess(std::vector<std::string> options, bool paced) {
#ifdef SOLWATCH_SIM_BIN
    options.insert(options.begin(), SOLWATCH_SIM_BIN);
#else
    throw std::runtime_error("this suite was built without the simulator");
#endif
    if (!paced) options.push_back("--no-throttle");
    std::string link;
    if (std::find(options.begin(), options.end(), "--link") == options.end()) {
        linkDir_ = std::make_unique<ScratchDir>();
        ::chmod(linkDir_->path().c_str(), 0755);  // tests that run solwatch as another user
        link = linkDir_->file("line");
        options.insert(options.end(), {"--link", link});
    }
    process_ = std::make_unique<Process>(options);
    path_ = process_->readLine(std::chrono::seconds(10));
    if (path_.empty()) throw std::runtime_error("solwatch-sim printed no device path: " + process_->errSoFar());
    if (link.empty()) return;
    path_ = link;
    waitUntil([&] { return ::access(link.c_str(), F_OK) == 0; });
}

SimProcess::~SimProcess() {
    process_->signal(SIGTERM);
    process_->wait(std::chrono::seconds(5));
}

ProcessResult runSolwatch(std::vector<std::string> args, std::chrono::milliseconds timeout) {
#ifdef SOLWATCH_BIN
    args.insert(args.begin(), SOLWATCH_BIN);
#endif
    return runProcess(args, timeout);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string unstamped(const std::string& text) {
    std::string result;
    for (const auto& line : splitLines(text)) {
        bool stamped = line.size() > 8 && line[3] == '.' && line[7] == ' ' &&
                       std::isdigit(static_cast<unsigned char>(line[0]));
        result += (stamped ? line.substr(8) : line) + "\n";
    }
    return result;
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const auto& l : splitLines(text))
        if (l == line) return true;
    return false;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace testing_support
