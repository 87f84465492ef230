#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/algorithm/string/case_conv.hpp>

#include "reader/tam_value.h"

namespace tessline {
namespace {

struct LookupCase {
    const char* legend;
    std::vector<TamValue> entries;
    const char* label;
    bool found;
    const char* text;
};

TEST(ValueDictionary, LookupIgnoresLetterCase) {
    const LookupCase cases[] = {
        {"exact name", {{"0xA042", "PID"}}, "PID", true, "0xA042"},
        {"lower-case key, upper-case entry", {{"0xA042", "PID"}}, "pid", true, "0xA042"},
        {"upper-case key, mixed-case entry", {{"HQ1234", "Ser#"}}, "SER#", true, "HQ1234"},
        {"second of two entries", {{"150", "FW"}, {"HQ1234", "ser#"}}, "ser#", true, "HQ1234"},
        {"prefix is no match", {{"0xA042", "PID"}}, "PI", false, ""},
        {"longer key is no match", {{"150", "FW"}}, "FW2", false, ""},
        {"empty dictionary", {}, "PID", false, ""},
    };
    for (const auto& c : cases) {
        ValueDictionary values;
        for (const auto& entry : c.entries) values.appendIfAbsent(entry);
        TamValue out{"untouched", "untouched"};
        EXPECT_EQ(findValue(values, c.label, out), c.found) << c.legend;
        if (c.found) EXPECT_EQ(out.text, c.text) << c.legend;
        else EXPECT_EQ(out.text, "untouched") << c.legend;
    }
}

TEST(ValueDictionary, FirstValueOfALabelStaysWhateverTheCase) {
    ValueDictionary values;
    EXPECT_TRUE(values.appendIfAbsent({"0xA001", "pid"}));
    EXPECT_FALSE(values.appendIfAbsent({"0xA042", "PID"}));
    EXPECT_TRUE(values.appendIfAbsent({"150", "FW"}));
    EXPECT_FALSE(values.appendIfEmpty({"????", "PID"}));
    auto entries = values.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.front().name, "pid");
    EXPECT_EQ(entries.front().text, "0xA001");
    EXPECT_EQ(entries.back().name, "FW");
}

TEST(ValueDictionary, WaitReturnsOnceTheCountIsReached) {
    ValueDictionary values;
    std::atomic<bool> returned{false};
    std::atomic<std::size_t> sizeSeen{0};
    std::thread waiter([&] {
        EXPECT_TRUE(values.waitForSize(3));
        sizeSeen = values.size();
        returned = true;
    });
    values.appendIfAbsent({"0xA042", "PID"});
    values.appendIfAbsent({"150", "FW"});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // room for a premature return
    EXPECT_FALSE(returned);
    values.appendIfAbsent({"HQ1234", "SER#"});
    waiter.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(sizeSeen, 3u);
    EXPECT_TRUE(values.waitForSize(2));  // already there: no wait
}

TEST(ValueDictionary, InterruptEndsCurrentAndLaterWaits) {
    ValueDictionary values;
    values.appendIfAbsent({"150", "FW"});
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = values.waitForSize(3); });
    values.interrupt();
    waiter.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(values.waitForSize(3));
    EXPECT_TRUE(values.waitForSize(1));  // an interrupt does not hide what is there
}

// Writers race to enter the same labels in different letter cases while
// readers count, look up and copy; every label must end up there once.
TEST(ValueDictionary, ConcurrentAppendsAndReadsKeepOneEntryPerLabel) {
    constexpr int kLabels = 200;
    constexpr int kWriters = 3;
    ValueDictionary values;
    std::atomic<bool> writersDone{false};
    std::atomic<int> readerFaults{0};

    auto writer = [&](int w) {
        for (int i = 0; i < kLabels; ++i) {
            std::string label = "L" + std::to_string(i);
            if (w % 2) boost::algorithm::to_lower(label);
            values.appendIfAbsent({"w" + std::to_string(w), label});
        }
    };
    auto reader = [&] {
        std::size_t last = 0;
        while (!writersDone) {
            std::size_t now = values.size();
            if (now < last) ++readerFaults;  // the dictionary only grows
            last = now;
            TamValue out;
            if (values.find("l0", out) && out.text.empty()) ++readerFaults;
            std::set<std::string> names;
            for (const auto& entry : values.entries())
                if (!names.insert(boost::algorithm::to_upper_copy(entry.name)).second) ++readerFaults;
        }
    };
    std::thread waiter([&] { EXPECT_TRUE(values.waitForSize(kLabels)); });
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r) threads.emplace_back(reader);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) writers.emplace_back(writer, w);
    for (auto& t : writers) t.join();
    writersDone = true;
    for (auto& t : threads) t.join();
    waiter.join();

    EXPECT_EQ(readerFaults, 0);
    EXPECT_EQ(values.size(), static_cast<std::size_t>(kLabels));
    for (int i = 0; i < kLabels; ++i) {
        TamValue out;
        EXPECT_TRUE(values.find("l" + std::to_string(i), out)) << i;
    }
}

}  // namespace
}  // namespace tessline
