// LineDevice: what SimServer serves on the terminal, the simulated charger
// or a replayed capture. Times are the caller's monotonic microseconds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessline {

class LineDevice {
public:
    using SentObserver = std::function<void(std::int64_t, const std::string&)>;

    virtual ~LineDevice() = default;

    // Bytes the host wrote, read from the line at `now`.
    virtual void receive(const std::string& bytes, std::int64_t now) = 0;
    // Runs everything due by `now`.
    virtual void advance(std::int64_t now) = 0;
    // The bytes the line carries at `now`; a message is never cut by another.
    virtual std::string takeSendable(std::int64_t now) = 0;
    // The next time something is due.
    virtual std::int64_t nextWakeup(std::int64_t now) const = 0;
    // A host opened the line, or closed it: what was on its way is lost.
    virtual void clientCame(std::int64_t /*now*/) {}
    virtual void clientGone() = 0;
    // True once when the device hangs up the line at `now`, as a pulled
    // cable does; the server then offers a fresh line after lineAwayFor().
    virtual bool hangsUp(std::int64_t /*now*/) { return false; }
    virtual std::int64_t lineAwayFor() const { return 0; }
    // The device has nothing more to say: the server stops.
    virtual bool ended() const { return false; }
    // Called with each whole message when its first byte goes out.
    virtual void onMessageSent(SentObserver observer) = 0;
};

}  // namespace tessline
