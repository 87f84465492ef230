#include "app/output_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessline {

namespace {

std::string ctimeText(std::time_t now) {
    char buffer[32];
    std::string text = ctime_r(&now, buffer) ? buffer : "";
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

std::string safeNamePart(const std::string& deviceText) {
    std::string part = deviceText;
    for (char& c : part) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7F) c = '_';
    }
    if (!part.empty() && part[0] == '.') part[0] = '_';
    return part;
}

std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now) {
    std::string name;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        char key = pattern[p] == '%' && p + 1 < pattern.size() ? pattern[p + 1] : '\0';
        switch (key) {
            case 'm': name += safeNamePart(identity.model); break;
            case 's': name += safeNamePart(identity.serialNumber); break;
            case 'v': name += safeNamePart(identity.softwareVersion); break;
            case 't': name += ctimeText(now); break;
            default: name += pattern[p]; continue;
        }
        ++p;  // the key letter
    }
    return name;
}

OutputFile::OutputFile(const std::string& name)
    : stream_(std::make_unique<std::ofstream>(name, std::ios::out | std::ios::app)) {
    if (!stream_->is_open()) {
        int error = errno;
        throw std::runtime_error("cannot open output file " + name + ": " + std::strerror(error));
    }
    stream_->seekp(0, std::ios::end);
    hadContent_ = stream_->good() && stream_->tellp() > 0;
}

}  // namespace tessline
