#include "app/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace tessline {

bool serviceManagerListens() {
    static const bool listens = std::getenv("NOTIFY_SOCKET") != nullptr;
    return listens;
}

// sd_notify returns at once without NOTIFY_SOCKET in the environment, and
// its failures are not ours to act on: the run goes on either way.
void notifyReady(const std::string& status) { sd_notifyf(0, "READY=1\nSTATUS=%s", status.c_str()); }

void notifyStatus(const std::string& status) { sd_notifyf(0, "STATUS=%s", status.c_str()); }

void notifyWatchdog() { sd_notify(0, "WATCHDOG=1"); }

void notifyStopping() { sd_notify(0, "STOPPING=1"); }

}  // namespace tessline
