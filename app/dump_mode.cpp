#include "app/dump_mode.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/identification.h"
#include "app/service_notify.h"
#include "platform/civil_time.h"
#include "app/stop_signals.h"
#include "dumper/dumper.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {

// How often a pause looks whether a vanished port is back.
constexpr std::chrono::milliseconds kPortWatchStep{200};

bool portExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string deviceName(const Identity& identity) { return identity.model + " " + identity.serialNumber; }

// Local clock time of a moment, with its date when it was not today.
std::string clockTime(std::time_t moment) {
    std::tm then{}, today{};
    const std::time_t now = std::time(nullptr);
    toLocalTime(moment, then);
    toLocalTime(now, today);
    const bool sameDay = then.tm_year == today.tm_year && then.tm_yday == today.tm_yday;
    char text[32];
    std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%Y-%m-%d %H:%M", &then);
    return text;
}

// A failed try to reach the device, in the log as its absence policy says.
void logFailedTry(RetryState& retry) {
    switch (retry.absence.tryFailed(AbsenceLog::Clock::now())) {
        case AbsenceLog::Line::first:
            retry.awaySince = std::time(nullptr);
            logError("solwatch", "cannot reach the device: %s", retry.reason.c_str());
            break;
        case AbsenceLog::Line::reminder:
            logError("solwatch", "still cannot reach the device since %s: %s", clockTime(retry.awaySince).c_str(),
                     retry.reason.c_str());
            break;
        case AbsenceLog::Line::none: break;
    }
}

// Follows the tables and rows of a dump for the service manager, the log
// and the tries (a table is a working link).
class DumpProgress : public TableListener {
public:
    DumpProgress(RetryState& retry, std::function<std::size_t()> heldRows)
        : retry_(retry), heldRows_(std::move(heldRows)) {}

    // Logs a table about to start for another device than the last one.
    void noteDevice(const Identity& identity) {
        if (tables_ > 0 && !sameDevice(identity, tabled_))
            logError("solwatch", "device changed: %s, now %s", deviceName(tabled_).c_str(),
                     deviceName(identity).c_str());
    }

    void onTableStart(const Identity& identity, const DeviceInfo&, const std::vector<TableColumn>&) override {
        tabled_ = identity;
        retry_.backoff.linkWorked();
        if (retry_.absence.deviceBack())
            logNotice("solwatch", "device reachable again: %s", deviceName(identity).c_str());
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

private:
    std::string dumpingStatus() const {
        std::string status = "dumping " + deviceName(tabled_) + ", " + std::to_string(rows_) + " rows";
        std::size_t held = heldRows_ ? heldRows_() : 0;
        if (held > 0) status += ", " + std::to_string(held) + " held: the file cannot be written";
        return status;
    }

    RetryState& retry_;
    std::function<std::size_t()> heldRows_;
    int tables_ = 0;
    long long rows_ = 0;
    Identity tabled_;
};

// Everyone who follows a dump: the outputs, then its progress (whose status
// counts the rows that the outputs could not write).
// They hear onEnd() when it goes, however the dump ends.
class DumpListeners : public TableListeners {
public:
    DumpListeners(TableListener& outputs, RetryState& retry, std::function<std::size_t()> heldRows)
        : progress(retry, std::move(heldRows)) {
        add(outputs);
        add(progress);
    }
    ~DumpListeners() { onEnd(); }
    DumpListeners(const DumpListeners&) = delete;
    DumpListeners& operator=(const DumpListeners&) = delete;

    DumpProgress progress;
};

// Polls and prints until a stop request or a lost link ends the run.
void dumpSession(LinkSession& session, const Identity& identity, const DumpSettings& settings,
                 TableListener& listener, StopRequest& stop) {
    const DumpVariant variant = settings.variant;
    // Rows at set times can wait a few ms for a byte; the channels table
    // runs as fast as the line allows.
    session.link().setRestBetweenReads(variant != DumpVariant::channels);
    Dumper dumper(session.link(), session.link());
    dumper.setListener(&listener, identity);
    // A reconnecting run logs a refusal as it logs an absent device.
    dumper.setRefusalLog(settings.reconnect ? RefusalLog::byCaller : RefusalLog::here);
    StopRequest::Waker waker(stop, [&dumper] { dumper.requestStop(); });
    if (stop.requested() || !session.lossReason().empty()) dumper.requestStop();
    dumper.run(variant);
}

std::string lossReasonOf(const LinkSession* session) { return session ? session->lossReason() : std::string(); }

// Call from a catch block: the verdict on the failure in flight, for a
// reconnecting run that goes on after it. Any other failure, and every
// failure of a run without reconnection, passes on.
FailureVerdict survivedVerdict(const LinkSession* session, bool reconnect) {
    const FailureVerdict verdict = classifyFailure(std::current_exception(), lossReasonOf(session));
    if (!reconnect || !verdict.survivable) throw;
    return verdict;
}

// Why a run could not go on with a session that ended without a failure.
std::string quietEndReason(const LinkSession* session, const char* fallback) {
    const std::string reason = lossReasonOf(session);
    return reason.empty() ? fallback : reason;
}

// The pause before a try after failed ones; true when a stop ended it.
// A port that was gone and is back ends the pause early: an adapter
// plugged in again is used at once, not after the rest of a 30 s pause.
bool pauseBeforeRetry(const RetryState& retry, const std::string& portName, StopRequest& stop) {
    const std::chrono::seconds delay = retry.backoff.nextDelay();
    if (delay.count() == 0) return stop.requested();
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

std::unique_ptr<LinkSession> connectDevice(const DumpSettings& settings, StopRequest& stop, Identity& identity,
                                           RetryState& retry) {
    for (;;) {
        if (pauseBeforeRetry(retry, settings.link.portName, stop)) return nullptr;
        std::unique_ptr<LinkSession> session;
        std::string failure;
        try {
            session = std::make_unique<LinkSession>(settings.link, stop);
            if (identifyDevice(*session, stop, identity)) return session;
        } catch (...) {
            failure = survivedVerdict(session.get(), settings.reconnect).reason;
        }
        if (stop.requested()) return nullptr;
        retry.reason = failure.empty() ? quietEndReason(session.get(), "identification interrupted") : failure;
        logFailedTry(retry);
        retry.backoff.failed();
    }
}

int dumpMode(std::unique_ptr<LinkSession>& session, const Identity& firstIdentity, const DumpSettings& settings,
             RetryState& retry, TableListener& outputs, StopRequest& stop, std::function<std::size_t()> heldRows) {
    DumpListeners listeners(outputs, retry, std::move(heldRows));
    Identity identity = firstIdentity;
    for (;;) {
        std::string reason;
        bool refused = false;
        try {
            if (!session) session = connectDevice(settings, stop, identity, retry);
            if (!session) return stop.exitCode();
            listeners.progress.noteDevice(identity);
            dumpSession(*session, identity, settings, listeners, stop);
        } catch (...) {
            const FailureVerdict verdict = survivedVerdict(session.get(), settings.reconnect);
            reason = verdict.reason;
            // Only a refusal is survived and logged where it is found.
            refused = verdict.loggedWhereFound;
        }
        if (stop.requested()) return stop.exitCode();
        if (reason.empty()) reason = quietEndReason(session.get(), "the dump ended");
        if (refused) {
            // The charger answers but is not taken: a line at the first
            // refusal, a reminder an hour, and its return, as for an absence.
            retry.reason = reason;
            logFailedTry(retry);
        } else {
            logError("solwatch", "link lost: %s", reason.c_str());
        }
        listeners.onLinkLost(reason);
        session.reset();
        retry.backoff.failed();
        retry.reason = reason;
    }
}

}  // namespace tessline
