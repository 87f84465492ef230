// Standard output whose reader has gone (a pipe into "head").
#pragma once

#include <memory>

namespace tessline {

// While it lives, a write to a standard output whose reader has gone fails
// with an error instead of ending the process: POSIX's SIGPIPE is ignored.
// Windows has no such signal; there the write fails anyway.
class QuietBrokenPipe {
public:
    QuietBrokenPipe();
    ~QuietBrokenPipe();
    QuietBrokenPipe(const QuietBrokenPipe&) = delete;
    QuietBrokenPipe& operator=(const QuietBrokenPipe&) = delete;

private:
    struct Saved;  // the signal disposition to restore
    std::unique_ptr<Saved> saved_;
};

}  // namespace tessline
