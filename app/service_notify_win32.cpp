// Windows has no service manager that listens for these notifications in
// this build: every call does nothing.
#include "app/service_notify.h"

namespace tessline {

bool serviceManagerListens() { return false; }

void notifyReady(const std::string&) {}

void notifyStatus(const std::string&) {}

void notifyWatchdog() {}

void notifyStopping() {}

}  // namespace tessline
