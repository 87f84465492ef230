#include "publish/mqtt_settings.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "publish/topics.h"

namespace tessline {

namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;

[[noreturn]] void badUrl(const std::string& url, const std::string& why) {
    throw std::invalid_argument("--mqtt " + url + ": " + why + " (mqtt://[user@]host[:port] or mqtts://...)");
}

bool hasBlankOrControl(const std::string& text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F) return true;
    }
    return false;
}

int parsePort(const std::string& url, const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        badUrl(url, "the port is not a number");
    int port = std::stoi(text);
    if (port < 1 || port > 65535) badUrl(url, "the port is beyond 1..65535");
    return port;
}

// Loads the file as the TLS library will: one that holds no certificate
// would otherwise be taken, and every handshake would then fail as if the
// broker were away.
void checkCaFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        int error = errno;
        throw std::invalid_argument("cannot read the CA file " + path + ": " + std::strerror(error));
    }
    if (S_ISDIR(info.st_mode)) throw std::invalid_argument("--mqtt-cafile " + path + " is a directory");
    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), &X509_STORE_free);
    ERR_clear_error();
    if (store && X509_STORE_load_file(store.get(), path.c_str()) == 1) return;
    const char* reason = ERR_reason_error_string(ERR_peek_last_error());
    ERR_clear_error();
    throw std::invalid_argument("--mqtt-cafile " + path + " holds no certificate" +
                                (reason ? std::string(" (") + reason + ")" : std::string()));
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
    if (hasBlankOrControl(broker.host)) badUrl(url, "the host holds a space or a control character");
    if (broker.port == 0) broker.port = broker.tls ? kMqttsPort : kMqttPort;
    return broker;
}

std::string readPasswordFile(const std::string& path, std::ostream& warnings) {
    const std::string what = "the MQTT password file " + path;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        int error = errno;
        throw std::runtime_error("cannot read " + what + ": " + std::strerror(error));
    }
    // A directory opens, and reads as an empty password.
    if (!S_ISREG(info.st_mode)) throw std::runtime_error(what + " is not a regular file");
    std::ifstream file(path);
    if (!file) {
        int error = errno;
        throw std::runtime_error("cannot read " + what + ": " + std::strerror(error));
    }
    std::string password;
    std::getline(file, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) throw std::runtime_error(what + " is empty: the password is its first line");
    if (info.st_mode & S_IROTH)
        warnings << "warning: every user may read " << what << " (mode " << std::oct << (info.st_mode & 07777)
                 << std::dec << "); chmod o-r it" << std::endl;
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
        checkCaFile(settings.caFile);
    }
}

}  // namespace tessline
