// The Windows build has no MQTT client (Eclipse Paho is not built for it).
// The options refuse --mqtt before a run starts (app/system_options.cpp);
// should a publisher be asked for all the same, it cannot be made.
#include <stdexcept>

#include "publish/mqtt_publisher.h"
#include "publish/mqtt_settings.h"

namespace tessline {

class ChargerConnection {};

namespace {
const char* const kAbsent = "MQTT is not in the Windows build";
}  // namespace

// The settings are refused before they are read (app/system_options.cpp);
// these stand in for the checks, which need OpenSSL.
BrokerUrl parseBrokerUrl(const std::string&) { throw std::invalid_argument(kAbsent); }

std::string readPasswordFile(const std::string&, std::ostream&) { throw std::invalid_argument(kAbsent); }

void checkMqttSettings(const MqttSettings&) { throw std::invalid_argument(kAbsent); }

MqttPublisher::MqttPublisher(MqttSettings settings, std::chrono::milliseconds teardown)
    : settings_(std::move(settings)), teardown_(teardown) {
    throw std::invalid_argument(kAbsent);
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>&) {}

void MqttPublisher::onRow(const TableRow&) {}

void MqttPublisher::onLinkLost(const std::string&) {}

void MqttPublisher::onEnd() {}

std::string MqttPublisher::failure() const { return kAbsent; }

}  // namespace tessline
