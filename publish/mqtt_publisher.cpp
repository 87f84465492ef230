#include "publish/mqtt_publisher.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "log/log.h"
#include "publish/broker_refused.h"
#include "publish/device_payloads.h"
#include "publish/message_backlog.h"
#include "publish/mqtt_client.h"
#include "publish/retained_messages.h"
#include "publish/topics.h"

namespace tessline {

namespace {

constexpr std::chrono::milliseconds kFlushStep{10};

}  // namespace

// A permanent failure: the broker refused the credentials, the TLS
// certificate did not pass, a hand-over could not start connecting. Found on
// the library's threads or a hand-over's, thrown on the dump's.
class PublishFailure {
public:
    // The first reason stays, and is logged once.
    void fail(const std::string& reason) {
        if (failed_.exchange(true)) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reason_ = reason;
        }
        logError("publish", "%s", reason.c_str());
    }
    bool failed() const { return failed_; }
    std::string reason() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reason_;
    }

private:
    std::atomic<bool> failed_{false};
    mutable std::mutex mutex_;  // guards reason_, set once after failed_
    std::string reason_;
};

// The broker connection of one charger: its client, its retained messages
// and the backlog of its state messages. The client's events come on the
// client library's threads, which end with the client, before the rest.
class ChargerConnection : public MqttClientEvents {
public:
    ChargerConnection(const MqttSettings& settings, std::chrono::milliseconds teardown, const Identity& identity,
                      std::shared_ptr<BrokerHealth> health, std::shared_ptr<PublishFailure> failure);
    // Sends what waits, then "offline", and disconnects, all within the
    // teardown time.
    ~ChargerConnection() override;
    ChargerConnection(const ChargerConnection&) = delete;
    ChargerConnection& operator=(const ChargerConnection&) = delete;

    const std::string& serial() const { return serial_; }
    // From now on the broker's health is the next connection's to report.
    void retire() { reportsHealth_ = false; }
    const Topics& topics() const { return topics_; }
    RetainedMessages& retained() { return *retained_; }
    // Starts connecting; each connection publishes the retained messages.
    void connect() { client_->connect(RetainedMessage{topics_.status, kOffline}, kRetainedQos); }
    void fail(const std::string& reason) { failure_->fail(reason); }
    // Queues a state message behind those still waiting; the oldest goes
    // once --mqtt-buffer wait. Never waits on the network.
    void publishState(std::string message);

private:
    void onConnected() override;
    void onConnectionLost() override { setConnected(false); }
    void onTrackedFinished() override;
    void onRefused(const std::string& reason) override { fail(reason); }
    void handOverStates() { backlog_.handOver(sendState_); }
    void reportDrops(const char* when);
    void flushAndSayOffline(std::chrono::steady_clock::time_point start,
                            std::chrono::steady_clock::time_point offlineBy);
    void setConnected(bool connected) {
        if (reportsHealth_) health_->connected = connected;
    }

    // The publisher's settings: it outlives every connection, as it waits
    // for the last hand-over before it goes.
    const MqttSettings& settings_;
    const std::chrono::milliseconds teardown_;
    const std::string serial_;
    const Topics topics_;
    const std::shared_ptr<BrokerHealth> health_;
    const std::shared_ptr<PublishFailure> failure_;
    MessageBacklog backlog_;
    const MessageBacklog::Sender sendState_;
    // Set at the end: a connection made from now on publishes no retained message,
    // so that nothing follows the final "offline".
    std::atomic<bool> ending_{false};
    // Cleared by the dump's thread when another charger's connection takes
    // over; read on the library's threads and the closing one.
    std::atomic<bool> reportsHealth_{true};
    std::unique_ptr<MqttClient> client_;
    std::unique_ptr<RetainedMessages> retained_;
};

ChargerConnection::ChargerConnection(const MqttSettings& settings, std::chrono::milliseconds teardown,
                                     const Identity& identity, std::shared_ptr<BrokerHealth> health,
                                     std::shared_ptr<PublishFailure> failure)
    : settings_(settings),
      teardown_(teardown),
      serial_(identity.serialNumber),
      topics_(expandTopic(settings.topicPattern, identity)),
      health_(std::move(health)),
      failure_(std::move(failure)),
      backlog_(static_cast<std::size_t>(settings.buffer), kTrackedInFlight),
      sendState_([this](const std::string& message) {
          return client_->connected() && client_->sendTracked(topics_.state, message, settings_.qos);
      }),
      client_(std::make_unique<MqttClient>(settings, mqttClientId(identity, topics_), *this)),
      retained_(std::make_unique<RetainedMessages>(topics_, *client_)) {}

// The teardown's shares: the state messages that wait get half of it at
// most, so that "offline" always goes; "offline" then has until a quarter is
// left, which the disconnect gets.
ChargerConnection::~ChargerConnection() {
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + teardown_;
    client_->startClosing();
    ending_ = true;
    if (!client_->refused()) flushAndSayOffline(start, end - teardown_ / 4);
    client_->disconnect(end);
    reportDrops("while the broker was away");
    std::size_t undelivered = client_->pendingCount() + backlog_.waiting();
    if (undelivered && !client_->refused())
        logError("publish", "%zu messages not delivered: the broker %s is away", undelivered,
                 client_->uri().c_str());
    // First, while the backlog and the retained messages are still there
    // for its last callbacks.
    client_.reset();
    setConnected(false);
}

void ChargerConnection::publishState(std::string message) {
    const std::uint64_t droppedBefore = backlog_.dropped();
    const bool firstDrop = backlog_.push(std::move(message));
    health_->dropped += backlog_.dropped() - droppedBefore;
    if (firstDrop)
        logError("publish", "message buffer full (%d): dropping the oldest messages until the broker is back",
                 settings_.buffer);
    handOverStates();
}

void ChargerConnection::onConnected() {
    setConnected(true);
    reportDrops("while the broker was away");
    if (ending_) return;
    retained_->publishOnConnection();
    handOverStates();
}

// Sent, acknowledged or failed: room for the next state message.
void ChargerConnection::onTrackedFinished() {
    backlog_.finished();
    handOverStates();
}

void ChargerConnection::reportDrops(const char* when) {
    if (std::uint64_t dropped = backlog_.takeUnreportedDrops())
        logError("publish", "%llu messages dropped %s", static_cast<unsigned long long>(dropped), when);
}

// The library's own grace time at disconnecting waits out its whole length;
// this one ends once everything is out: the state messages, then "offline".
// The "offline" goes even while the connection is down (another client took
// it over, a blip): the library sends it when it connects again by
// `offlineBy`; else the broker keeps the last will's.
void ChargerConnection::flushAndSayOffline(std::chrono::steady_clock::time_point start,
                                           std::chrono::steady_clock::time_point offlineBy) {
    auto waitFor = [](std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) {
        while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kFlushStep);
    };
    waitFor(start + teardown_ / 2, [this] {
        handOverStates();
        return !client_->connected() || backlog_.waiting() == 0;
    });
    if (!client_->everConnected()) return;
    retained_->sayOffline();
    waitFor(offlineBy, [this] { return client_->pendingCount() == 0; });
}

MqttPublisher::MqttPublisher(MqttSettings settings, std::chrono::milliseconds teardown)
    : settings_(std::move(settings)),
      teardown_(teardown),
      health_(std::make_shared<BrokerHealth>()),
      failure_(std::make_shared<PublishFailure>()) {
    checkMqttSettings(settings_);
}

MqttPublisher::~MqttPublisher() {
    waitForClosing();
    connection_.reset();
}

void MqttPublisher::onTableStart(const Identity& identity, const DeviceInfo& info,
                                 const std::vector<TableColumn>& columns) {
    throwIfFailed();
    messages_ = std::make_unique<RowMessages>(columns);
    bool fresh = !connection_;
    if (connection_ && connection_->serial() != identity.serialNumber) {
        logInfo("publish", "another charger (%s): a new client", identity.serialNumber.c_str());
        replaceConnection(identity);
    } else if (fresh) {
        connection_ = std::make_shared<ChargerConnection>(settings_, teardown_, identity, health_, failure_);
    }
    std::vector<RetainedMessage> discovery;
    if (settings_.discovery)
        discovery = discoveryConfigs(settings_.discoveryPrefix, connection_->topics(), identity, columns);
    connection_->retained().setTable(infoPayload(identity, info), std::move(discovery));
    if (fresh) connection_->connect();
}

// The dump goes on at once: its rows wait in the new connection's backlog
// until the hand-over connected it. A failure to start connecting counts
// as the broker's refusal, which the next row reports.
// The task owns both connections; the publisher waits for it before it
// goes, as the connections read its settings.
void MqttPublisher::replaceConnection(const Identity& identity) {
    std::shared_ptr<ChargerConnection> old = std::move(connection_);
    old->retire();
    connection_ = std::make_shared<ChargerConnection>(settings_, teardown_, identity, health_, failure_);
    std::shared_future<void> before = handOver_;
    handOver_ = std::async(std::launch::async, [old = std::move(old), next = connection_, before]() mutable {
                    if (before.valid()) before.wait();
                    old.reset();
                    try {
                        next->connect();
                    } catch (const std::exception& e) {
                        next->fail(e.what());
                    }
                }).share();
}

void MqttPublisher::waitForClosing() {
    if (handOver_.valid()) handOver_.wait();
    handOver_ = {};
}

void MqttPublisher::onRow(const TableRow& row) {
    throwIfFailed();
    if (!connection_ || !messages_) return;
    RowMessages::Messages messages = messages_->forRow(row);
    connection_->publishState(std::move(messages.state));
    if (!messages.history.empty()) connection_->retained().setHistory(std::move(messages.history));
}

void MqttPublisher::onLinkLost(const std::string&) {
    if (connection_ && !failure_->failed()) connection_->retained().setLinkUp(false);
}

void MqttPublisher::onEnd() {
    waitForClosing();
    connection_.reset();
}

std::string MqttPublisher::failure() const { return failure_->reason(); }

void MqttPublisher::throwIfFailed() const {
    if (failure_->failed()) throw broker_refused(failure());
}

}  // namespace tessline
