#include "platform/console.h"

namespace tessline {

void useBinaryStandardOutput() {}

}  // namespace tessline
