// The topics of one charger: BASE/state, BASE/info, BASE/status, and the
// discovery configs under PREFIX/sensor/solwatch_<serial>/<key>/config.
#pragma once

#include <string>

#include "identity/identity.h"

namespace tessline {

constexpr const char* kDefaultTopicPattern = "solwatch/%s";

// Expands %s (serial number), %m (model) and %v (software version) as the
// output file template does; any other "%" pair stays. Inserted texts are
// not scanned again, and their "/", "+" and "#" become "_" so that a device
// text can neither add topic levels nor wildcards; an empty one is "unknown".
std::string expandTopic(const std::string& pattern, const Identity& identity);

// Empty when `pattern` can be a topic base, else why not: empty, a wildcard,
// or a leading or trailing "/".
std::string topicPatternProblem(const std::string& pattern);

struct Topics {
    explicit Topics(const std::string& base)
        : base(base), state(base + "/state"), info(base + "/info"), status(base + "/status") {}
    std::string base;
    std::string state;
    std::string info;
    std::string status;
};

// "solwatch_<serial>" with every character but letters, digits, "_" and "-"
// as "_": the node id of the discovery topics and the device's identifier.
std::string discoveryNodeId(const Identity& identity);

}  // namespace tessline
