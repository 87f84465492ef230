// The backlog of state messages, with no broker: what reaches the sender,
// in which order, and what is dropped.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "publish/message_backlog.h"

namespace {

using namespace tessline;

// Steps, separated by spaces: "+x" pushes x; "h" hands over to a sender
// that takes everything, "hN" to one that takes N and then refuses; "f"
// finishes one message in flight; "t" takes the unreported drops.
struct BacklogCase {
    const char* legend;
    std::size_t capacity;
    int inFlightLimit;
    const char* steps;
    const char* sent;  // in the order the sender saw them
    std::size_t waiting;
    int inFlight;
    int fullSignals;  // pushes that said a run of drops begins
    std::uint64_t unreportedDrops;
};

const BacklogCase kBacklogCases[] = {
    {"in order", 5, 10, "+a +b +c h", "a b c", 0, 3, 0, 0},
    {"nothing before a hand-over", 5, 10, "+a +b", "", 2, 0, 0, 0},
    {"the oldest dropped beyond the capacity", 2, 10, "+a +b +c +d h", "c d", 0, 2, 1, 2},
    {"a refusal keeps the message first", 5, 10, "+a +b h0 h", "a b", 0, 2, 0, 0},
    {"a refusal in the middle keeps the rest", 5, 10, "+a +b +c h1 h", "a b c", 0, 3, 0, 0},
    {"no more than the limit in flight", 10, 2, "+a +b +c +d h", "a b", 2, 2, 0, 0},
    {"a finished one makes room", 10, 2, "+a +b +c +d h f h", "a b c", 1, 2, 0, 0},
    {"drops while waiting for room", 2, 1, "+a h +b +c +d f h", "a c", 1, 1, 1, 1},
    {"a full backlog told again after a report", 1, 10, "+a +b +c t +d", "", 1, 0, 2, 1},
    {"a report takes what it told", 1, 10, "+a +b +c t", "", 1, 0, 1, 0},
};

std::string run(MessageBacklog& backlog, const BacklogCase& c, int& fullSignals) {
    std::ostringstream sent;
    std::istringstream steps(c.steps);
    std::string step;
    while (steps >> step) {
        if (step[0] == '+') {
            fullSignals += backlog.push(step.substr(1));
        } else if (step[0] == 'h') {
            int takes = step.size() > 1 ? std::stoi(step.substr(1)) : 1 << 30;
            backlog.handOver([&](const std::string& message) {
                if (takes-- <= 0) return false;
                sent << (sent.tellp() > 0 ? " " : "") << message;
                return true;
            });
        } else if (step == "f") {
            backlog.finished();
        } else if (step == "t") {
            backlog.takeUnreportedDrops();
        }
    }
    return sent.str();
}

TEST(MessageBacklog, Cases) {
    for (const BacklogCase& c : kBacklogCases) {
        SCOPED_TRACE(c.legend);
        MessageBacklog backlog(c.capacity, c.inFlightLimit);
        int fullSignals = 0;
        EXPECT_EQ(run(backlog, c, fullSignals), c.sent);
        EXPECT_EQ(backlog.waiting(), c.waiting);
        EXPECT_EQ(backlog.inFlight(), c.inFlight);
        EXPECT_EQ(fullSignals, c.fullSignals);
        EXPECT_EQ(backlog.takeUnreportedDrops(), c.unreportedDrops);
    }
}

// The broker connects while the dump's thread is inside a hand-over that
// found it away: the connected callback finds the hand-over busy and leaves
// it to the dump's thread, which must try again rather than leave the
// message waiting until the next row.
TEST(MessageBacklog, HandOverBusyElsewhereIsDoneByTheThreadInside) {
    MessageBacklog backlog(5, 10);
    backlog.push("a");
    bool connected = false;
    std::vector<std::string> sent;
    MessageBacklog::Sender send = [&](const std::string& message) {
        if (connected) {
            sent.push_back(message);
            return true;
        }
        std::thread callback([&] {
            connected = true;
            backlog.handOver(send);
        });
        callback.join();
        return false;
    };
    backlog.handOver(send);
    EXPECT_EQ(sent, std::vector<std::string>{"a"});
    EXPECT_EQ(backlog.waiting(), 0u);
}

// As with the client library: completions come on another thread, which
// hands over the next messages while the producer pushes and hands over
// too. Every message goes, in order, never more than the limit at once.
TEST(MessageBacklog, CompletionsOnAnotherThreadKeepOrderAndLimit) {
    const int messages = 5000;
    const int limit = 7;
    MessageBacklog backlog(messages, limit);
    std::mutex mutex;  // guards sent and inFlight below, shared with the completing thread
    std::condition_variable changed;
    std::vector<int> sent;
    std::deque<int> inFlight;
    std::size_t mostInFlight = 0;
    MessageBacklog::Sender send = [&](const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex);
        sent.push_back(std::stoi(message));
        inFlight.push_back(sent.back());
        mostInFlight = std::max(mostInFlight, inFlight.size());
        changed.notify_all();
        return true;
    };
    std::thread completions([&] {
        for (int done = 0; done < messages; ++done) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return !inFlight.empty(); })) return;
                inFlight.pop_front();
            }
            backlog.finished();
            backlog.handOver(send);
        }
    });
    for (int i = 0; i < messages; ++i) {
        backlog.push(std::to_string(i));
        backlog.handOver(send);
    }
    completions.join();
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(messages));
    for (int i = 0; i < messages; ++i) ASSERT_EQ(sent[i], i);
    EXPECT_LE(mostInFlight, static_cast<std::size_t>(limit));
    EXPECT_EQ(backlog.waiting(), 0u);
}

}  // namespace
