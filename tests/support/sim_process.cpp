#include "tests/support/sim_process.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/wait_until.h"

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

}  // namespace testing_support
