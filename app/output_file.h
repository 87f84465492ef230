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
// local time in ctime form); any other "%" pair stays. The scan goes on one
// past each "%", so text that an expansion inserted is scanned too.
std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now);

class OutputFile {
public:
    // Opens the file for appending; throws std::runtime_error naming the file
    // and the system's reason when it cannot.
    explicit OutputFile(const std::string& name);
    // True when the file already held data, so the table header is left out.
    bool hadContent() const { return hadContent_; }
    // Standard output goes into the file until restore().
    void redirect(std::ostream& out = std::cout);
    void restore();
    void close();

private:
    std::unique_ptr<std::ofstream> stream_;
    bool hadContent_ = false;
    std::ostream* redirected_ = nullptr;
    std::streambuf* savedBuffer_ = nullptr;
};

}  // namespace tessline
