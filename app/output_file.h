// The output file of --output: its name template and the redirection of
// standard output into it.
#pragma once

#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "identity/identity.h"

namespace tessline {

// Expands %m (model), %s (serial number), %v (software version) and %t (the
// local time in ctime form); any other "%" pair stays. Inserted text is never
// scanned again. Texts that come from the device cannot steer the name
// elsewhere: "/", NUL and control characters become "_", and so does a
// leading ".".
std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now);
std::string safeNamePart(const std::string& deviceText);

// The file of --output. The modes write to stream() instead of standard
// output, which stays untouched: the traffic dump and the error reports keep
// the process's own standard output and error, whatever way the run ends.
class OutputFile {
public:
    // Opens the file for appending; throws std::runtime_error naming the file
    // and the system's reason when it cannot.
    explicit OutputFile(const std::string& name);
    // True when the file already held data, so the table header is left out.
    // A file that ends inside a line (a power cut mid-row) gets its line end
    // first.
    bool hadContent() const { return hadContent_; }
    std::ostream& stream() { return *stream_; }

private:
    std::unique_ptr<std::ofstream> stream_;
    bool hadContent_ = false;
};

}  // namespace tessline
