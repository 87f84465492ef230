// Shared helpers of the reader suite: the captured diagnostic log and a
// bounded wait.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"

namespace tessline {
namespace test {

using testing_support::LogCapture;

// Polls `done` every 10 ms for at most ten seconds; true once it holds.
bool waitUntil(const std::function<bool()>& done);

}  // namespace test
}  // namespace tessline
