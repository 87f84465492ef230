#include "identity/identity.h"

namespace tessline {

bool sameDevice(const Identity& a, const Identity& b) {
    return a.productId == b.productId && a.serialNumber == b.serialNumber;
}

std::string expandIdentityKeys(const std::string& pattern, const Identity& identity,
                               const std::function<std::string(const std::string&)>& insert, char extraKey,
                               const std::string& extraText) {
    std::string expanded;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        char key = pattern[p] == '%' && p + 1 < pattern.size() ? pattern[p + 1] : '\0';
        if (key == 'm') {
            expanded += insert(identity.model);
        } else if (key == 's') {
            expanded += insert(identity.serialNumber);
        } else if (key == 'v') {
            expanded += insert(identity.softwareVersion);
        } else if (key != '\0' && key == extraKey) {
            expanded += extraText;
        } else {
            expanded += pattern[p];
            continue;
        }
        ++p;  // the key letter
    }
    return expanded;
}

}  // namespace tessline
