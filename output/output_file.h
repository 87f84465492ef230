// OutputFile: a file that the table (or the get mode's lines) is appended
// to, ready for the next line.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

namespace tessline {

// Its users write to stream() instead of standard output, which stays
// untouched: the traffic dump and the error reports keep the process's own
// standard output and error, whatever way the run ends.
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
