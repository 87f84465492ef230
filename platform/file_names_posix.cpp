#include "platform/file_names.h"

namespace tessline {

bool isReservedInFileName(char c) { return c == '/'; }

}  // namespace tessline
