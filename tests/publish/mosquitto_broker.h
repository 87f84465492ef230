// Debian's mosquitto as a child process on a free port, with a config file
// written by the test, and mosquitto_sub as the client that reads.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace publish_test {

// A program found on PATH, or in /usr/sbin and /sbin (mosquitto lives there).
std::string toolPath(const std::string& name);

struct BrokerConfig {
    bool tls = false;      // a CA and a certificate for localhost, made with openssl
    std::string user;      // with a password file (mosquitto_passwd); no anonymous clients
    std::string password;
    bool persistence = false;  // sessions and queued messages survive a restart
    // With tls: the one name the server certificate is for.
    std::string certificateHost = "localhost";
    int certificateDays = 2;  // -1: expired since yesterday
};

class MosquittoBroker {
public:
    // Writes its files into `dir` and starts; `extraConfig` goes at the end
    // of the config as it is (a bridge, for example).
    MosquittoBroker(const std::string& dir, BrokerConfig config = {}, const std::string& extraConfig = "");
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // start() waits until the port takes connections; stop() until the process ended.
    void start();
    void stop();
    // Freezes the running broker (SIGSTOP): connections stay open, nothing is answered.
    void pause();
    void resume();
    int port() const { return port_; }
    // mqtt://[user@]127.0.0.1:port, or mqtts://[user@]localhost:port.
    std::string url(const std::string& user = "") const;
    std::string caFile() const { return dir_ + "/ca.crt"; }
    // Host, port, and the CA file and credentials when the broker has them.
    std::vector<std::string> clientArgs() const;

private:
    void makeCertificates();

    std::string dir_;
    BrokerConfig config_;
    int port_;
    std::unique_ptr<testing_support::Process> process_;
};

struct Message {
    bool retained;
    std::string topic;
    std::string payload;
};

// mosquitto_sub on a topic filter, QoS 1; it connects again by itself when
// the broker comes back.
class Subscriber {
public:
    // Returns once the broker acknowledged the subscription. `extra` goes to
    // mosquitto_sub as it is (e.g. "-c", "-i", "id" for a kept session).
    Subscriber(const MosquittoBroker& broker, const std::string& filter, std::vector<std::string> extra = {});
    // The messages so far, once there are `count` or the time is up.
    const std::vector<Message>& waitFor(std::size_t count, std::chrono::milliseconds timeout);
    const std::vector<Message>& messages() const { return messages_; }

private:
    std::unique_ptr<testing_support::Process> process_;
    std::vector<Message> messages_;
};

// What the broker retains under `filter` now.
std::vector<Message> retainedMessages(const MosquittoBroker& broker, const std::string& filter);

}  // namespace publish_test
