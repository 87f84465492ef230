// Lines of a program's output or log, taken apart and searched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

// Lines of a text, without their line ends.
std::vector<std::string> splitLines(const std::string& text);

// Diagnostic lines without their "sss.mmm " stamps.
std::string unstamped(const std::string& text);

// Whether a line of `text` equals `line`.
bool hasLine(const std::string& text, const std::string& line);

// How often `part` occurs in `text` (overlapping occurrences counted).
std::size_t occurrences(const std::string& text, const std::string& part);

}  // namespace testing_support
