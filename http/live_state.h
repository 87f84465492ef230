// LiveState: what the HTTP server shows, kept by the dump. The dump's
// thread writes it with a short lock at each table, row and loss; the
// server's thread reads copies of it. Nothing here waits on a client.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "dumper/table_listener.h"
#include "http/history_ring.h"
#include "http/metrics_text.h"
#include "link/line_activity.h"
#include "output/state_message.h"

namespace tessline {

struct BrokerHealth;

// The line's silence as --reconnect judges it, whatever the options: no
// valid frame for the silence timeout (zero: not judged).
struct LineWatch {
    const LineActivity* activity = nullptr;
    std::chrono::seconds silenceTimeout{0};
};

class LiveState : public TableListener {
public:
    // `broker` is null without --mqtt; the line's activity outlives the state.
    LiveState(std::string version, std::shared_ptr<const BrokerHealth> broker, LineWatch line = {});

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string& reason) override;
    void onEnd() override {}

    // An event for the server's /events clients: its name and its JSON data.
    // The sink runs on the dump's thread and must return at once.
    using EventSink = std::function<void(const char* event, const std::string& data)>;
    void setEventSink(EventSink sink);

    // The readers, on any thread.
    std::string metrics() const;
    std::optional<std::string> state() const;  // none before the first row
    std::optional<std::string> info() const;   // none before the first table
    std::string history() const;
    // The link as /events and /api/link tell it: {"up":true}, or
    // {"up":false,"reason":...,"since":unix time of the last data}. The
    // line's silence counts as a loss.
    std::string linkEvent() const;
    // Why the dump is not healthy at `now`, or none while rows flow.
    std::optional<std::string> trouble(std::time_t now) const;

private:
    // Why the line says nothing now, or none; with the lock held.
    std::optional<std::string> silence() const;
    // When the line last carried data, as a unix time; with the lock held.
    std::time_t lastDataTime() const;

    const std::string version_;
    // Shared with the publisher, which updates it: held while the server reads it.
    const std::shared_ptr<const BrokerHealth> broker_;
    const LineWatch line_;
    EventSink sink_;  // set before the dump starts; the dump's thread only

    mutable std::mutex mutex_;  // guards the members below
    std::shared_ptr<const MetricsPage> metricsPage_;
    std::unique_ptr<StateMessageBuilder> builder_;
    std::optional<DeviceLabels> device_;
    std::optional<std::string> info_;
    std::optional<TableRow> lastRow_;  // none while the link is lost
    std::time_t lastRowTime_ = 0;      // of the last row ever
    std::time_t rowInterval_ = 60;     // between the last two rows
    std::optional<std::string> state_;
    bool linkUp_ = false;
    std::string lossReason_;
    std::uint64_t rows_ = 0;
    std::uint64_t losses_ = 0;
    HistoryRing history_;
};

}  // namespace tessline
