// How long a stop may take, said once: the signal watcher's grace and the
// broker's teardown are both taken from it.
#pragma once

#include <chrono>

namespace tessline {

// From the stop signal to the end of the process: once it has passed, the
// signal watcher ends the run without waiting any longer.
constexpr std::chrono::milliseconds kStopGrace{3000};
// What the stop needs besides the broker: the running step's return (a
// request that is under way finishes its attempt), the table's last writes,
// the server's end, closing the link and the backlog.
constexpr std::chrono::milliseconds kStopBesidesBroker{1000};
// The broker's share: its waiting state messages, "offline" and the
// disconnect, so that "offline" goes out before the grace runs out.
constexpr std::chrono::milliseconds kBrokerTeardown = kStopGrace - kStopBesidesBroker;

}  // namespace tessline
