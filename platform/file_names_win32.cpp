#include "platform/file_names.h"

#include <cstring>

namespace tessline {

bool isReservedInFileName(char c) { return c != '\0' && std::strchr("/\\:*?\"<>|", c) != nullptr; }

}  // namespace tessline
