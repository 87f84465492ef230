#include "tests/reader/reader_fixtures.h"

#include <chrono>
#include <thread>

namespace tessline {
namespace test {

bool waitUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace test
}  // namespace tessline
