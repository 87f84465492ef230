#include "publish/mqtt_publisher.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
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

// At the end, what is still waiting or in flight gets this long to go out.
constexpr std::chrono::milliseconds kFlushTime{2000};
constexpr std::chrono::milliseconds kFlushStep{10};

}  // namespace

// The broker connection of one charger: its client, its retained messages
// and the backlog of its state messages. The client's events come on the
// client library's threads.
class ChargerConnection : public MqttClientEvents {
public:
    ChargerConnection(const MqttSettings& settings, const Identity& identity, BrokerHealth& health,
                      std::function<void(const std::string&)> fail);
    // Sends what waits, then "offline", and disconnects.
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
    // Queues a state message behind those still waiting; the oldest goes
    // once --mqtt-buffer wait. Never waits on the network.
    void publishState(std::string message);

private:
    void onConnected() override;
    void onConnectionLost() override { setConnected(false); }
    void onTrackedFinished() override;
    void onRefused(const std::string& reason) override { fail_(reason); }
    void handOverStates() { backlog_.handOver(sendState_); }
    void reportDrops(const char* when);
    void flushAndSayOffline();
    void setConnected(bool connected) {
        if (reportsHealth_) health_.connected = connected;
    }

    const MqttSettings& settings_;
    const std::string serial_;
    const Topics topics_;
    BrokerHealth& health_;
    const std::function<void(const std::string&)> fail_;
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

ChargerConnection::ChargerConnection(const MqttSettings& settings, const Identity& identity, BrokerHealth& health,
                                     std::function<void(const std::string&)> fail)
    : settings_(settings),
      serial_(identity.serialNumber),
      topics_(expandTopic(settings.topicPattern, identity)),
      health_(health),
      fail_(std::move(fail)),
      backlog_(static_cast<std::size_t>(settings.buffer), kTrackedInFlight),
      sendState_([this](const std::string& message) {
          return client_->connected() && client_->sendTracked(topics_.state, message, settings_.qos);
      }),
      client_(std::make_unique<MqttClient>(settings, mqttClientId(identity, topics_), *this)),
      retained_(std::make_unique<RetainedMessages>(topics_, *client_)) {}

ChargerConnection::~ChargerConnection() {
    client_->startClosing();
    ending_ = true;
    if (!client_->refused()) flushAndSayOffline();
    client_->disconnect();
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
    health_.dropped += backlog_.dropped() - droppedBefore;
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
// it over, a blip): the library sends it when it connects again within the
// flush time; else the broker keeps the last will's.
void ChargerConnection::flushAndSayOffline() {
    auto deadline = std::chrono::steady_clock::now() + kFlushTime;
    auto waitFor = [&](const std::function<bool()>& done) {
        while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kFlushStep);
    };
    waitFor([this] {
        handOverStates();
        return !client_->connected() || backlog_.waiting() == 0;
    });
    if (!client_->everConnected()) return;
    retained_->sayOffline();
    waitFor([this] { return client_->pendingCount() == 0; });
}

MqttPublisher::MqttPublisher(MqttSettings settings) : settings_(std::move(settings)) {
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
        connection_ = std::make_unique<ChargerConnection>(settings_, identity, health_,
                                                          [this](const std::string& reason) { fail(reason); });
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
void MqttPublisher::replaceConnection(const Identity& identity) {
    std::unique_ptr<ChargerConnection> old = std::move(connection_);
    old->retire();
    connection_ = std::make_unique<ChargerConnection>(settings_, identity, health_,
                                                      [this](const std::string& reason) { fail(reason); });
    ChargerConnection* next = connection_.get();
    std::shared_future<void> before = handOver_;
    handOver_ = std::async(std::launch::async, [this, old = std::move(old), next, before]() mutable {
                    if (before.valid()) before.wait();
                    old.reset();
                    try {
                        next->connect();
                    } catch (const std::exception& e) {
                        fail(e.what());
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
    if (connection_ && !failed_) connection_->retained().setLinkUp(false);
}

void MqttPublisher::onEnd() {
    waitForClosing();
    connection_.reset();
}

std::string MqttPublisher::failure() const {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return failure_;
}

void MqttPublisher::fail(const std::string& reason) {
    if (failed_.exchange(true)) return;
    {
        std::lock_guard<std::mutex> lock(failureMutex_);
        failure_ = reason;
    }
    logError("publish", "%s", reason.c_str());
}

void MqttPublisher::throwIfFailed() const {
    if (failed_) throw broker_refused(failure());
}

}  // namespace tessline
