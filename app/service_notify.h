// What a service manager (systemd) learns of the run: readiness, a status
// line for people, and a watchdog ping while the run makes progress. Each
// call does nothing unless the manager asked for notifications.
#pragma once

#include <string>

namespace tessline {

// Whether a service manager asked for notifications; texts for it need not
// be made otherwise.
bool serviceManagerListens();
void notifyReady(const std::string& status);
void notifyStatus(const std::string& status);
// Progress: rows written, or another try to get the link back.
void notifyWatchdog();
void notifyStopping();

}  // namespace tessline
