// MqttPublisher: a charger's rows, identity and presence on an MQTT broker.
// Each row becomes a state message. While the broker is away up to
// --mqtt-buffer of them wait in a backlog of our own (the oldest dropped
// beyond that), which costs far less memory a message than the client
// library's buffer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>

#include "row/table_listener.h"
#include "publish/mqtt_settings.h"
#include "publish/row_messages.h"

namespace tessline {

class ChargerConnection;  // the broker connection of one charger
class PublishFailure;     // a permanent failure, found on any thread

// The broker link as others see it (the HTTP server's metrics): written on
// the client library's threads and the dump's, read on any. Shared: each
// reader holds it for as long as it reads.
struct BrokerHealth {
    std::atomic<bool> connected{false};
    std::atomic<std::uint64_t> dropped{0};  // state messages dropped from a full backlog
};

class MqttPublisher : public TableListener {
public:
    // Throws std::invalid_argument for settings that cannot work. `teardown`
    // is how long the end may take: the waiting state messages, "offline"
    // and the disconnect, all within it.
    MqttPublisher(MqttSettings settings, std::chrono::milliseconds teardown);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // The first table, or one of another charger, starts a connection for
    // it (client id solwatch-<serial>); the same charger's keeps its own.
    // The connection of the charger before closes on a thread of its own
    // (its flush takes up to a few seconds), and the new one connects only
    // after its "offline", which may go to the same status topic.
    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Queues the state message for the broker and returns at once;
    // the history message goes too when its total or a past day changed.
    // Once the broker refused the credentials or the TLS certificate did not
    // pass (found on the library's thread and logged there), the next row
    // or table throws broker_refused instead.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string& reason) override;
    // Publishes "offline" and disconnects, waiting at most the teardown
    // time (and for a hand-over still closing the charger before).
    void onEnd() override;

    // The reason of a permanent failure, or "".
    std::string failure() const;
    // Any thread; the holder keeps it beyond the publisher's end.
    std::shared_ptr<const BrokerHealth> health() const { return health_; }

private:
    void throwIfFailed() const;
    void replaceConnection(const Identity& identity);
    void waitForClosing();

    const MqttSettings settings_;
    const std::chrono::milliseconds teardown_;
    // Shared with every connection (and the metrics' reader), which update it
    // on the library's threads.
    const std::shared_ptr<BrokerHealth> health_;
    // Shared with every connection and hand-over, which report to it.
    const std::shared_ptr<PublishFailure> failure_;
    // The current charger's; the dump's thread only. A hand-over task holds
    // it too until it has connected it.
    std::shared_ptr<ChargerConnection> connection_;
    // The last hand-over from one charger's connection to the next: it
    // closes the old and then connects the new. Each waits for the one
    // before, and owns what it uses. Set and waited for by the dump's
    // thread only.
    std::shared_future<void> handOver_;
    std::unique_ptr<RowMessages> messages_;  // of the current table; the dump's thread only
};

}  // namespace tessline
