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

// A device text such as a serial number "x%s" would make the rescanning
// expansion grow the name for ever; no file name is longer than this anyway.
constexpr std::size_t kMaxNameLength = 4096;

std::string expandOutputTemplate(const std::string& pattern, const Identity& identity, std::time_t now) {
    std::string name = pattern;
    for (std::size_t p = name.find('%'); p != std::string::npos && name.size() <= kMaxNameLength;
         p = name.find('%', p + 1)) {
        char key = p + 1 < name.size() ? name[p + 1] : '\0';
        switch (key) {
            case 'm': name.replace(p, 2, identity.model); break;
            case 's': name.replace(p, 2, identity.serialNumber); break;
            case 'v': name.replace(p, 2, identity.softwareVersion); break;
            case 't': name.replace(p, 2, ctimeText(now)); break;
            default: break;
        }
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

void OutputFile::redirect(std::ostream& out) {
    redirected_ = &out;
    savedBuffer_ = out.rdbuf(stream_->rdbuf());
    out.clear();
}

void OutputFile::restore() {
    if (redirected_ && savedBuffer_) redirected_->rdbuf(savedBuffer_);
    savedBuffer_ = nullptr;
}

void OutputFile::close() {
    if (stream_) stream_->close();
}

}  // namespace tessline
