// solwatch: watches a solar charge controller on a serial port.
#include <iostream>
#include <memory>

#include <boost/exception/exception.hpp>

#include "app/error_report.h"
#include "app/finish.h"
#include "app/options.h"
#include "app/run_sequence.h"
#include "app/stop_signals.h"
#include "identity/capabilities.h"
#include "log/log.h"
#include "publish/broker_refused.h"

using namespace tessline;
namespace po = boost::program_options;

namespace {

// Options up to the port check: a failure prints the library's message only.
po::variables_map handleOptions(int argc, char* argv[]) {
    auto groups = std::make_unique<OptionGroups>();
    po::variables_map options = parseCommandLine(argc, argv, *groups);
    if (options.count("help") || options.count("?")) {
        printHelp(std::cout, *groups);
        finish(0);
    }
    if (options.count("version")) {
        std::cout << versionLine() << std::endl;
        finish(0);
    }
    if (argc <= 1) {
        printUsage(std::cerr, *groups);
        finish(1);
    }
    logLevel = options.count("verbose") ? 3 : 1;
    logInfo("solwatch", "start");
    if (!options.count("serial")) {
        std::cerr << "Serial port was not set." << std::endl;
        finish(11);
    }
    return options;
}

// The signal watcher thread uses it until the process ends, so it is never
// destroyed: exit() would otherwise destroy its mutexes and condition
// variable under a watcher that is still notifying.
StopRequest& stopRequest = *new StopRequest;

[[noreturn]] void run(const po::variables_map& options) {
    stopRequest.watchSignals();
    runSequence(options, stopRequest);
}

}  // namespace

int main(int argc, char* argv[]) {
    resetLog();
    setOpenLink(nullptr);
    po::variables_map options;
    try {
        options = handleOptions(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        finish(-1);
    }
    try {
        run(options);
    } catch (const device_refused& e) {
        // Logged where it was found; its code is the report.
        finish(refusalExitCode(e));
    } catch (const broker_refused&) {
        finish(kBrokerRefusedExitCode);  // logged where it was found, too
    } catch (const boost::exception& e) {
        finish(reportBoostException(std::cerr, e));
    } catch (const std::exception& e) {
        finish(reportStdException(std::cerr, e));
    } catch (...) {
        finish(reportUnknownException(std::cerr));
    }
}
