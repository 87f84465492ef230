#include "reader/tam_value.h"

#include <algorithm>
#include <limits>
#include <locale>

#include <boost/algorithm/string/predicate.hpp>

namespace tessline {

bool sameLabel(const std::string& a, const std::string& b) { return boost::algorithm::iequals(a, b, std::locale()); }

std::list<TamValue>::const_iterator ValueDictionary::findLocked(const std::string& label) const {
    return std::find_if(values_.begin(), values_.end(),
                        [&label](const TamValue& entry) { return sameLabel(entry.name, label); });
}

void ValueDictionary::appendLocked(std::unique_lock<std::mutex>& lock, const TamValue& value) {
    values_.push_back(value);
    lock.unlock();
    changed_.notify_all();
}

bool ValueDictionary::appendIfAbsent(const TamValue& value) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (findLocked(value.name) != values_.end()) return false;
    appendLocked(lock, value);
    return true;
}

bool ValueDictionary::appendIfEmpty(const TamValue& value) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!values_.empty()) return false;
    appendLocked(lock, value);
    return true;
}

std::size_t ValueDictionary::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.size();
}

bool ValueDictionary::find(const std::string& label, TamValue& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = findLocked(label);
    if (found == values_.end()) return false;
    out = *found;
    return true;
}

std::list<TamValue> ValueDictionary::entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
}

bool ValueDictionary::waitForSize(std::size_t count) {
    auto noBlockLimit = std::numeric_limits<std::size_t>::max();
    return waitForIdentity(count, noBlockLimit, std::chrono::steady_clock::time_point::max()) ==
           WaitEnd::complete;
}

void ValueDictionary::noteBlockEnd() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (values_.empty()) return;
        ++blockEnds_;
    }
    changed_.notify_all();
}

ValueDictionary::WaitEnd ValueDictionary::waitForIdentity(std::size_t count, std::size_t blocks,
                                                          std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [&] { return values_.size() >= count || blockEnds_ >= blocks; };
    if (!changed_.wait_until(lock, deadline, [&] { return interrupted_ || done(); })) return WaitEnd::timedOut;
    return done() ? WaitEnd::complete : WaitEnd::interrupted;
}

void ValueDictionary::interrupt() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interrupted_ = true;
    }
    changed_.notify_all();
}

bool findValue(const ValueDictionary& values, const std::string& label, TamValue& out) {
    return values.find(label, out);
}

}  // namespace tessline
