#include "output/output_file.h"

#include <algorithm>
#include <cctype>

#include "log/log.h"

namespace tessline {

namespace {

// How far back from the end the last header is looked for: a whole day of
// rows a second, or days of the widest rows a minute.
constexpr std::int64_t kHeaderSearchBytes = 16 << 20;
constexpr std::size_t kReadBlock = 64 << 10;

}  // namespace

bool isHeaderLine(const std::string& line) {
    if (line.empty()) return false;
    for (std::size_t start = 0; start != std::string::npos;) {
        if (start >= line.size() || !std::isalpha(static_cast<unsigned char>(line[start]))) return false;
        std::size_t comma = line.find(',', start);
        start = comma == std::string::npos ? comma : comma + 1;
    }
    return true;
}

OutputFile::OutputFile(std::string name) : name_(std::move(name)) {
    // Read and write, so that the last header can be read back; a file
    // that may only be written is appended to all the same.
    int error = 0;
    if (!file_.open(name_, error))
        throw OutputError("cannot open output file " + name_ + ": " + systemErrorText(error));
    FileStatus info;
    if (file_.status(info)) {
        identity_ = info.identity;
        regular_ = info.regular;
        hadContent_ = regular_ && info.size > 0;
    }
    std::string last(1, '\n');
    if (hadContent_ && file_.readAt(last, info.size - 1) && last != "\n") {
        // A power cut may have ended the file inside a row: the next row
        // starts on a line of its own instead of being glued to the fragment.
        try {
            append("\n");
        } catch (...) {
            file_.close();  // no destructor runs for an object not made
            throw;
        }
    }
}

OutputFile::~OutputFile() = default;

std::string OutputFile::firstLine(std::int64_t size) const {
    std::string text(static_cast<std::size_t>(std::min<std::int64_t>(size, kReadBlock)), '\0');
    if (!file_.readAt(text, 0)) return "";
    return withoutTextModeCr(text.substr(0, text.find('\n')));
}

std::string OutputFile::lastHeaderLine() const {
    FileStatus info;
    if (!hadContent_ || !file_.status(info)) return "";
    const std::int64_t size = info.size;
    std::int64_t position = size;
    std::string carry;  // the part of the file after `position` up to its first line end
    while (position > 0 && size - position < kHeaderSearchBytes) {
        std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(kReadBlock, position));
        position -= static_cast<std::int64_t>(count);
        std::string text(count, '\0');
        if (!file_.readAt(text, position)) return "";
        text += carry;
        // Whole lines are those after a line end; the text before the first
        // one is a whole line only at the file's start.
        std::size_t end = text.size();
        for (std::size_t lineEnd; end > 0 && (lineEnd = text.rfind('\n', end - 1)) != std::string::npos;
             end = lineEnd) {
            std::string line = withoutTextModeCr(text.substr(lineEnd + 1, end - lineEnd - 1));
            if (isHeaderLine(line)) return line;
        }
        carry = text.substr(0, end);
        if (position == 0) {
            std::string first = withoutTextModeCr(carry);
            return isHeaderLine(first) ? first : "";
        }
    }
    // A table longer than the stretch: its header is the file's first line
    // when that is one.
    std::string first = firstLine(size);
    return isHeaderLine(first) ? first : "";
}

void OutputFile::append(const std::string& text) {
    FileStatus before;
    const bool knowsSize = regular_ && file_.status(before);
    int error = 0;
    if (file_.append(text.data(), text.size(), error)) return;
    // A device such as /dev/full cannot be cut, and needs no cutting.
    int cutError = 0;
    if (knowsSize && !file_.truncate(before.size, cutError))
        logError("output", "cannot cut the unfinished row from %s: %s", name_.c_str(),
                 systemErrorText(cutError).c_str());
    throw OutputError("cannot write " + name_ + ": " + systemErrorText(error));
}

bool OutputFile::stillAtPath() const {
    FileIdentity now;
    return identityOfPath(name_, now) && now == identity_;
}

void OutputFile::sync() {
    int error = 0;
    if (regular_ && !file_.sync(error))
        logError("output", "cannot save %s to the disk: %s", name_.c_str(), systemErrorText(error).c_str());
}

}  // namespace tessline
