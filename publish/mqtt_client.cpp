#include "publish/mqtt_client.h"

#include <MQTTAsync.h>

#include <chrono>
#include <stdexcept>

#include "log/log.h"
#include "publish/tls_probe.h"

namespace tessline {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kMinRetrySeconds = 1;
constexpr int kMaxRetrySeconds = 10;  // a broker back finds us within seconds
// The library's buffer holds the tracked messages in flight and the
// retained messages (a status for each link loss and return among
// them) while the broker is away.
constexpr int kLibraryBuffer = kTrackedInFlight + 1000;

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

MQTTAsync handle(void* client) { return static_cast<MQTTAsync>(client); }

}  // namespace

// They run on the library's threads, which hold the library's lock. Sending
// from the connected and completion callbacks is allowed; the TLS error
// callback never calls the library back.
struct MqttClient::Callbacks {
    static MqttClient& of(void* context) { return *static_cast<MqttClient*>(context); }

    static void connected(void* context, char*) {
        MqttClient& self = of(context);
        self.connected_ = true;
        self.everConnected_ = true;
        if (self.absenceLogged_.exchange(false))
            logNotice("publish", "broker %s reachable again", self.uri_.c_str());
        else
            logInfo("publish", "connected to %s", self.uri_.c_str());
        self.events_.onConnected();
    }

    static void connectionLost(void* context, char* cause) {
        MqttClient& self = of(context);
        self.connected_ = false;
        self.reportAbsence(std::string("connection lost") + (cause ? std::string(": ") + cause : ""));
        self.events_.onConnectionLost();
    }

    // The library reports the first attempt only; later ones retry quietly.
    static void connectFailed(void* context, MQTTAsync_failureData* data) {
        MqttClient& self = of(context);
        if (const char* refusal = permanentRefusal(data->code)) {
            self.refuse("broker " + self.uri_ + " refused the connection: " + refusal);
            return;
        }
        if (self.refused_) return;
        std::string failure =
            std::string("not reachable: ") + (data->message ? data->message : MQTTAsync_strerror(data->code));
        if (self.settings_.broker.tls) {
            std::lock_guard<std::mutex> lock(self.mutex_);
            if (!self.closing_ && !self.certificateProbe_.joinable()) {
                self.certificateProbe_ = std::thread([&self, failure] { self.probeCertificate(failure); });
                return;
            }
        }
        self.reportAbsence(failure);
    }

    static int tlsError(const char* text, std::size_t length, void* context) {
        MqttClient& self = of(context);
        std::string reason = tlsReason(std::string(text, length));
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
        // A certificate that fails today fails at every retry.
        if (reason.find("certificate") != std::string::npos)
            self.refuse("TLS with broker " + self.uri_ + " failed: " + reason);
        else
            logWarning("publish", "TLS with broker %s: %s", self.uri_.c_str(), reason.c_str());
        return 0;
    }

    static void trackedSent(void* context, MQTTAsync_successData*) { of(context).events_.onTrackedFinished(); }
    static void trackedNotSent(void* context, MQTTAsync_failureData*) { of(context).events_.onTrackedFinished(); }
    static void disconnectDone(void* context, MQTTAsync_successData*) { of(context).signalDisconnected(); }
    static void disconnectFailed(void* context, MQTTAsync_failureData*) { of(context).signalDisconnected(); }
};

MqttClient::MqttClient(const MqttSettings& settings, const std::string& clientId, MqttClientEvents& events)
    : settings_(settings), uri_(settings.broker.clientUri()), clientId_(clientId), events_(events) {
    initialiseClientLibrary();
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    create.sendWhileDisconnected = 1;
    create.allowDisconnectedSendAtAnyTime = 1;  // the broker may be away at the start
    create.maxBufferedMessages = kLibraryBuffer;
    create.deleteOldestMessages = 1;
    MQTTAsync client = nullptr;
    int rc = MQTTAsync_createWithOptions(&client, uri_.c_str(), clientId_.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                                         nullptr, &create);
    if (rc != MQTTASYNC_SUCCESS)
        throw std::runtime_error("cannot create the MQTT client for " + uri_ + ": " + MQTTAsync_strerror(rc));
    client_ = client;
    MQTTAsync_setConnected(client, this, &Callbacks::connected);
    MQTTAsync_setConnectionLostCallback(client, this, &Callbacks::connectionLost);
}

MqttClient::~MqttClient() {
    MQTTAsync client = handle(client_);
    MQTTAsync_setConnected(client, nullptr, nullptr);
    MQTTAsync_setConnectionLostCallback(client, nullptr, nullptr);
    MQTTAsync_destroy(&client);
    // No callback starts a probe any more: closing_ is set or the client gone.
    std::thread probe;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        probe = std::move(certificateProbe_);
    }
    if (probe.joinable()) probe.join();
}

void MqttClient::connect(const RetainedMessage& lastWill, int qos) {
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    will.topicName = lastWill.topic.c_str();
    will.message = lastWill.payload.c_str();
    will.retained = 1;
    will.qos = qos;
    MQTTAsync_SSLOptions tls = MQTTAsync_SSLOptions_initializer;
    tls.trustStore = settings_.caFile.empty() ? nullptr : settings_.caFile.c_str();  // null: the system's store
    tls.enableServerCertAuth = 1;
    tls.verify = 1;  // the certificate must name the host
    tls.ssl_error_cb = &Callbacks::tlsError;
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
    options.onFailure = &Callbacks::connectFailed;
    options.context = this;
    int rc = MQTTAsync_connect(handle(client_), &options);
    if (rc != MQTTASYNC_SUCCESS)
        throw std::runtime_error("cannot start the MQTT connection to " + uri_ + ": " + MQTTAsync_strerror(rc));
    logInfo("publish", "connecting to %s as %s", uri_.c_str(), clientId_.c_str());
}

bool MqttClient::send(const std::string& topic, const std::string& payload, int qos, bool retained) {
    return sendMessage(topic, payload, qos, retained, false);
}

bool MqttClient::sendTracked(const std::string& topic, const std::string& payload, int qos) {
    return sendMessage(topic, payload, qos, false, true);
}

bool MqttClient::sendMessage(const std::string& topic, const std::string& payload, int qos, bool retained,
                             bool tracked) {
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char*>(payload.data());  // the library copies it
    message.payloadlen = static_cast<int>(payload.size());
    message.qos = qos;
    message.retained = retained;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    if (tracked) {
        response.onSuccess = &Callbacks::trackedSent;
        response.onFailure = &Callbacks::trackedNotSent;
        response.context = this;
    }
    int rc = MQTTAsync_sendMessage(handle(client_), topic.c_str(), &message, &response);
    if (rc == MQTTASYNC_SUCCESS) return true;
    logWarning("publish", "message to %s not taken: %s", topic.c_str(), MQTTAsync_strerror(rc));
    return false;
}

std::size_t MqttClient::pendingCount() const {
    MQTTAsync_token* tokens = nullptr;
    std::size_t count = 0;
    if (MQTTAsync_getPendingTokens(handle(client_), &tokens) == MQTTASYNC_SUCCESS && tokens) {
        while (tokens[count] != -1) ++count;
        MQTTAsync_free(tokens);
    }
    return count;
}

void MqttClient::startClosing() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
}

void MqttClient::disconnect(std::chrono::steady_clock::time_point until) {
    connected_ = false;
    MQTTAsync_disconnectOptions options = MQTTAsync_disconnectOptions_initializer;
    options.timeout = 0;
    options.onSuccess = &Callbacks::disconnectDone;
    options.onFailure = &Callbacks::disconnectFailed;
    options.context = this;
    // Also ends the library's retries after a refusal.
    if (MQTTAsync_disconnect(handle(client_), &options) == MQTTASYNC_SUCCESS) {
        std::unique_lock<std::mutex> lock(mutex_);
        disconnectedChanged_.wait_until(lock, until, [this] { return disconnected_; });
    }
}

void MqttClient::signalDisconnected() {
    std::lock_guard<std::mutex> lock(mutex_);
    disconnected_ = true;
    disconnectedChanged_.notify_all();
}

void MqttClient::refuse(const std::string& reason) {
    if (!refused_.exchange(true)) events_.onRefused(reason);
}

// The library tells a certificate for another host name only as a failed
// connection; that one would fail at every retry.
void MqttClient::probeCertificate(const std::string& failure) {
    std::string problem = certificateProblem(settings_.broker, settings_.caFile);
    if (!problem.empty())
        refuse("TLS with broker " + uri_ + " failed: " + problem);
    else if (!refused_ && !connected_)  // the library may have got through meanwhile
        reportAbsence(failure);
}

// At the default level, so that a mistyped host shows at once; once per
// absence, not at every retry.
void MqttClient::reportAbsence(const std::string& what) {
    if (absenceLogged_.exchange(true)) return;
    logError("publish", "broker %s %s; trying again", uri_.c_str(), what.c_str());
}

}  // namespace tessline
