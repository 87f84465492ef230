#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace tessline {

void useBinaryStandardOutput() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace tessline
