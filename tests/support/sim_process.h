// solwatch-sim as a child process: the device of the end-to-end tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/text_lines.h"

namespace testing_support {

class SimProcess {
public:
    // Starts the simulator with these options (unpaced unless `paced`) and
    // waits for its device. Unless the options name a --link, path() is a
    // link of the simulator's in a folder of its own, which follows the
    // device to a new terminal: a raw /dev/pts/N that the simulator has left
    // may be another test's terminal a moment later, and a reconnecting
    // solwatch would take it from that test.
    explicit SimProcess(std::vector<std::string> options, bool paced = false);
    ~SimProcess();

    const std::string& path() const { return path_; }
    Process& process() { return *process_; }

private:
    std::unique_ptr<ScratchDir> linkDir_;  // outlives the process, which removes its link
    std::unique_ptr<Process> process_;
    std::string path_;
};

// Runs solwatch with the arguments to its end (at most `timeout`).
ProcessResult runSolwatch(std::vector<std::string> args,
                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace testing_support
