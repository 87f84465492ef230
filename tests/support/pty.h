// A pseudo-terminal for tests: the test holds the master side and plays the
// device; the code under test opens the slave path like a serial port.
#pragma once

#include <chrono>
#include <string>

namespace testing_support {

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    void write(const std::string& bytes);
    // Reads what arrives until `until` is found or the time is up.
    std::string readUntil(const std::string& until, std::chrono::milliseconds timeout);
    // Reads whatever arrives within the time.
    std::string readFor(std::chrono::milliseconds duration);
    void closeMaster();

private:
    int master_ = -1;
    int slaveKeeper_ = -1;  // keeps the slave alive so the master never reads EIO before a client opens it
    std::string slavePath_;
};

}  // namespace testing_support
