// The name template of --output; the file itself is an OutputFile.
#pragma once

#include <ctime>
#include <string>

#include "identity/identity.h"
#include "output/output_file.h"

namespace tessline {

// Expands %m (model), %s (serial number), %v (software version) and %t (the
// local time in ctime form); any other "%" pair stays. Inserted text is never
// scanned again. Texts that come from the device cannot steer the name
// elsewhere: "/", NUL and control characters become "_", and so does a
// leading ".".
std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now);
std::string safeNamePart(const std::string& deviceText);
// The port's name for a file name: "/dev/ttyUSB0" gives "ttyUSB0",
// "/dev/serial/by-id/usb-X" gives "serial_by-id_usb-X".
std::string portShortName(const std::string& port);

}  // namespace tessline
