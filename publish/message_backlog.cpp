#include "publish/message_backlog.h"

namespace tessline {

MessageBacklog::MessageBacklog(std::size_t capacity, int inFlightLimit)
    : capacity_(capacity), inFlightLimit_(inFlightLimit) {}

bool MessageBacklog::push(std::string message) {
    message.shrink_to_fit();  // a built text may hold twice its size
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(message));
    if (messages_.size() <= capacity_) return false;
    messages_.pop_front();
    return dropped_++ == reportedDrops_;
}

void MessageBacklog::handOver(const Sender& send) {
    handOverDue_ = true;
    while (handOverDue_) {
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock) return;
        handOverDue_ = false;
        while (!messages_.empty() && inFlight_ < inFlightLimit_) {
            ++inFlight_;  // first, so that a quick completion never outruns it
            if (!send(messages_.front())) {
                --inFlight_;
                break;
            }
            messages_.pop_front();
        }
    }
}

void MessageBacklog::finished() { --inFlight_; }

std::size_t MessageBacklog::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

std::uint64_t MessageBacklog::takeUnreportedDrops() {
    const std::uint64_t dropped = dropped_;
    return dropped - reportedDrops_.exchange(dropped);
}

}  // namespace tessline
