#include "output/output_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessline {

namespace {

// Whether the file's last byte is a line end; a file that cannot be read
// back counts as ending well, so that nothing is added to it.
bool endsWithLineEnd(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    char last = '\n';
    if (in.seekg(-1, std::ios::end)) in.get(last);
    return last == '\n';
}

}  // namespace

OutputFile::OutputFile(const std::string& name)
    : stream_(std::make_unique<std::ofstream>(name, std::ios::out | std::ios::app)) {
    if (!stream_->is_open()) {
        int error = errno;
        throw std::runtime_error("cannot open output file " + name + ": " + std::strerror(error));
    }
    stream_->seekp(0, std::ios::end);
    hadContent_ = stream_->good() && stream_->tellp() > 0;
    // A power cut may have ended the file inside a row: the next row starts
    // on a line of its own instead of being glued to the fragment.
    if (hadContent_ && !endsWithLineEnd(name)) *stream_ << '\n' << std::flush;
}

}  // namespace tessline
