// A queue that hands values from one thread to another, with a timed pop.
#pragma once

#include <chrono>
#include <deque>
#include <thread>
#include <utility>

#include <boost/chrono.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

namespace tessline {

// Deadlines are taken on the monotonic clock, so a change of the wall clock
// (NTP, daylight saving) never stretches or cuts a wait.
using Deadline = boost::chrono::steady_clock::time_point;

// Sleeps until `until` in one system call. Boost's own sleep waits on a
// condition variable of its own, which costs two more futex calls a sleep;
// this one is no interruption point, so it serves only short sleeps of
// threads that are never interrupted (the dump's requests).
inline void sleepUntil(Deadline until) {
    const auto left = boost::chrono::duration_cast<boost::chrono::nanoseconds>(until - boost::chrono::steady_clock::now());
    if (left.count() > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left.count()));
}

template <class T>
class concurrent_queue {
public:
    // Wakes the waiter only if it listens: one that sleeps until a set time
    // looks at the queue then anyway.
    void push(const T& value) {
        bool wake = false;
        {
            boost::lock_guard<boost::mutex> lock(mutex_);
            items_.emplace_back(value, boost::chrono::steady_clock::now());
            wake = listening_;
        }
        if (wake) nonEmpty_.notify_one();
    }

    // Waits until an element is there or the deadline has passed. Until
    // `earliest` it sleeps through pushes, so that an element that comes
    // before then costs the waiter no wakeup of its own. `pushedAt`, if
    // given, gets the time the element came.
    bool timedPop(T& out, Deadline deadline, Deadline earliest = Deadline(), Deadline* pushedAt = nullptr) {
        sleepUntil(std::min(earliest, deadline));
        boost::unique_lock<boost::mutex> lock(mutex_);
        listening_ = true;
        while (items_.empty()) {
            if (nonEmpty_.wait_until(lock, deadline) == boost::cv_status::timeout && items_.empty()) {
                listening_ = false;
                return false;
            }
        }
        listening_ = false;
        out = items_.front().first;
        if (pushedAt) *pushedAt = items_.front().second;
        items_.pop_front();
        return true;
    }

    std::size_t size() const {
        boost::lock_guard<boost::mutex> lock(mutex_);
        return items_.size();
    }

private:
    mutable boost::mutex mutex_;  // guards items_ and listening_
    boost::condition_variable nonEmpty_;
    bool listening_ = false;      // a waiter wants to be woken by the next push
    std::deque<std::pair<T, Deadline>> items_;  // each with the time of its push
};

}  // namespace tessline
