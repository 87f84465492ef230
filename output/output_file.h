// OutputFile: a file that the table (or the get mode's lines) is appended
// to, a whole line at a time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/append_file.h"

namespace tessline {

// A file that cannot be opened or written; what() names the file and the
// system's reason.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A line of a table file that is a header: every cell starts with a letter
// (rows start with a quoted time stamp, a number or "-").
bool isHeaderLine(const std::string& line);

// Its users write to it instead of standard output, which stays untouched:
// the traffic dump and the error reports keep the process's own standard
// output and error, whatever way the run ends.
class OutputFile {
public:
    // Opens the file for appending, creating it when missing; throws
    // OutputError ("cannot open output file NAME: reason") when it cannot.
    // A file that ends inside a line (a power cut mid-row) gets its line end
    // first.
    explicit OutputFile(std::string name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& name() const { return name_; }
    // True when the file already held data.
    bool hadContent() const { return hadContent_; }
    // The file's last header line, looked for backwards from its end over a
    // bounded stretch (beyond it, the file's first line counts); "" when
    // there is none.
    std::string lastHeaderLine() const;
    // Appends `text` whole, or throws OutputError ("cannot write NAME:
    // reason") and cuts off what the failed write left, so that no part of
    // a row stays in the file.
    void append(const std::string& text);
    // Whether the name still leads to this file (not moved, deleted or
    // replaced since it was opened).
    bool stillAtPath() const;
    // Pushes the written data to the disk before the file is left.
    void sync();

private:
    std::string firstLine(std::int64_t size) const;

    std::string name_;
    AppendFile file_;
    FileIdentity identity_;
    bool regular_ = false;
    bool hadContent_ = false;
};

}  // namespace tessline
