// Waiting for an event in a test: poll a condition until it holds or a
// generous bound runs out. The bound is there so that a fault ends the test
// instead of hanging it; a test never relies on it passing quickly.
#pragma once

#include <chrono>
#include <functional>

namespace testing_support {

// The bound that tests use unless they have a reason for another: long
// enough for a busy machine or a sanitizer build.
constexpr std::chrono::seconds kEventBound{20};

// True as soon as `done` returns true; false when `bound` ran out first.
// `done` is asked at once, then every `poll`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = kEventBound,
               std::chrono::milliseconds poll = std::chrono::milliseconds(10));

}  // namespace testing_support
