// solwatch: watches a solar charge controller on a serial port.
#include <iostream>
#include <memory>
#include <optional>

#include "app/error_report.h"
#include "app/finish.h"
#include "app/options.h"
#include "app/run_sequence.h"
#include "app/stop_signals.h"
#include "app/system_options.h"
#include "hex/exit_codes.h"
#include "log/log.h"

using namespace tessline;
namespace po = boost::program_options;

namespace {

// Options up to the port check: a failure prints the library's message
// only. Returns the exit code when the options alone end the run.
std::optional<int> handleOptions(int argc, char* argv[], po::variables_map& options) {
    auto groups = std::make_unique<OptionGroups>();
    options = parseCommandLine(argc, argv, *groups);
    applySystemOptions(options);
    if (options.count("help") || options.count("?")) {
        printHelp(std::cout, *groups);
        return kExitOk;
    }
    if (options.count("version")) {
        std::cout << versionLine() << std::endl;
        return kExitOk;
    }
    if (argc <= 1) {
        printUsage(std::cerr, *groups);
        return kExitUsage;
    }
    logLevel = options.count("verbose") ? 3 : 1;
    logInfo("solwatch", "start");
    if (!options.count("serial")) {
        std::cerr << "Serial port was not set." << std::endl;
        return kExitNoSerial;
    }
    return std::nullopt;
}

// The signal watcher thread uses it until the process ends, so it is never
// destroyed: exit() would otherwise destroy its mutexes and condition
// variable under a watcher that is still notifying.
StopRequest& stopRequest = *new StopRequest;

int run(int argc, char* argv[]) {
    po::variables_map options;
    try {
        if (std::optional<int> end = handleOptions(argc, argv, options)) return *end;
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kExitFailure;
    }
    try {
        stopRequest.watchSignals();
        return runSequence(options, stopRequest);
    } catch (...) {
        return reportFailure(std::cerr, std::current_exception());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    resetLog();
    setOpenLink(nullptr);
    finish(run(argc, argv));
}
