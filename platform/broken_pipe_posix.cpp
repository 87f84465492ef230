#include "platform/broken_pipe.h"

#include <signal.h>

namespace tessline {

struct QuietBrokenPipe::Saved {
    struct sigaction previous {};
};

QuietBrokenPipe::QuietBrokenPipe() : saved_(std::make_unique<Saved>()) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &saved_->previous);
}

QuietBrokenPipe::~QuietBrokenPipe() { ::sigaction(SIGPIPE, &saved_->previous, nullptr); }

}  // namespace tessline
