#include "output/rotating_file.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>
#include <filesystem>
#include <system_error>

#include "log/log.h"
#include "platform/civil_time.h"

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
    toLocalTime(time, local);
    char text[32];
    std::strftime(text, sizeof text, dateFormat(rotation), &local);
    return text;
}

bool leapYear(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

long daysInMonth(long year, long month) {
    static const long days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[month - 1];
}

// The date as periodDate() writes it, as a number that grows with the
// period (year, month and day side by side), or -1 when `date` is not
// exactly such a date of a real day or month.
long periodNumber(Rotation rotation, const std::string& date) {
    const std::string shape = rotation == Rotation::daily ? "dddd-dd-dd" : "dddd-dd";
    if (date.size() != shape.size()) return -1;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(date[i]));
        if (digit != (shape[i] == 'd')) return -1;
    }
    long year = std::stol(date.substr(0, 4)), month = std::stol(date.substr(5, 2));
    if (month < 1 || month > 12) return -1;
    if (rotation == Rotation::monthly) return year * 100 + month;
    long day = std::stol(date.substr(8, 2));
    if (day < 1 || day > daysInMonth(year, month)) return -1;
    return (year * 100 + month) * 100 + day;
}

bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string fileNamePart(const std::string& path) { return fs::path(path).filename().string(); }

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

std::vector<std::string> periodFilesBeyond(const std::vector<std::string>& entries, const std::string& name,
                                           Rotation rotation, const std::string& current, int keep) {
    NameParts parts = splitName(fileNamePart(name));
    const std::string currentName = fileNamePart(current);
    std::vector<std::pair<long, std::string>> dated;
    for (const std::string& entry : entries) {
        if (entry == currentName || entry.size() < parts.head.size() + parts.tail.size()) continue;
        if (!startsWith(entry, parts.head) || !endsWith(entry, parts.tail)) continue;
        std::string date = entry.substr(parts.head.size(), entry.size() - parts.head.size() - parts.tail.size());
        long period = periodNumber(rotation, date);
        if (period >= 0) dated.emplace_back(period, entry);
    }
    // Newest first; the current file is one of the `keep`.
    std::sort(dated.begin(), dated.end(), std::greater<>());
    std::vector<std::string> beyond;
    for (std::size_t i = static_cast<std::size_t>(std::max(keep - 1, 0)); i < dated.size(); ++i)
        beyond.push_back(dated[i].second);
    return beyond;
}

// Only regular files are candidates; symlinks, other devices' files and
// look-alike names are left alone.
void prunePeriodFiles(const std::string& name, Rotation rotation, const std::string& current, int keep) {
    fs::path folder = fs::path(name).has_parent_path() ? fs::path(name).parent_path() : fs::path(".");
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statusError;
        if (fs::is_regular_file(fs::symlink_status(it->path(), statusError)))
            entries.push_back(it->path().filename().string());
    }
    if (error) {
        logError("output", "cannot list %s for old files: %s", folder.string().c_str(), error.message().c_str());
        return;
    }
    for (const std::string& entry : periodFilesBeyond(entries, name, rotation, current, keep)) {
        fs::path path = folder / entry;
        std::error_code removeError;
        if (fs::remove(path, removeError))
            logNotice("output", "deleted the old file %s", path.string().c_str());
        else if (removeError)
            logError("output", "cannot delete the old file %s: %s", path.string().c_str(),
                     removeError.message().c_str());
    }
}

}  // namespace tessline
