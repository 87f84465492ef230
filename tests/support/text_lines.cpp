#include "tests/support/text_lines.h"

#include <cctype>

namespace testing_support {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string unstamped(const std::string& text) {
    std::string result;
    for (const auto& line : splitLines(text)) {
        bool stamped = line.size() > 8 && line[3] == '.' && line[7] == ' ' &&
                       std::isdigit(static_cast<unsigned char>(line[0]));
        result += (stamped ? line.substr(8) : line) + "\n";
    }
    return result;
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const auto& l : splitLines(text))
        if (l == line) return true;
    return false;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace testing_support
