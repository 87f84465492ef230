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
#include "publish/state_message.h"

namespace tessline {

struct BrokerHealth;

class LiveState : public TableListener {
public:
    // `broker` (null without --mqtt) outlives the state.
    LiveState(std::string version, const BrokerHealth* broker);

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
    // The link event that a new /events client gets first.
    std::string linkEvent() const;
    // Why the dump is not healthy at `now`, or none while rows flow.
    std::optional<std::string> trouble(std::time_t now) const;

private:
    static std::string linkJson(bool up, const std::string& reason);

    const std::string version_;
    const BrokerHealth* const broker_;
    EventSink sink_;  // set before the dump starts; the dump's thread only

    mutable std::mutex mutex_;  // guards the members below
    std::shared_ptr<const MetricsPage> metricsPage_;
    std::unique_ptr<StateMessageBuilder> builder_;
    std::optional<DeviceLabels> device_;
    std::optional<std::string> info_;
    std::optional<TableRow> lastRow_;  // none while the link is lost
    std::time_t lastRowTime_ = 0;      // of the last row ever
    std::optional<std::string> state_;
    bool linkUp_ = false;
    std::string lossReason_;
    std::uint64_t rows_ = 0;
    std::uint64_t losses_ = 0;
    HistoryRing history_;
};

}  // namespace tessline
