// A queue that hands values from one thread to another, with a timed pop.
#pragma once

#include <algorithm>
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
using Deadline = std::chrono::steady_clock::time_point;

// A request's waits are Boost.Thread's, the one place where the program
// keeps them: they are interruption points, so that a register reader that
// is stopped in the middle of a request ends there (reader/tam_reader.h).
inline boost::chrono::nanoseconds leftUntil(Deadline deadline) {
    return boost::chrono::nanoseconds(
        std::max<std::chrono::nanoseconds::rep>(0, (deadline - std::chrono::steady_clock::now()).count()));
}

// Its short sleeps (before the first look for an answer, the pause after
// one) sleep in one system call: Boost's own sleep waits on a condition
// variable of its own, two more futex calls a sleep. An interruption asked
// for during such a sleep takes effect as it ends.
inline void sleepUntilInterruptibly(Deadline until) {
    boost::this_thread::interruption_point();
    // Sleeps again for what is left: where the system's timer is coarser than
    // the clock (Windows), a sleep can end a little before its time.
    for (auto left = until - std::chrono::steady_clock::now(); left > left.zero();
         left = until - std::chrono::steady_clock::now())
        std::this_thread::sleep_for(left);
    boost::this_thread::interruption_point();
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
            items_.emplace_back(value, std::chrono::steady_clock::now());
            wake = listening_;
        }
        if (wake) nonEmpty_.notify_one();
    }

    // Waits until an element is there or the deadline has passed. Until
    // `earliest` it sleeps through pushes, so that an element that comes
    // before then costs the waiter no wakeup of its own. `pushedAt`, if
    // given, gets the time the element came.
    bool timedPop(T& out, Deadline deadline, Deadline earliest = Deadline(), Deadline* pushedAt = nullptr) {
        if (earliest > std::chrono::steady_clock::now()) sleepUntilInterruptibly(std::min(earliest, deadline));
        boost::unique_lock<boost::mutex> lock(mutex_);
        listening_ = true;
        while (items_.empty()) {
            if (nonEmpty_.wait_for(lock, leftUntil(deadline)) == boost::cv_status::timeout && items_.empty()) {
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
