#include "app/dump_mode.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include <boost/system/system_error.hpp>

#include "app/finish.h"
#include "app/identification.h"
#include "app/service_notify.h"
#include "app/stop_signals.h"
#include "dumper/dumper.h"
#include "hex/errors.h"
#include "identity/capabilities.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {

constexpr int kBackoffSeconds[] = {1, 2, 4, 8, 16, 30};
// How often a pause looks whether a vanished port is back.
constexpr std::chrono::milliseconds kPortWatchStep{200};

bool portExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string deviceName(const Identity& identity) { return identity.model + " " + identity.serialNumber; }

// Follows the tables and rows of a dump for the service manager and the log.
class DumpProgress : public TableListener {
public:
    // Logs a table about to start for another device than the last one.
    void noteDevice(const Identity& identity) {
        if (tables_ > 0 && !sameDevice(identity, tabled_))
            logError("solwatch", "device changed: %s, now %s", deviceName(tabled_).c_str(),
                     deviceName(identity).c_str());
    }

    void onTableStart(const Identity& identity, const DeviceInfo&, const std::vector<TableColumn>&) override {
        tabled_ = identity;
        if (tables_++ == 0) {
            notifyReady(dumpingStatus());
        } else {
            logInfo("solwatch", "link back: %s", deviceName(identity).c_str());
            notifyStatus(dumpingStatus());
        }
    }
    void onRow(const TableRow&) override {
        ++rows_;
        if (!serviceManagerListens()) return;
        notifyStatus(dumpingStatus());
        notifyWatchdog();
    }
    void onLinkLost(const std::string&) override {}
    void onEnd() override { notifyStopping(); }

    int tables() const { return tables_; }

private:
    std::string dumpingStatus() const {
        return "dumping " + deviceName(tabled_) + ", " + std::to_string(rows_) + " rows";
    }

    int tables_ = 0;
    long long rows_ = 0;
    Identity tabled_;
};

// The listeners hear onEnd() on every way out that unwinds; finish() does
// not unwind, so the orderly end calls it first.
class EndNotice {
public:
    explicit EndNotice(TableListener& listener) : listener_(listener) {}
    ~EndNotice() { end(); }
    void end() {
        if (ended_) return;
        ended_ = true;
        listener_.onEnd();
    }

private:
    TableListener& listener_;
    bool ended_ = false;
};

// Polls and prints until a stop request or a lost link ends the run.
void runTable(LinkSession& session, const Identity& identity, DumpVariant variant, TableListener& listener,
              StopRequest& stop) {
    // Rows at set times can wait a few ms for a byte; the channels table
    // runs as fast as the line allows.
    session.link().setRestBetweenReads(variant != DumpVariant::channels);
    Dumper dumper(session.link());
    dumper.setListener(&listener, identity);
    StopRequest::Waker waker(stop, [&dumper] { dumper.requestStop(); });
    if (stop.requested() || !session.lossReason().empty()) dumper.requestStop();
    dumper.run(variant);
}

// Why a reconnecting run could not go on with this session.
std::string failureReason(LinkSession* session, const std::string& fallback) {
    std::string reason = session ? session->lossReason() : std::string();
    return reason.empty() ? fallback : reason;
}

// Runs `attempt`. A failure that a reconnecting run survives comes back as
// its reason, the lost link's own first; any other failure passes on.
std::string failureOf(const std::function<void()>& attempt, const std::unique_ptr<LinkSession>& session,
                      bool reconnect) {
    try {
        attempt();
        return std::string();
    } catch (const device_refused& e) {
        if (!reconnect) throw;
        return std::string("device refused: ") + e.what();
    } catch (const boost::system::system_error& e) {
        if (!reconnect) throw;
        return failureReason(session.get(), e.what());
    } catch (const no_response&) {
        if (!reconnect) throw;
        return failureReason(session.get(), "no response to a request");
    }
}

[[noreturn]] void endDump(EndNotice& notice, int code) {
    notice.end();
    finish(code);
}

// The pause before a try after failed ones; true when a stop ended it.
// A port that was gone and is back ends the pause early: an adapter
// plugged in again is used at once, not after the rest of a 30 s pause.
bool pauseBeforeRetry(const RetryState& retry, const std::string& portName, StopRequest& stop) {
    if (retry.failures == 0) return stop.requested();
    std::chrono::seconds delay = retryDelay(retry.failures - 1);
    notifyStatus("link lost (" + retry.reason + "), retry in " + std::to_string(delay.count()) + " s");
    notifyWatchdog();
    const std::string path = devicePathForPort(portName);
    const bool wasThere = portExists(path);
    auto end = std::chrono::steady_clock::now() + delay;
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        auto step = std::min<std::chrono::steady_clock::duration>(kPortWatchStep, end - now);
        if (stop.sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(step))) return true;
        if (!wasThere && portExists(path)) return false;
    }
    return stop.requested();
}

}  // namespace

std::chrono::seconds retryDelay(int failures) {
    constexpr int last = sizeof kBackoffSeconds / sizeof kBackoffSeconds[0] - 1;
    return std::chrono::seconds(kBackoffSeconds[failures < last ? failures : last]);
}

std::unique_ptr<LinkSession> connectDevice(const DumpSettings& settings, StopRequest& stop, Identity& identity,
                                           RetryState& retry) {
    for (;; ++retry.failures) {
        if (pauseBeforeRetry(retry, settings.link.portName, stop)) return nullptr;
        std::unique_ptr<LinkSession> session;
        bool identified = false;
        std::string failure = failureOf(
            [&] {
                session = std::make_unique<LinkSession>(settings.link, stop);
                identified = identifyDevice(*session, stop, identity);
            },
            session, settings.reconnect);
        if (identified) return session;
        if (stop.requested()) return nullptr;
        retry.reason = failure.empty() ? failureReason(session.get(), "identification interrupted") : failure;
        logError("solwatch", "cannot reach the device: %s", retry.reason.c_str());
    }
}

void dumpMode(std::unique_ptr<LinkSession> session, const Identity& firstIdentity, const DumpSettings& settings,
              TableListener& outputs, StopRequest& stop) {
    DumpProgress progress;
    TableListeners listeners;
    listeners.add(progress);
    listeners.add(outputs);
    EndNotice notice(listeners);
    Identity identity = firstIdentity;
    RetryState retry;
    for (;;) {
        const int tablesBefore = progress.tables();
        std::string reason = failureOf(
            [&] {
                if (!session) session = connectDevice(settings, stop, identity, retry);
                if (!session) endDump(notice, stop.exitCode());
                progress.noteDevice(identity);
                runTable(*session, identity, settings.variant, listeners, stop);
            },
            session, settings.reconnect);
        if (stop.requested()) endDump(notice, stop.exitCode());
        if (reason.empty()) reason = failureReason(session.get(), "the dump ended");
        logError("solwatch", "link lost: %s", reason.c_str());
        listeners.onLinkLost(reason);
        session.reset();
        if (progress.tables() != tablesBefore) retry.failures = 0;  // the link worked again
        ++retry.failures;
        retry.reason = reason;
    }
}

}  // namespace tessline
