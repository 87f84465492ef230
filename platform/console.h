// The process's standard output as the traffic dump needs it.
#pragma once

namespace tessline {

// Standard output passes bytes unchanged: Windows' C runtime otherwise
// writes every LF as CR LF. Nothing to do on POSIX.
void useBinaryStandardOutput();

}  // namespace tessline
