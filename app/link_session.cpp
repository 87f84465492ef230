#include "app/link_session.h"

#include <iostream>

#include "app/finish.h"
#include "app/stop_signals.h"

namespace tessline {

LinkSession::LinkSession(const LinkSettings& settings, StopRequest& stop)
    : portName_(settings.portName),
      stop_(stop),
      wakeOnLoss_(settings.wakeOnLoss),
      link_(settings.portName),
      trafficDump_(link_, std::cout) {
    if (settings.trafficDump) trafficDump_.connect();
    lossConnection_ = link_.linkLost.connect([this](const std::string& reason) { onLinkLost(reason); });
    link_.setSilenceTimeout(settings.silenceTimeout);
    link_.setActivity(settings.activity);
    link_.start();
    setOpenLink(&link_);
}

LinkSession::~LinkSession() {
    // finish() must not find a link that is about to go; one that is
    // closing it now ends the process before this returns.
    setOpenLink(nullptr);
    try {
        link_.close();
    } catch (const std::exception&) {
        // Closing a port that is already gone fails; there is nothing left to do.
    }
    if (link_.joinable()) link_.join();
}

std::string LinkSession::lossReason() const {
    std::lock_guard<std::mutex> lock(lossMutex_);
    return lossReason_;
}

void LinkSession::onLinkLost(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(lossMutex_);
        lossReason_ = reason;
    }
    if (wakeOnLoss_) stop_.deliverLinkLoss();
}

// Where the last session stays: a pointer of static storage, so that a leak
// checker at the exit sees it as kept, not lost.
LinkSession* lastSession = nullptr;

void leaveOpenForFinish(std::unique_ptr<LinkSession> session) { lastSession = session.release(); }

}  // namespace tessline
