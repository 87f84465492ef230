// SimSettings: everything the command line decides about one simulator run.
#pragma once

#include <cstdint>
#include <string>

#include "sim/device_profile.h"
#include "sim/fault_plan.h"

namespace tessline {

struct SimSettings {
    DeviceProfile profile;
    FaultPlan faults;
    std::uint64_t seed = 1;
    std::int64_t periodMicros = 1000000;  // one TEXT block a second
    double timeScale = 1.0;               // simulated seconds per real second
    int startMinute = 750;                // simulated time of day at start
    bool frozen = false;
    bool throttle = true;                 // pace the line like 19200 baud
    std::string eepromFile;               // empty: content from the seed
    std::string linkPath;
    std::string logPath;
    bool verbose = false;
    // --replay: serve this capture instead of the simulated charger.
    std::string replayPath;
    double replaySpeed = 1.0;
    bool replayLoop = false;
};

}  // namespace tessline
