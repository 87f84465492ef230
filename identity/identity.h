// Identity: who the charger says it is, as the get mode prints it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessline {

struct Identity {
    std::string manufacturer;
    std::string model;
    std::string serialNumber;
    std::string softwareVersion;
    std::uint16_t productId = 0xFFFF;  // 0xFFFF: unknown
};

// The same charger: the same product and serial number.
bool sameDevice(const Identity& a, const Identity& b);

// Expands %m (model), %s (serial number) and %v (software version) with the
// device's texts as `insert` makes them safe for the place, and `extraKey`
// with `extraText`; any other "%" pair stays. Inserted text is never
// scanned again, so a device text cannot bring keys of its own.
std::string expandIdentityKeys(const std::string& pattern, const Identity& identity,
                               const std::function<std::string(const std::string&)>& insert,
                               char extraKey = '\0', const std::string& extraText = std::string());

}  // namespace tessline
