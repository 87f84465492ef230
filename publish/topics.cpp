#include "publish/topics.h"

#include <algorithm>
#include <cctype>

namespace tessline {

namespace {

// Brokers refuse topics with NUL and drop the connection of a client that
// sends one; other control characters are unreadable in every client.
bool isControl(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// An empty device text would leave an empty topic level.
std::string levelSafe(std::string text) {
    if (text.empty()) return "unknown";
    for (char& c : text)
        if (c == '/' || c == '+' || c == '#' || isControl(c)) c = '_';
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
    // Topics starting with "$" are the broker's own ($SYS); clients may not publish there.
    if (pattern.front() == '$') return "it starts with $";
    if (std::any_of(pattern.begin(), pattern.end(), isControl)) return "it holds a control character";
    return std::string();
}

std::string chargerKey(const Identity& identity, const Topics& topics) {
    return identity.serialNumber.empty() ? topics.base : identity.serialNumber;
}

std::string mqttClientId(const Identity& identity, const Topics& topics) {
    return "solwatch-" + chargerKey(identity, topics);
}

std::string discoveryNodeId(const Identity& identity, const Topics& topics) {
    std::string id = "solwatch_";
    for (char c : chargerKey(identity, topics)) {
        unsigned char u = static_cast<unsigned char>(c);
        id += (u < 0x80 && (std::isalnum(u) || c == '_' || c == '-')) ? c : '_';
    }
    return id;
}

}  // namespace tessline
