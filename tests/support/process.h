// Runs a program of ours as a child process with captured output streams.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int exitCode = -1;      // low 8 bits of the status, as a shell sees it
    int signal = 0;         // the signal that ended it, if any
    bool timedOut = false;  // killed because it ran past its time
    std::string out;
    std::string err;
};

class Process {
public:
    explicit Process(const std::vector<std::string>& argv);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int pid() const { return pid_; }
    // Signals the child unless it has been waited for: its number may be
    // another process's by then.
    void signal(int sig);
    // Whether the child has a socket listening on this TCP port. A free
    // port that two tests picked at once is another test's server, which
    // answers as well as ours would.
    bool listensOn(int port) const;
    // Reads stdout until a line-ending "\n" has arrived; empty on end or time-out.
    std::string readLine(std::chrono::milliseconds timeout);
    // Collects output until stdout holds `text` or the time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Collects output until stderr holds `text` (at or after `from`) or the time is up.
    bool waitForErr(const std::string& text, std::chrono::milliseconds timeout, std::size_t from = 0);
    const std::string& outSoFar() const { return out_; }
    const std::string& errSoFar() const { return err_; }
    // Waits for the end (killing the child after `timeout`) and returns all output.
    ProcessResult wait(std::chrono::milliseconds timeout);

private:
    bool pump(std::chrono::milliseconds timeout);
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    int pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::size_t lineStart_ = 0;
    bool finished_ = false;
    ProcessResult result_;
};

// A port of 127.0.0.1 that nothing listened on a moment ago (0 if none was
// to be had); a server of the test takes it a moment later.
int freePort();

// Runs a program to its end (at most `timeout`).
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace testing_support
