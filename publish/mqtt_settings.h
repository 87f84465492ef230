// What --mqtt and its companion options ask for, checked before the run.
#pragma once

#include <cstdlib>
#include <iosfwd>
#include <optional>
#include <string>

namespace tessline {

struct BrokerUrl {
    bool tls = false;  // mqtts://
    std::string user;
    std::string host;
    int port = 0;
    // The address as the client library takes it: "mqtts://host:8883".
    std::string clientUri() const;
};

// Parses mqtt://[user@]host[:port] or mqtts://...; an IPv6 host goes in
// brackets. Throws std::invalid_argument with the reason; a password in the
// URL is refused, since every user can read a command line.
BrokerUrl parseBrokerUrl(const std::string& url);

struct MqttSettings {
    BrokerUrl broker;
    std::string topicPattern;
    int qos = 1;
    bool hasPassword = false;
    std::string password;
    std::string caFile;  // empty: the system's CA store
    bool discovery = false;
    std::string discoveryPrefix = "homeassistant";
    int buffer = 10000;  // messages kept while the broker is away
};

constexpr const char* kPasswordVariable = "SOLWATCH_MQTT_PASSWORD";

// The first line of the file (a trailing CR or LF dropped). Throws
// std::runtime_error naming the file for one that is not a readable
// regular file or whose first line is empty. A file that every user may
// read gets one line on `warnings`.
std::string readPasswordFile(const std::string& path, std::ostream& warnings);

// Throws std::invalid_argument for settings that cannot work together: a
// QoS beyond 0..2, a buffer below 1, a CA file without mqtts://, a password
// without a user, a topic base that cannot be one, a CA file that cannot be
// read or holds no certificate.
void checkMqttSettings(const MqttSettings& settings);

}  // namespace tessline
