#include "publish/mqtt_publisher.h"

#include <MQTTAsync.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "log/log.h"
#include "publish/broker_refused.h"
#include "publish/device_payloads.h"
#include "publish/tls_probe.h"
#include "publish/topics.h"

namespace tessline {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kMinRetrySeconds = 1;
constexpr int kMaxRetrySeconds = 10;  // a broker back finds us within seconds
// Retained presence goes out at least once, whatever --mqtt-qos says.
constexpr int kPresenceQos = 1;
// Rows handed to the library and not yet finished, at most. The rest wait
// in the session's backlog, which costs little more than the message: the
// library's own buffer costs over 1 KB a message.
constexpr int kStatesInFlight = 100;
// The library's buffer holds the rows in flight and the retained presence
// messages (a status for each link loss and return among them) while the
// broker is away.
constexpr int kLibraryBuffer = kStatesInFlight + 1000;
// At the end, what is still buffered or in flight gets this long to go out.
constexpr std::chrono::milliseconds kFlushTime{2000};
constexpr std::chrono::milliseconds kFlushStep{10};
constexpr std::chrono::milliseconds kDisconnectWait{1000};

const char* const kOnline = "online";
const char* const kOffline = "offline";

// The MQTT 3.1.1 refusals that waiting does not mend.
const char* permanentRefusal(int code) {
    switch (code) {
        case 1: return "unacceptable protocol version";
        case 2: return "client identifier rejected";
        case 4: return "bad user name or password";
        case 5: return "not authorized";
        default: return nullptr;
    }
}

// OpenSSL's error line "...:error:0A000086:SSL routines:function:reason:file:line:"
// keeps its reason in the sixth field.
std::string tlsReason(const std::string& line) {
    std::size_t start = 0;
    for (int field = 0; field < 5; ++field) {
        start = line.find(':', start);
        if (start == std::string::npos) return line;
        ++start;
    }
    std::size_t end = line.find(':', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::size_t pendingCount(MQTTAsync client) {
    MQTTAsync_token* tokens = nullptr;
    std::size_t count = 0;
    if (MQTTAsync_getPendingTokens(client, &tokens) == MQTTASYNC_SUCCESS && tokens) {
        while (tokens[count] != -1) ++count;
        MQTTAsync_free(tokens);
    }
    return count;
}

// OpenSSL initialises itself when a TLS connection first needs it; the
// library's own start-up of it would load all its tables and texts even for
// a plain mqtt:// broker, some 2 MB of memory.
void initialiseClientLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        MQTTAsync_init_options options = MQTTAsync_init_options_initializer;
        options.do_openssl_init = 0;
        MQTTAsync_global_init(&options);
    });
}

}  // namespace

// One client for one charger. Its callbacks run on the client library's
// threads, which hold the library's lock. Sending from the connected and
// completion callbacks is allowed; the TLS error callback never calls the
// library back.
class MqttPublisher::Session {
public:
    Session(MqttPublisher& owner, const Identity& identity);
    ~Session() { end(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& serial() const { return serial_; }
    const Topics& topics() const { return topics_; }
    // Stores what is published on every connection, and publishes it now
    // when connected.
    void setPresence(std::string info, std::vector<RetainedMessage> discovery);
    // Stores the retained history message and publishes it now when connected.
    void setHistory(std::string history);
    // Starts connecting; the connected callback publishes the presence.
    void connect();
    void setLinkUp(bool up);
    // Queues a row behind those still waiting; the oldest goes once
    // --mqtt-buffer rows wait. Never waits on the network.
    void publishState(std::string payload);
    void end();

private:
    static void connected(void* context, char* cause);
    static void connectionLost(void* context, char* cause);
    static void connectFailed(void* context, MQTTAsync_failureData* data);
    static int tlsError(const char* text, std::size_t length, void* context);
    static void stateSent(void* context, MQTTAsync_successData*) { rowFinished(context); }
    static void stateNotSent(void* context, MQTTAsync_failureData*) { rowFinished(context); }
    static void rowFinished(void* context);
    static void disconnectDone(void* context, MQTTAsync_successData*);
    static void disconnectFailed(void* context, MQTTAsync_failureData*);

    // True when the library took the message. A row's completion is heard
    // by stateSent or stateNotSent.
    bool send(const std::string& topic, const std::string& payload, int qos, bool retained, bool row = false);
    void publishPresenceWhenDue();
    void handOverRows();
    bool rowsWaiting();
    void reportDrops(const char* when);
    void reportAbsence(const std::string& what);
    void probeCertificate(const std::string& failure);
    void signalDisconnected();
    void sayOffline();

    MqttPublisher& owner_;
    const MqttSettings& settings_;
    std::string serial_;
    Topics topics_;
    std::string uri_;
    std::string clientId_;
    MQTTAsync client_ = nullptr;
    std::atomic<bool> connected_{false};
    // Once connected, the broker retains "online" until we say otherwise.
    std::atomic<bool> everConnected_{false};
    // Set by end(): a connection made from now on publishes no presence,
    // so that nothing follows the final "offline".
    std::atomic<bool> ending_{false};
    std::atomic<bool> linkUp_{true};
    std::atomic<bool> presenceDue_{false};
    // Set once the broker's absence is logged; the next connection logs its
    // return. Retries in between stay quiet.
    std::atomic<bool> absenceLogged_{false};
    // Rows handed to the library that it has not finished (sent, or
    // acknowledged with QoS 1 and 2).
    std::atomic<int> statesInFlight_{0};
    // Set by whoever wants rows handed over; the thread that holds
    // backlogMutex_ looks at it again before it leaves, so a library thread
    // never has to wait for the lock.
    std::atomic<bool> handOverDue_{false};

    // Guards the backlog. Held while rows are handed over, so that they
    // reach the library in order. The library calls back holding its own
    // lock, so its threads take this one only by trying.
    std::mutex backlogMutex_;
    std::deque<std::string> backlog_;
    // Rows dropped from the full backlog, and those of them told of.
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> reportedDrops_{0};

    std::mutex mutex_;  // guards the members below; the library's threads take it too
    std::string info_;
    std::vector<RetainedMessage> discovery_;
    std::string history_;  // empty: none (yet)
    bool ended_ = false;
    bool disconnected_ = false;
    std::condition_variable disconnectedChanged_;
    // Asks a failed TLS handshake why, away from the library's threads.
    std::thread certificateProbe_;
};

MqttPublisher::Session::Session(MqttPublisher& owner, const Identity& identity)
    : owner_(owner),
      settings_(owner.settings_),
      serial_(identity.serialNumber),
      topics_(expandTopic(owner.settings_.topicPattern, identity)),
      uri_(owner.settings_.broker.clientUri()),
      clientId_(mqttClientId(identity, topics_)) {
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    create.sendWhileDisconnected = 1;
    create.allowDisconnectedSendAtAnyTime = 1;  // the broker may be away at the start
    create.maxBufferedMessages = kLibraryBuffer;
    create.deleteOldestMessages = 1;
    int rc = MQTTAsync_createWithOptions(&client_, uri_.c_str(), clientId_.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                                         nullptr, &create);
    if (rc != MQTTASYNC_SUCCESS)
        throw std::runtime_error("cannot create the MQTT client for " + uri_ + ": " + MQTTAsync_strerror(rc));
    MQTTAsync_setConnected(client_, this, &Session::connected);
    MQTTAsync_setConnectionLostCallback(client_, this, &Session::connectionLost);
}

void MqttPublisher::Session::connect() {
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    will.topicName = topics_.status.c_str();
    will.message = kOffline;
    will.retained = 1;
    will.qos = kPresenceQos;
    MQTTAsync_SSLOptions tls = MQTTAsync_SSLOptions_initializer;
    tls.trustStore = settings_.caFile.empty() ? nullptr : settings_.caFile.c_str();  // null: the system's store
    tls.enableServerCertAuth = 1;
    tls.verify = 1;  // the certificate must name the host
    tls.ssl_error_cb = &Session::tlsError;
    tls.ssl_error_context = this;
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    options.keepAliveInterval = kKeepAliveSeconds;
    // A kept session lets QoS 1 and 2 messages in flight at a loss go out
    // again after the reconnection.
    options.cleansession = 0;
    options.connectTimeout = kConnectTimeoutSeconds;
    options.automaticReconnect = 1;
    options.minRetryInterval = kMinRetrySeconds;
    options.maxRetryInterval = kMaxRetrySeconds;
    options.will = &will;
    if (!settings_.broker.user.empty()) options.username = settings_.broker.user.c_str();
    if (settings_.hasPassword) options.password = settings_.password.c_str();
    if (settings_.broker.tls) options.ssl = &tls;
    options.onFailure = &Session::connectFailed;
    options.context = this;
    int rc = MQTTAsync_connect(client_, &options);
    if (rc != MQTTASYNC_SUCCESS)
        throw std::runtime_error("cannot start the MQTT connection to " + uri_ + ": " + MQTTAsync_strerror(rc));
    logInfo("publish", "connecting to %s as %s", uri_.c_str(), clientId_.c_str());
}

void MqttPublisher::Session::setPresence(std::string info, std::vector<RetainedMessage> discovery) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info_ = std::move(info);
        discovery_ = std::move(discovery);
    }
    linkUp_ = true;
    presenceDue_ = true;
    publishPresenceWhenDue();
}

void MqttPublisher::Session::setHistory(std::string history) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        history_ = history;
    }
    // Not connected: the connected callback publishes the stored one.
    if (connected_) send(topics_.history, history, kPresenceQos, true);
}

void MqttPublisher::Session::setLinkUp(bool up) {
    linkUp_ = up;
    send(topics_.status, up ? kOnline : kOffline, kPresenceQos, true);
}

void MqttPublisher::Session::publishPresenceWhenDue() {
    if (!connected_ || !presenceDue_.exchange(false)) return;
    std::string info;
    std::vector<RetainedMessage> discovery;
    std::string history;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info = info_;
        discovery = discovery_;
        history = history_;
    }
    send(topics_.info, info, kPresenceQos, true);
    for (const RetainedMessage& config : discovery) send(config.topic, config.payload, kPresenceQos, true);
    if (!history.empty()) send(topics_.history, history, kPresenceQos, true);
    send(topics_.status, linkUp_ ? kOnline : kOffline, kPresenceQos, true);
}

bool MqttPublisher::Session::send(const std::string& topic, const std::string& payload, int qos, bool retained,
                                  bool row) {
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char*>(payload.data());  // the library copies it
    message.payloadlen = static_cast<int>(payload.size());
    message.qos = qos;
    message.retained = retained;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    if (row) {
        response.onSuccess = &Session::stateSent;
        response.onFailure = &Session::stateNotSent;
        response.context = this;
        ++statesInFlight_;  // first, so that a quick completion never outruns it
    }
    int rc = MQTTAsync_sendMessage(client_, topic.c_str(), &message, &response);
    if (rc == MQTTASYNC_SUCCESS) return true;
    if (row) --statesInFlight_;
    logWarning("publish", "message to %s not taken: %s", topic.c_str(), MQTTAsync_strerror(rc));
    return false;
}

void MqttPublisher::Session::publishState(std::string payload) {
    payload.shrink_to_fit();  // a built text may hold twice its size
    {
        std::lock_guard<std::mutex> lock(backlogMutex_);
        backlog_.push_back(std::move(payload));
        if (backlog_.size() > static_cast<std::size_t>(settings_.buffer)) {
            backlog_.pop_front();
            if (dropped_++ == reportedDrops_)
                logError("publish", "message buffer full (%d): dropping the oldest messages until the broker is back",
                         settings_.buffer);
        }
    }
    handOverRows();
}

// Any thread. The library's threads never wait here for the lock: whoever
// holds it sees handOverDue_ again after letting go.
void MqttPublisher::Session::handOverRows() {
    handOverDue_ = true;
    while (handOverDue_) {
        std::unique_lock<std::mutex> lock(backlogMutex_, std::try_to_lock);
        if (!lock) return;
        handOverDue_ = false;
        while (connected_ && !backlog_.empty() && statesInFlight_ < kStatesInFlight &&
               send(topics_.state, backlog_.front(), settings_.qos, false, true))
            backlog_.pop_front();
    }
}

bool MqttPublisher::Session::rowsWaiting() {
    std::lock_guard<std::mutex> lock(backlogMutex_);
    return !backlog_.empty();
}

void MqttPublisher::Session::reportDrops(const char* when) {
    const std::uint64_t dropped = dropped_;
    const std::uint64_t reported = reportedDrops_.exchange(dropped);
    if (dropped == reported) return;
    logError("publish", "%llu messages dropped %s", static_cast<unsigned long long>(dropped - reported), when);
}

void MqttPublisher::Session::connected(void* context, char*) {
    auto* self = static_cast<Session*>(context);
    self->connected_ = true;
    self->everConnected_ = true;
    if (self->absenceLogged_.exchange(false))
        logError("publish", "broker %s reachable again", self->uri_.c_str());
    else
        logInfo("publish", "connected to %s", self->uri_.c_str());
    self->reportDrops("while the broker was away");
    if (self->ending_) return;
    self->presenceDue_ = true;
    self->publishPresenceWhenDue();
    self->handOverRows();
}

void MqttPublisher::Session::connectionLost(void* context, char* cause) {
    auto* self = static_cast<Session*>(context);
    self->connected_ = false;
    self->reportAbsence(std::string("connection lost") + (cause ? std::string(": ") + cause : ""));
}

// The library reports the first attempt only; later ones retry quietly.
void MqttPublisher::Session::connectFailed(void* context, MQTTAsync_failureData* data) {
    auto* self = static_cast<Session*>(context);
    if (const char* refusal = permanentRefusal(data->code)) {
        self->owner_.fail("broker " + self->uri_ + " refused the connection: " + refusal);
        return;
    }
    if (self->owner_.failed_) return;
    std::string failure =
        std::string("not reachable: ") + (data->message ? data->message : MQTTAsync_strerror(data->code));
    if (self->settings_.broker.tls) {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (!self->ended_ && !self->certificateProbe_.joinable()) {
            self->certificateProbe_ = std::thread([self, failure] { self->probeCertificate(failure); });
            return;
        }
    }
    self->reportAbsence(failure);
}

// The library tells a certificate for another host name only as a failed
// connection; that one would fail at every retry.
void MqttPublisher::Session::probeCertificate(const std::string& failure) {
    std::string problem = certificateProblem(settings_.broker, settings_.caFile);
    if (!problem.empty())
        owner_.fail("TLS with broker " + uri_ + " failed: " + problem);
    else if (!owner_.failed_ && !connected_)  // the library may have got through meanwhile
        reportAbsence(failure);
}

// At the default level, so that a mistyped host shows at once; once per
// absence, not at every retry.
void MqttPublisher::Session::reportAbsence(const std::string& what) {
    if (absenceLogged_.exchange(true)) return;
    logError("publish", "broker %s %s; trying again", uri_.c_str(), what.c_str());
}

int MqttPublisher::Session::tlsError(const char* text, std::size_t length, void* context) {
    auto* self = static_cast<Session*>(context);
    std::string reason = tlsReason(std::string(text, length));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    // A certificate that fails today fails at every retry.
    if (reason.find("certificate") != std::string::npos)
        self->owner_.fail("TLS with broker " + self->uri_ + " failed: " + reason);
    else
        logWarning("publish", "TLS with broker %s: %s", self->uri_.c_str(), reason.c_str());
    return 0;
}

// Sent, acknowledged or failed: room for the next row.
void MqttPublisher::Session::rowFinished(void* context) {
    auto* self = static_cast<Session*>(context);
    --self->statesInFlight_;
    self->handOverRows();
}

void MqttPublisher::Session::disconnectDone(void* context, MQTTAsync_successData*) {
    static_cast<Session*>(context)->signalDisconnected();
}

void MqttPublisher::Session::disconnectFailed(void* context, MQTTAsync_failureData*) {
    static_cast<Session*>(context)->signalDisconnected();
}

void MqttPublisher::Session::signalDisconnected() {
    std::lock_guard<std::mutex> lock(mutex_);
    disconnected_ = true;
    disconnectedChanged_.notify_all();
}

// The library's own grace time at disconnecting waits out its whole length;
// this one ends once everything is out: the rows, then "offline". The
// "offline" goes even while the connection is down (another client took
// it over, a blip): the library sends it when it connects again within the
// flush time; else the broker keeps the last will's.
void MqttPublisher::Session::sayOffline() {
    auto deadline = std::chrono::steady_clock::now() + kFlushTime;
    auto waitFor = [&](const std::function<bool()>& done) {
        while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kFlushStep);
    };
    waitFor([this] {
        handOverRows();
        return !connected_ || !rowsWaiting();
    });
    if (!everConnected_) return;
    send(topics_.status, kOffline, kPresenceQos, true);
    waitFor([this] { return pendingCount(client_) == 0; });
}

void MqttPublisher::Session::end() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ended_) return;
        ended_ = true;
    }
    ending_ = true;
    if (!owner_.failed_) sayOffline();
    connected_ = false;  // late completions hand nothing over any more
    MQTTAsync_disconnectOptions options = MQTTAsync_disconnectOptions_initializer;
    options.timeout = 0;
    options.onSuccess = &Session::disconnectDone;
    options.onFailure = &Session::disconnectFailed;
    options.context = this;
    // Also ends the library's retries after a refusal.
    if (MQTTAsync_disconnect(client_, &options) == MQTTASYNC_SUCCESS) {
        std::unique_lock<std::mutex> lock(mutex_);
        disconnectedChanged_.wait_for(lock, kDisconnectWait, [this] { return disconnected_; });
    }
    reportDrops("while the broker was away");
    std::size_t undelivered = pendingCount(client_);
    {
        std::lock_guard<std::mutex> lock(backlogMutex_);
        undelivered += backlog_.size();
    }
    if (undelivered && !owner_.failed_)
        logError("publish", "%zu messages not delivered: the broker %s is away", undelivered, uri_.c_str());
    MQTTAsync_setConnected(client_, nullptr, nullptr);
    MQTTAsync_setConnectionLostCallback(client_, nullptr, nullptr);
    MQTTAsync_destroy(&client_);
    // No callback starts a probe any more: ended_ is set.
    std::thread probe;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        probe = std::move(certificateProbe_);
    }
    if (probe.joinable()) probe.join();
}

MqttPublisher::MqttPublisher(MqttSettings settings) : settings_(std::move(settings)) {
    checkMqttSettings(settings_);
    initialiseClientLibrary();
}

MqttPublisher::~MqttPublisher() { session_.reset(); }

void MqttPublisher::onTableStart(const Identity& identity, const DeviceInfo& info,
                                 const std::vector<TableColumn>& columns) {
    throwIfFailed();
    builder_ = std::make_unique<StateMessageBuilder>(columns);
    historyCells_.clear();
    if (session_ && session_->serial() != identity.serialNumber) {
        logInfo("publish", "another charger (%s): a new client", identity.serialNumber.c_str());
        session_.reset();
    }
    bool fresh = !session_;
    if (fresh) session_ = std::make_unique<Session>(*this, identity);
    std::vector<RetainedMessage> discovery;
    if (settings_.discovery)
        discovery = discoveryConfigs(settings_.discoveryPrefix, session_->topics(), identity, columns);
    session_->setPresence(infoPayload(identity, info), std::move(discovery));
    if (fresh) session_->connect();
}

void MqttPublisher::onRow(const TableRow& row) {
    throwIfFailed();
    if (!session_ || !builder_) return;
    session_->publishState(builder_->buildState(row));
    publishHistoryWhenChanged(row);
}

// The past days change once a day and the total with each yield step; a
// new table publishes it at its first row.
void MqttPublisher::publishHistoryWhenChanged(const TableRow& row) {
    if (!builder_->hasHistory()) return;
    std::string cells = builder_->pastHistoryCells(row);
    if (cells == historyCells_) return;
    historyCells_ = std::move(cells);
    session_->setHistory(builder_->buildHistory(row));
}

void MqttPublisher::onLinkLost(const std::string&) {
    if (session_ && !failed_) session_->setLinkUp(false);
}

void MqttPublisher::onEnd() { session_.reset(); }

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
