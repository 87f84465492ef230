#include "platform/broken_pipe.h"

namespace tessline {

struct QuietBrokenPipe::Saved {};

QuietBrokenPipe::QuietBrokenPipe() = default;

QuietBrokenPipe::~QuietBrokenPipe() = default;

}  // namespace tessline
