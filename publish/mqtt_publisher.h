// MqttPublisher: a charger's rows, identity and presence on an MQTT broker.
// Each row becomes a state message. While the broker is away up to
// --mqtt-buffer of them wait in a backlog of our own (the oldest dropped
// beyond that), which costs far less memory a message than the client
// library's buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "row/table_listener.h"
#include "publish/mqtt_settings.h"
#include "publish/row_messages.h"

namespace tessline {

class ChargerConnection;  // the broker connection of one charger

// The broker link as others see it (the HTTP server's metrics): written on
// the client library's threads and the dump's, read on any.
struct BrokerHealth {
    std::atomic<bool> connected{false};
    std::atomic<std::uint64_t> dropped{0};  // state messages dropped from a full backlog
};

class MqttPublisher : public TableListener {
public:
    // Throws std::invalid_argument for settings that cannot work.
    explicit MqttPublisher(MqttSettings settings);
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
    // Publishes "offline" and disconnects, waiting at most a few seconds.
    void onEnd() override;

    // The reason of a permanent failure, or "".
    std::string failure() const;
    // Any thread, as long as the publisher lives.
    const BrokerHealth& health() const { return health_; }

private:
    void fail(const std::string& reason);
    void throwIfFailed() const;
    void replaceConnection(const Identity& identity);
    void waitForClosing();

    const MqttSettings settings_;
    BrokerHealth health_;  // before connection_, which updates it until it goes
    std::unique_ptr<ChargerConnection> connection_;  // used by the dump's thread only
    // The last hand-over from one charger's connection to the next: it
    // closes the old and then connects the new. Each waits for the one
    // before. Set and waited for by the dump's thread only.
    std::shared_future<void> handOver_;
    std::unique_ptr<RowMessages> messages_;  // of the current table; the dump's thread only
    std::atomic<bool> failed_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;
};

}  // namespace tessline
