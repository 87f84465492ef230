// A queue that hands values from one thread to another, with a timed pop.
#pragma once

#include <deque>

#include <boost/chrono.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace tessline {

// Deadlines are taken on the monotonic clock, so a change of the wall clock
// (NTP, daylight saving) never stretches or cuts a wait.
using Deadline = boost::chrono::steady_clock::time_point;

template <class T>
class concurrent_queue {
public:
    void push(const T& value) {
        {
            boost::lock_guard<boost::mutex> lock(mutex_);
            items_.push_back(value);
        }
        nonEmpty_.notify_one();
    }

    // Waits until an element is there or the deadline has passed.
    bool timedPop(T& out, Deadline deadline) {
        boost::unique_lock<boost::mutex> lock(mutex_);
        while (items_.empty()) {
            if (nonEmpty_.wait_until(lock, deadline) == boost::cv_status::timeout && items_.empty())
                return false;
        }
        out = items_.front();
        items_.pop_front();
        return true;
    }

    std::size_t size() const {
        boost::lock_guard<boost::mutex> lock(mutex_);
        return items_.size();
    }

private:
    mutable boost::mutex mutex_;  // guards items_
    boost::condition_variable nonEmpty_;
    std::deque<T> items_;
};

}  // namespace tessline
