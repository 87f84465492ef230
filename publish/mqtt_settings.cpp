#include "publish/mqtt_settings.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "publish/topics.h"

namespace tessline {

namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;

[[noreturn]] void badUrl(const std::string& url, const std::string& why) {
    throw std::invalid_argument("--mqtt " + url + ": " + why + " (mqtt://[user@]host[:port] or mqtts://...)");
}

int parsePort(const std::string& url, const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        badUrl(url, "the port is not a number");
    int port = std::stoi(text);
    if (port < 1 || port > 65535) badUrl(url, "the port is beyond 1..65535");
    return port;
}

}  // namespace

std::string BrokerUrl::clientUri() const {
    bool ipv6 = host.find(':') != std::string::npos;
    return std::string(tls ? "mqtts://" : "mqtt://") + (ipv6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

BrokerUrl parseBrokerUrl(const std::string& url) {
    BrokerUrl broker;
    std::string rest;
    if (url.compare(0, 7, "mqtt://") == 0) {
        rest = url.substr(7);
    } else if (url.compare(0, 8, "mqtts://") == 0) {
        broker.tls = true;
        rest = url.substr(8);
    } else {
        badUrl(url, "unknown scheme");
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find('/') != std::string::npos) badUrl(url, "a path is not allowed");
    std::size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        broker.user = rest.substr(0, at);
        rest = rest.substr(at + 1);
        // Not echoed: the URL holds the password.
        if (broker.user.find(':') != std::string::npos)
            throw std::invalid_argument("--mqtt: no password on the command line; use --mqtt-password-file or " +
                                        std::string(kPasswordVariable));
        if (broker.user.empty()) badUrl(url, "the user name is empty");
    }
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string::npos) badUrl(url, "no closing ]");
        broker.host = rest.substr(1, close - 1);
        std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') badUrl(url, "text after the address");
        if (!after.empty()) broker.port = parsePort(url, after.substr(1));
    } else {
        std::size_t colon = rest.find(':');
        broker.host = rest.substr(0, colon);
        if (colon != std::string::npos) broker.port = parsePort(url, rest.substr(colon + 1));
    }
    if (broker.host.empty()) badUrl(url, "no host");
    if (broker.port == 0) broker.port = broker.tls ? kMqttsPort : kMqttPort;
    return broker;
}

std::string readPasswordFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        int error = errno;
        throw std::runtime_error("cannot read the MQTT password file " + path + ": " + std::strerror(error));
    }
    std::string password;
    std::getline(file, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

void checkMqttSettings(const MqttSettings& settings) {
    if (settings.qos < 0 || settings.qos > 2) throw std::invalid_argument("--mqtt-qos must be 0, 1 or 2");
    if (settings.buffer < 1) throw std::invalid_argument("--mqtt-buffer must be at least 1");
    std::string problem = topicPatternProblem(settings.topicPattern);
    if (!problem.empty())
        throw std::invalid_argument("--mqtt-topic " + settings.topicPattern + " cannot be a topic base: " + problem);
    problem = topicPatternProblem(settings.discoveryPrefix);
    if (settings.discovery && !problem.empty())
        throw std::invalid_argument("--mqtt-discovery " + settings.discoveryPrefix +
                                    " cannot be a topic prefix: " + problem);
    if (settings.hasPassword && settings.broker.user.empty())
        throw std::invalid_argument("an MQTT password needs a user name in the URL (mqtt://user@host)");
    if (!settings.caFile.empty()) {
        if (!settings.broker.tls) throw std::invalid_argument("--mqtt-cafile needs an mqtts:// URL");
        if (::access(settings.caFile.c_str(), R_OK) != 0) {
            int error = errno;
            throw std::invalid_argument("cannot read the CA file " + settings.caFile + ": " + std::strerror(error));
        }
    }
}

}  // namespace tessline
