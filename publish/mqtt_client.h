// MqttClient: our wrapper around Eclipse Paho's asynchronous client, one
// connection to the broker for one charger. The library connects again by
// itself after the broker's absences; this class logs an absence once and
// the return once, and tells a refusal that waiting does not mend (the
// credentials, the TLS certificate) to its owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "publish/device_payloads.h"
#include "publish/message_sink.h"
#include "publish/mqtt_settings.h"

namespace tessline {

// Tracked messages handed to the library and not finished, at most, for the
// owner to keep to: the library's own buffer costs over 1 KB a message, a
// backlog of the owner's little more than the message.
constexpr int kTrackedInFlight = 100;

// What the client tells its owner, on the client library's threads (the
// refusal also on a thread of the client's own).
class MqttClientEvents {
public:
    virtual ~MqttClientEvents() = default;
    virtual void onConnected() = 0;
    // The connection dropped; the library connects again by itself.
    virtual void onConnectionLost() {}
    // A message of sendTracked() is sent, acknowledged or failed.
    virtual void onTrackedFinished() = 0;
    // At most once: the broker will not take us, however long we retry.
    virtual void onRefused(const std::string& reason) = 0;
};

class MqttClient : public MessageSink {
public:
    // Calls the library's global start-up once. Throws std::runtime_error
    // when the library cannot create the client.
    MqttClient(const MqttSettings& settings, const std::string& clientId, MqttClientEvents& events);
    // No callback runs any more once this returns.
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts connecting, with `lastWill` retained for the broker to publish
    // when we vanish.
    void connect(const RetainedMessage& lastWill, int qos);
    bool connected() const override { return connected_; }
    // Once connected, the broker retains what we said until we say otherwise.
    bool everConnected() const { return everConnected_; }
    bool refused() const { return refused_; }
    const std::string& uri() const { return uri_; }

    bool send(const std::string& topic, const std::string& payload, int qos, bool retained) override;
    // Not retained; its completion comes as onTrackedFinished().
    bool sendTracked(const std::string& topic, const std::string& payload, int qos);
    // Messages the library holds that are not finished.
    std::size_t pendingCount() const;

    // The end begins: a failed TLS connection is not probed any more.
    void startClosing();
    // Disconnects, waiting until `until` at most for the library to confirm
    // it; tracked completions that come later find the client disconnected.
    void disconnect(std::chrono::steady_clock::time_point until);

private:
    // The library's callbacks, which know its types; defined with the class.
    struct Callbacks;

    bool sendMessage(const std::string& topic, const std::string& payload, int qos, bool retained, bool tracked);
    void refuse(const std::string& reason);
    void reportAbsence(const std::string& what);
    void probeCertificate(const std::string& failure);
    void signalDisconnected();

    const MqttSettings& settings_;
    const std::string uri_;
    const std::string clientId_;
    MqttClientEvents& events_;
    void* client_ = nullptr;  // the library's MQTTAsync handle
    // Set by the library's threads, read by the owner's and by them.
    std::atomic<bool> connected_{false};
    std::atomic<bool> everConnected_{false};
    // Set once by whichever thread finds the refusal first.
    std::atomic<bool> refused_{false};
    // Set once the broker's absence is logged; the next connection logs its
    // return. Retries in between stay quiet.
    std::atomic<bool> absenceLogged_{false};

    std::mutex mutex_;  // guards the members below; the library's threads take it too
    bool closing_ = false;
    bool disconnected_ = false;
    std::condition_variable disconnectedChanged_;
    // Asks a failed TLS handshake why, away from the library's threads.
    std::thread certificateProbe_;
};

}  // namespace tessline
