#include "app/output_name.h"

#include "platform/civil_time.h"
#include "platform/file_names.h"

namespace tessline {

std::string safeNamePart(const std::string& deviceText) {
    std::string part = deviceText;
    for (char& c : part) {
        unsigned char u = static_cast<unsigned char>(c);
        if (isReservedInFileName(c) || u < 0x20 || u == 0x7F) c = '_';
    }
    if (!part.empty() && part[0] == '.') part[0] = '_';
    return part;
}

std::string outputFileName(const std::string& pattern, const Identity& identity, const std::string& port,
                           bool rotates, std::time_t now) {
    if (!rotates || !identity.serialNumber.empty()) return expandOutputTemplate(pattern, identity, now);
    const std::string devices = "/dev/";
    const bool underDev = port.compare(0, devices.size(), devices) == 0;
    Identity named = identity;
    named.serialNumber = "no-serial-" + (underDev ? port.substr(devices.size()) : port);
    return expandOutputTemplate(pattern, named, now);
}

std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now) {
    return expandIdentityKeys(pattern, identity, safeNamePart, 't', safeNamePart(ctimeText(now)));
}

}  // namespace tessline
