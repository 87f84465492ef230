#include "publish/topics.h"

#include <cctype>

namespace tessline {

namespace {

// An empty device text would leave an empty topic level.
std::string levelSafe(std::string text) {
    if (text.empty()) return "unknown";
    for (char& c : text)
        if (c == '/' || c == '+' || c == '#' || c == '\0') c = '_';
    return text;
}

}  // namespace

std::string expandTopic(const std::string& pattern, const Identity& identity) {
    return expandIdentityKeys(pattern, identity, levelSafe);
}

std::string topicPatternProblem(const std::string& pattern) {
    if (pattern.empty()) return "it is empty";
    if (pattern.find_first_of("+#") != std::string::npos) return "it holds a wildcard (+ or #)";
    if (pattern.front() == '/' || pattern.back() == '/') return "it starts or ends with /";
    return std::string();
}

std::string discoveryNodeId(const Identity& identity) {
    std::string id = "solwatch_";
    for (char c : identity.serialNumber) {
        unsigned char u = static_cast<unsigned char>(c);
        id += (u < 0x80 && (std::isalnum(u) || c == '_' || c == '-')) ? c : '_';
    }
    return id;
}

}  // namespace tessline
