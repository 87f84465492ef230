// RetainedMessages: what a charger keeps on the broker between its state
// messages, all retained: its info, its discovery configs, its history,
// and its status, "online" or "offline" (also its last will). Everything
// goes out again at every connection, in that order.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "publish/device_payloads.h"
#include "publish/message_sink.h"
#include "publish/topics.h"

namespace tessline {

// Retained messages go out at least once, whatever --mqtt-qos says.
constexpr int kRetainedQos = 1;
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

class RetainedMessages {
public:
    RetainedMessages(const Topics& topics, MessageSink& sink) : topics_(topics), sink_(sink) {}

    // A new table: stores what every connection publishes, marks the link
    // up, and publishes it all now when connected.
    void setTable(std::string info, std::vector<RetainedMessage> discovery);
    // Stores the history message and publishes it now when connected.
    void setHistory(std::string history);
    void setLinkUp(bool up);
    // On the client library's thread, at every connection.
    void publishOnConnection();
    // The last word of a run.
    void sayOffline();

private:
    void publishWhenDue();

    const Topics& topics_;
    MessageSink& sink_;
    // Set by the dump's thread, read at a connection by the library's.
    std::atomic<bool> linkUp_{true};
    // Set when everything is to go out at the next chance (connected now or
    // later); cleared by the one thread that publishes it.
    std::atomic<bool> due_{false};
    // Guards the stored messages: the dump's thread sets them, the client
    // library's publishes them at a connection.
    std::mutex mutex_;
    std::string info_;
    std::vector<RetainedMessage> discovery_;
    std::string history_;  // empty: none (yet)
};

}  // namespace tessline
