#include "tests/support/wait_until.h"

#include <thread>

namespace testing_support {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound, std::chrono::milliseconds poll) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

}  // namespace testing_support
