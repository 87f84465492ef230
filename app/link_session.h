// LinkSession: one opening of the port, from open to close. A run without
// reconnection has one; a reconnecting dump opens a new one after each loss.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include <boost/signals2/connection.hpp>

#include "link/tam_serial.h"
#include "link/tam_serial_dump.h"

namespace tessline {

class CaptureWriter;
class StopRequest;

struct LinkSettings {
    std::string portName;
    bool trafficDump = false;
    // Reconnecting runs: silence beyond this is a loss, and a loss wakes the
    // running step. Zero: a loss only ends the reader thread, and the next
    // write reports it.
    bool wakeOnLoss = false;
    std::chrono::seconds silenceTimeout{0};
    LineActivity* activity = nullptr;  // told of every valid frame, if set
    // --capture: records the traffic of every opening of the port; each
    // session holds it while its link's threads may record into it.
    std::shared_ptr<CaptureWriter> capture;
};

class LinkSession {
public:
    // Opens the port (system_error "open PATH" when it cannot) and starts it.
    LinkSession(const LinkSettings& settings, StopRequest& stop);
    // Closes the port and ends its reader thread.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    TamSerial& link() { return *link_; }
    const std::string& portName() const { return portName_; }
    // Why the line went away, or empty while it is there.
    std::string lossReason() const;

private:
    void onLinkLost(const std::string& reason);
    void connectCapture(CaptureWriter& capture);

    std::string portName_;
    StopRequest& stop_;
    bool wakeOnLoss_;
    // Shared with finish(), which may close it on another thread.
    const std::shared_ptr<TamSerial> link_;
    TamSerialDump trafficDump_;
    boost::signals2::scoped_connection lossConnection_;
    const std::shared_ptr<CaptureWriter> capture_;
    boost::signals2::scoped_connection captureConnections_[3];
    mutable std::mutex lossMutex_;  // guards lossReason_: set on the reader thread, read by the main thread
    std::string lossReason_;
};

// The link of a run's last session stays open, and finish() owns its
// session: finish() closes the link after everything else, and a close that
// fails ends the run with its own exit code rather than being ignored as it
// is when a reconnecting dump lets a lost session go.
void leaveOpenForFinish(std::unique_ptr<LinkSession> session);

}  // namespace tessline
