#include "output/rotating_file.h"

#include <cctype>
#include <stdexcept>
#include <filesystem>
#include <system_error>

#include "log/log.h"

namespace tessline {

namespace fs = std::filesystem;

namespace {

// The name split where the period's date goes: before the extension of
// the last path part (a leading dot is no extension), or at the end.
struct NameParts {
    std::string head, tail;
};

NameParts splitName(const std::string& name) {
    std::size_t slash = name.rfind('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot <= start) return {name + "-", ""};
    return {name.substr(0, dot) + "-", name.substr(dot)};
}

const char* dateFormat(Rotation rotation) { return rotation == Rotation::daily ? "%Y-%m-%d" : "%Y-%m"; }

std::string periodDate(Rotation rotation, std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, dateFormat(rotation), &local);
    return text;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long daysFromCivil(long y, long m, long d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The period's number (days or months since the epoch) of a date as
// periodDate() writes it, or -1 when `date` is not exactly such a date.
long periodNumber(Rotation rotation, const std::string& date) {
    const std::string shape = rotation == Rotation::daily ? "dddd-dd-dd" : "dddd-dd";
    if (date.size() != shape.size()) return -1;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(date[i]));
        if (digit != (shape[i] == 'd')) return -1;
    }
    long year = std::stol(date.substr(0, 4)), month = std::stol(date.substr(5, 2));
    if (month < 1 || month > 12) return -1;
    if (rotation == Rotation::monthly) return year * 12 + month - 1;
    long day = std::stol(date.substr(8, 2));
    if (day < 1 || day > 31) return -1;
    return daysFromCivil(year, month, day);
}

bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

Rotation parseRotation(const std::string& text) {
    if (text == "daily") return Rotation::daily;
    if (text == "monthly") return Rotation::monthly;
    throw std::invalid_argument("--rotate " + text + ": use daily or monthly");
}

std::string periodFileName(const std::string& name, Rotation rotation, std::time_t time) {
    NameParts parts = splitName(name);
    return parts.head + periodDate(rotation, time) + parts.tail;
}

OutputFile& RotatingFile::fileFor(std::time_t time, bool& switched) {
    std::string name = periodFileName(name_, rotation_, time);
    switched = !current_ || name != currentName_;
    if (!switched) return *current_;
    // The old file is closed whole (every row was flushed) before the new
    // one opens; a clock that went back appends to its day's file again.
    current_.reset();
    currentName_ = name;
    current_ = std::make_unique<OutputFile>(name);
    if (keep_ > 0) pruneOlderThan(time);
    return *current_;
}

// Only regular files whose whole name is this template's with a period
// date in it are candidates; symlinks, other devices' files and look-alike
// names are left alone.
void RotatingFile::pruneOlderThan(std::time_t time) const {
    NameParts parts = splitName(name_);
    fs::path headPath(parts.head);
    fs::path folder = headPath.has_parent_path() ? headPath.parent_path() : fs::path(".");
    std::string head = headPath.filename().string();
    long oldestKept = periodNumber(rotation_, periodDate(rotation_, time)) - keep_ + 1;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string entry = it->path().filename().string();
        if (!startsWith(entry, head) || !endsWith(entry, parts.tail)) continue;
        std::string date = entry.substr(head.size(), entry.size() - head.size() - parts.tail.size());
        long period = periodNumber(rotation_, date);
        if (period < 0 || period >= oldestKept) continue;
        std::error_code statusError;
        if (!fs::is_regular_file(fs::symlink_status(it->path(), statusError))) continue;
        std::error_code removeError;
        if (!fs::remove(it->path(), removeError) && removeError)
            logError("output", "cannot delete the old file %s: %s", it->path().string().c_str(),
                     removeError.message().c_str());
    }
    if (error) logError("output", "cannot list %s for old files: %s", folder.string().c_str(), error.message().c_str());
}

}  // namespace tessline
