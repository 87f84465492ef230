// MessageSink: where retained messages go, as the retained messages see it.
// The MQTT client is one; tests put a recorder in its place.
#pragma once

#include <string>

namespace tessline {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual bool connected() const = 0;
    // True when the message was taken; a refusal is logged by the sink.
    virtual bool send(const std::string& topic, const std::string& payload, int qos, bool retained) = 0;
};

}  // namespace tessline
