#include "identity/capabilities.h"

#include <chrono>
#include <mutex>

#include "hex/errors.h"
#include "hex/exit_codes.h"
#include "hex/hex_proto.h"
#include "identity/capability_rules.h"
#include "identity/firmware.h"
#include "log/log.h"

namespace tessline {

namespace {

const char* const kCategory = "capabilities";

[[noreturn]] void refuse(const char* message, int exitCode) {
    throw device_refused(message) << tag_exit_code(exitCode);
}

// Step 3 and 4: the ping word, from application or release-candidate firmware only.
std::uint16_t pingApplication(HexProto& hex, DeviceInfo& info) {
    std::uint16_t word = 0;
    if (!hex.ping(std::chrono::seconds(1), word)) refuse("no ping reply", kExitNoPingReply);
    switch (firmwareKind(word)) {
        case FirmwareKind::application: info.releaseCandidate = false; break;
        case FirmwareKind::releaseCandidate: info.releaseCandidate = true; break;
        default: refuse("application required to determine capabilities...", kExitNotApplication);
    }
    return word;
}

void readChargerId(HexProto& hex, DeviceInfo& info) {
    if (!hex.getDeviceId(info.deviceId)) refuse("no device id reply", kExitNoDeviceId);
    if (!isSupportedCharger(info.deviceId)) refuse("only mppt chargers are supported", kExitNotCharger);
}

void logReport(const DeviceInfo& info) {
    for (const std::string& line : capabilityReportLines(info)) logInfo(kCategory, "%s", line.c_str());
    if (info.minVoltage == 0) logError(kCategory, "mppt charger model unknown...");
}

// The whole report; a refusal passes on unlogged.
DeviceInfo qualifiedDevice(HexLink& link) {
    DeviceInfo info;
    HexProto hex(&link);
    // Held across the whole series so no other request slips in between.
    std::lock_guard<std::recursive_mutex> lock(link.linkMutex);
    std::uint16_t pingWord = 0;
    try {
        pingWord = pingApplication(hex, info);
        readChargerId(hex, info);
    } catch (const no_response&) {
        refuse("no response received (check power / correct serial port)", kExitNoPingReply);
    }
    completeDeviceInfo(info, pingWord, hex.registerReader());
    logReport(info);
    return info;
}

}  // namespace

int refusalExitCode(const device_refused& refusal) {
    return carriedExitCode(refusal);
}

DeviceInfo capabilitiesReport(HexLink& link, RefusalLog refusalLog) {
    try {
        return qualifiedDevice(link);
    } catch (const device_refused& refusal) {
        if (refusalLog == RefusalLog::here) logError(kCategory, "%s", refusal.what());
        throw;
    }
}

}  // namespace tessline
