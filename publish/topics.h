// The topics of one charger: BASE/state, BASE/history, BASE/info,
// BASE/status, and the discovery configs under
// PREFIX/sensor/solwatch_<serial>/<key>/config.
#pragma once

#include <string>

#include "identity/identity.h"

namespace tessline {

constexpr const char* kDefaultTopicPattern = "solwatch/%s";

// Expands %s (serial number), %m (model) and %v (software version) as the
// output file template does; any other "%" pair stays. Inserted texts are
// not scanned again, and their "/", "+", "#" and control characters become
// "_" so that a device text can neither add topic levels nor wildcards nor
// make the broker refuse the topic; an empty one is "unknown".
std::string expandTopic(const std::string& pattern, const Identity& identity);

// Empty when `pattern` can be a topic base, else why not: empty, a wildcard,
// a leading or trailing "/", a leading "$", a control character or NUL.
std::string topicPatternProblem(const std::string& pattern);

struct Topics {
    explicit Topics(const std::string& base)
        : base(base),
          state(base + "/state"),
          history(base + "/history"),
          info(base + "/info"),
          status(base + "/status") {}
    std::string base;
    std::string state;
    std::string history;
    std::string info;
    std::string status;
};

// What tells the charger apart on the broker: its serial number, or its
// topic base when it reports none (chargers that share a base would share
// their topics anyway).
std::string chargerKey(const Identity& identity, const Topics& topics);

// "solwatch-<key>": chargers with one client id would log each other off.
std::string mqttClientId(const Identity& identity, const Topics& topics);

// "solwatch_<key>" with every character but letters, digits, "_" and "-"
// as "_": the node id of the discovery topics and the device's identifier.
std::string discoveryNodeId(const Identity& identity, const Topics& topics);

}  // namespace tessline
