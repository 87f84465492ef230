#include "publish/retained_messages.h"

namespace tessline {

void RetainedMessages::setTable(std::string info, std::vector<RetainedMessage> discovery) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info_ = std::move(info);
        discovery_ = std::move(discovery);
    }
    linkUp_ = true;
    due_ = true;
    publishWhenDue();
}

void RetainedMessages::setHistory(std::string history) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        history_ = history;
    }
    // Not connected: the next connection publishes the stored one.
    if (sink_.connected()) sink_.send(topics_.history, history, kRetainedQos, true);
}

void RetainedMessages::setLinkUp(bool up) {
    linkUp_ = up;
    sink_.send(topics_.status, up ? kOnline : kOffline, kRetainedQos, true);
}

void RetainedMessages::publishOnConnection() {
    due_ = true;
    publishWhenDue();
}

void RetainedMessages::sayOffline() { sink_.send(topics_.status, kOffline, kRetainedQos, true); }

void RetainedMessages::publishWhenDue() {
    if (!sink_.connected() || !due_.exchange(false)) return;
    std::string info;
    std::vector<RetainedMessage> discovery;
    std::string history;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info = info_;
        discovery = discovery_;
        history = history_;
    }
    sink_.send(topics_.info, info, kRetainedQos, true);
    for (const RetainedMessage& config : discovery) sink_.send(config.topic, config.payload, kRetainedQos, true);
    if (!history.empty()) sink_.send(topics_.history, history, kRetainedQos, true);
    sink_.send(topics_.status, linkUp_ ? kOnline : kOffline, kRetainedQos, true);
}

}  // namespace tessline
