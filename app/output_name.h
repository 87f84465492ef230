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
// leading "."; on Windows also \ : * ? " < > |, which the time holds too.
std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now);
std::string safeNamePart(const std::string& deviceText);
// The file of --output for a device on `port`. With a file a period
// (`rotates`), a charger without a serial number is named after its port
// ("no-serial-ttyUSB0"), so that such chargers neither share a file nor
// write hidden ones.
std::string outputFileName(const std::string& pattern, const Identity& identity, const std::string& port,
                           bool rotates, std::time_t now);

}  // namespace tessline
