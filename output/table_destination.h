// TableDestination: where a table writer's lines go: a stream of the
// caller's, an output file the writer keeps, or the file of each row's
// period.
#pragma once

#include <ctime>
#include <memory>
#include <ostream>

#include "output/output_file.h"
#include "output/rotating_file.h"

namespace tessline {

class TableDestination {
public:
    // `out` outlives the destination.
    explicit TableDestination(std::ostream& out) : out_(&out) {}
    explicit TableDestination(std::unique_ptr<OutputFile> file)
        : file_(std::move(file)), out_(&file_->stream()), hadContent_(file_->hadContent()) {}
    explicit TableDestination(std::unique_ptr<RotatingFile> files) : files_(std::move(files)) {}

    // A rotating destination knows its file only with the first row.
    bool rotating() const { return files_ != nullptr; }
    // The current stream; null for a rotating destination before its first row.
    std::ostream* current() const { return out_; }
    // Whether the current file held content when it was opened.
    bool hadContent() const { return hadContent_; }

    // The stream for a row of `time`. `switched`: a rotating destination
    // opened another period's file for it (throws as OutputFile does).
    std::ostream& streamFor(std::time_t time, bool& switched) {
        switched = false;
        if (files_) {
            OutputFile& file = files_->fileFor(time, switched);
            out_ = &file.stream();
            hadContent_ = file.hadContent();
        }
        return *out_;
    }

    void flush() {
        if (out_) out_->flush();
    }

private:
    std::unique_ptr<OutputFile> file_;     // null when writing to a stream of the caller's
    std::unique_ptr<RotatingFile> files_;  // set when rotating; out_ follows its current file
    std::ostream* out_ = nullptr;
    bool hadContent_ = false;
};

}  // namespace tessline
