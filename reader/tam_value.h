// TamValue, one named value from the device, and ValueDictionary, the list
// of them that the front end owns: the get-info parser appends on the link's
// reader thread while the front end waits for entries and looks them up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>

namespace tessline {

struct TamValue {
    std::string text;  // as the device sent it
    std::string name;  // the label it came under
};

// Labels compare without regard to case: each character is mapped to upper
// case under the global locale.
bool sameLabel(const std::string& a, const std::string& b);

// Insertion-ordered, one entry per label (the first value stays). Every
// operation is serialised by one mutex; waiters are woken on each append.
class ValueDictionary {
public:
    // Appends unless an entry with that name is there; true when appended.
    bool appendIfAbsent(const TamValue& value);
    // Appends only as the very first entry; true when appended.
    bool appendIfEmpty(const TamValue& value);

    std::size_t size() const;
    // Copies the entry whose name matches `label` into `out`.
    bool find(const std::string& label, TamValue& out) const;
    std::list<TamValue> entries() const;

    // Blocks until at least `count` entries are there (true) or interrupt()
    // has been called (false).
    bool waitForSize(std::size_t count);

    // A whole valid TEXT block has ended; counted once an entry is there.
    void noteBlockEnd();
    enum class WaitEnd { complete, interrupted, timedOut };
    // Blocks until `count` entries are there or `blocks` TEXT blocks have
    // ended since the first entry (by then a device has shown every field
    // it sends), until interrupt(), or until `deadline`.
    WaitEnd waitForIdentity(std::size_t count, std::size_t blocks,
                            std::chrono::steady_clock::time_point deadline);
    // Ends every current and later wait, for shutdown. It locks a mutex, so
    // call it from a thread, never from inside an asynchronous signal handler.
    void interrupt();

private:
    std::list<TamValue>::const_iterator findLocked(const std::string& label) const;
    void appendLocked(std::unique_lock<std::mutex>& lock, const TamValue& value);

    mutable std::mutex mutex_;  // guards values_, blockEnds_ and interrupted_
    std::condition_variable changed_;
    std::list<TamValue> values_;
    std::size_t blockEnds_ = 0;  // since the first entry
    bool interrupted_ = false;
};

// The front end's lookup: copies the entry named `label` (any case) into `out`.
bool findValue(const ValueDictionary& values, const std::string& label, TamValue& out);

}  // namespace tessline
