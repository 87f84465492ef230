// Identity: who the charger says it is, as the get mode prints it.
#pragma once

#include <cstdint>
#include <string>

namespace tessline {

struct Identity {
    std::string manufacturer;
    std::string model;
    std::string serialNumber;
    std::string softwareVersion;
    std::uint16_t productId = 0xFFFF;  // 0xFFFF: unknown
};

}  // namespace tessline
