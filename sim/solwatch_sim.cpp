// solwatch-sim: a simulated charge controller on a pseudo-terminal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "log/log.h"
#include "capture/capture_format.h"
#include "sim/capture_replay.h"
#include "sim/eeprom_window.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_engine.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"
#include "sim/traffic_log.h"

using namespace tessline;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

// No SA_RESTART: a signal cuts the loop's poll short. A SIGINT ignored at
// the start stays ignored: a script's background job (scripts/run.sh) is
// left to its script, and a Ctrl-C meant for solwatch must not take the
// line away from under it first.
void installSignalHandlers() {
    struct sigaction action {}, previous {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "solwatch-sim: %s\nTry 'solwatch-sim --help'.\n", message.c_str());
    return 2;
}

// A link left over from an earlier run is replaced; any other file is not.
bool makeLink(const std::string& path, const std::string& target) {
    char old[4096];
    if (readlink(path.c_str(), old, sizeof old) >= 0) unlink(path.c_str());
    if (symlink(target.c_str(), path.c_str()) == 0) return true;
    std::fprintf(stderr, "solwatch-sim: cannot make the link %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

// Removes the link only while it still points to this run's terminal.
void removeLink(const std::string& path, const std::string& target) {
    char current[4096];
    ssize_t length = readlink(path.c_str(), current, sizeof current - 1);
    if (length < 0) return;
    current[length] = '\0';
    if (target == current) unlink(path.c_str());
}

EepromWindow eepromFor(const SimSettings& settings) {
    if (settings.eepromFile.empty()) return EepromWindow(settings.seed);
    return EepromWindow(readEepromFile(settings.eepromFile));
}

// The capture of --replay; a file that cannot be read is one error naming
// the file and the line.
Capture loadCapture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open the capture " + path + ": " + std::strerror(errno));
    Capture capture;
    try {
        capture = readCapture(in);
    } catch (const CaptureError& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
    if (capture.events.empty()) throw std::runtime_error(path + ": the capture holds no opening of the port");
    return capture;
}

int serve(const SimSettings& settings) {
    // Files are read before the terminal's path goes out: a bad one is the only output.
    std::unique_ptr<Capture> capture;
    std::unique_ptr<EepromWindow> eeprom;
    if (!settings.replayPath.empty())
        capture = std::make_unique<Capture>(loadCapture(settings.replayPath));
    else
        eeprom = std::make_unique<EepromWindow>(eepromFor(settings));
    TrafficLog trafficLog;
    if (!settings.logPath.empty() && !trafficLog.open(settings.logPath)) {
        std::fprintf(stderr, "solwatch-sim: cannot open the log %s: %s\n", settings.logPath.c_str(), std::strerror(errno));
        return 1;
    }
    PseudoTerminal line;
    if (!settings.linkPath.empty() && !makeLink(settings.linkPath, line.slavePath())) return 1;
    // The first line of standard output is the device path: tests wait for it.
    std::printf("%s\n", line.slavePath().c_str());
    std::fflush(stdout);

    std::int64_t start = monotonicMicros();
    std::unique_ptr<LineDevice> device;
    if (capture)
        device = std::make_unique<CaptureReplay>(*capture, settings.replaySpeed, settings.replayLoop);
    else
        device = std::make_unique<SimEngine>(settings, std::move(*eeprom), start);
    std::string linkTarget = line.slavePath();
    // A later path goes out on a line of its own; the link follows it. Like
    // udev's links to an unplugged adapter, the link goes with a hang-up:
    // left behind, it could lead to another program's terminal that the
    // system gives the freed number.
    auto newTerminal = [&](const std::string& path) {
        if (path.empty()) {
            if (!settings.linkPath.empty()) removeLink(settings.linkPath, linkTarget);
            return;
        }
        if (!settings.linkPath.empty() && makeLink(settings.linkPath, path)) linkTarget = path;
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    };
    SimServer server(line, *device, trafficLog, start, lineOutages(settings.faults), newTerminal);
    logInfo("sim", "serving on %s", line.slavePath().c_str());
    server.run(stopRequested);
    if (!settings.linkPath.empty()) removeLink(settings.linkPath, linkTarget);
    logInfo("sim", "stopped");
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    resetLog();
    logLevel = 1;
    SimCommandLine commandLine;
    try {
        commandLine = parseSimCommandLine(argc, argv);
    } catch (const std::exception& error) {
        return usageError(error.what());
    }
    if (commandLine.help) {
        std::fputs(simHelpText().c_str(), stdout);
        return 0;
    }
    if (commandLine.settings.verbose) logLevel = 3;
    installSignalHandlers();
    try {
        return serve(commandLine.settings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "solwatch-sim: %s\n", error.what());
        return 1;
    }
}
