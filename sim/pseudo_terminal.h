// PseudoTerminal: the simulator's end of the line. The program under test
// opens the slave side as if it were a serial port; the simulator reads and
// writes the master side.
#pragma once

#include <string>

namespace tessline {

class PseudoTerminal {
public:
    enum class Read { data, nothing, noHost };

    // Opens the pair with the slave in raw mode. Throws std::system_error.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    bool open() const { return master_ >= 0; }

    // Whether a host holds the slave side open: with none, Linux reports a
    // hang-up on the master until one opens it again.
    bool hostPresent() const;
    // Non-blocking read of what the host wrote, appended to `into`.
    Read read(std::string& into);
    // Non-blocking write; returns the bytes taken, or -1 when no host is there.
    long write(const std::string& bytes);
    // Closes the master side: to the host this looks like a pulled cable.
    void hangUp();

    // After a host left: clears the exclusive-use lock that it may have set
    // on the slave, which outlives its descriptor. False when this user may
    // not open the locked slave either (only a privileged user may).
    bool unlockSlave();
    // Replaces the pair by a fresh one, with a new slave path.
    void renew();

private:
    void openPair();
    void makeSlaveRaw();

    int master_ = -1;
    std::string slavePath_;
};

}  // namespace tessline
