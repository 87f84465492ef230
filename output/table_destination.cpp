#include "output/table_destination.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessline {

void writeTableLine(std::ostream& out, const std::string& line) {
    // The reason is the one of the write that failed: a stream that failed
    // before writes nothing more and sets no errno.
    errno = 0;
    out << line << '\n' << std::flush;
    if (!out) {
        int error = errno;
        throw std::runtime_error(std::string("cannot write the table: ") +
                                 (error ? std::strerror(error) : "output stream failed"));
    }
}

void TableDestination::startTable(const Identity& identity, const std::string& header) {
    if (file_) return file_->startTable(identity, header);
    const bool due = started_ ? !sameDevice(identity, device_) || header != lastHeader_ : !appended_;
    if (!started_ && appended_) lastHeader_ = header;
    started_ = true;
    device_ = identity;
    if (!due || header.empty()) return;
    writeTableLine(*out_, header);
    lastHeader_ = header;
}

void TableDestination::writeRow(std::time_t time, const std::string& line) {
    if (file_) return file_->writeRow(time, line);
    writeTableLine(*out_, line);
}

void TableDestination::end() {
    if (file_) return file_->end();
    out_->flush();
}

}  // namespace tessline
