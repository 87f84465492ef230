#include "app/link_session.h"

#include <iostream>

#include "app/finish.h"
#include "app/stop_signals.h"
#include "capture/capture_writer.h"

namespace tessline {

LinkSession::LinkSession(const LinkSettings& settings, StopRequest& stop)
    : portName_(settings.portName),
      stop_(stop),
      wakeOnLoss_(settings.wakeOnLoss),
      link_(std::make_shared<TamSerial>(settings.portName)),
      trafficDump_(*link_, std::cout),
      capture_(settings.capture) {
    if (settings.trafficDump) trafficDump_.connect();
    if (capture_) connectCapture(*capture_);
    lossConnection_ = link_->linkLost.connect([this](const std::string& reason) { onLinkLost(reason); });
    link_->setSilenceTimeout(settings.silenceTimeout);
    link_->setActivity(settings.activity);
    link_->start();
    setOpenLink(link_);
}

LinkSession::~LinkSession() {
    // finish() must not find a link that is about to go; one that is
    // closing it now ends the process before this returns.
    setOpenLink(nullptr);
    if (capture_) capture_->closingPort();
    try {
        link_->close();
    } catch (const std::exception&) {
        // Closing a port that is already gone fails; there is nothing left to do.
    }
    if (link_->joinable()) link_->join();
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

// Before the reader thread starts: the capture's times count from here. The
// session holds the capture for as long as these connections last.
void LinkSession::connectCapture(CaptureWriter& capture) {
    capture.opened();
    captureConnections_[0] =
        link_->rxChunk.connect([&capture](const char* bytes, std::size_t count) { capture.received(bytes, count); });
    captureConnections_[1] = link_->txData.connect([&capture](std::string& frame) { capture.sent(frame); });
    captureConnections_[2] = link_->linkLost.connect([&capture](const std::string& reason) { capture.lost(reason); });
}

void leaveOpenForFinish(std::unique_ptr<LinkSession> session) { keepUntilFinish(std::move(session)); }

}  // namespace tessline
