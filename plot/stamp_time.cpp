#include "plot/stamp_time.h"

#include <cmath>
#include <ctime>

namespace tessline {

namespace {

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Every name is three letters long: compared as such, without strlen, as
// every row's stamp asks.
template <std::size_t N>
int indexOf(std::string_view name, const char* const (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == std::string_view(names[i], 3)) return static_cast<int>(i);
    return -1;
}

// Digits at [from, from + count), a leading blank allowed where `padded`.
bool readNumber(std::string_view text, std::size_t from, std::size_t count, int& number, bool padded = false) {
    number = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        char c = text[i];
        if (padded && c == ' ' && i == from) continue;
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

double stampSeconds(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<double>(daysFromCivil(year, month, day)) * kSecondsPerDay + hour * 3600.0 + minute * 60.0 +
           second;
}

}  // namespace

bool parseStamp(std::string_view text, double& seconds) {
    // "Www Mmm dd hh:mm:ss yyyy"
    if (text.size() != 24 || text[3] != ' ' || text[7] != ' ' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text[19] != ' ')
        return false;
    int month = indexOf(text.substr(4, 3), kMonths) + 1;
    int day, hour, minute, second, year;
    if (indexOf(text.substr(0, 3), kWeekdays) < 0 || month == 0 || !readNumber(text, 8, 2, day, true) ||
        !readNumber(text, 11, 2, hour) || !readNumber(text, 14, 2, minute) || !readNumber(text, 17, 2, second) ||
        !readNumber(text, 20, 4, year))
        return false;
    if (day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 60) return false;
    seconds = stampSeconds(year, month, day, hour, minute, second);
    return true;
}

bool parseLocalTime(std::string_view text, double& seconds, bool& withClock) {
    // "yyyy-mm-dd" or "yyyy-mm-dd hh:mm"
    withClock = text.size() == 16;
    if ((text.size() != 10 && !withClock) || text[4] != '-' || text[7] != '-') return false;
    if (withClock && (text[10] != ' ' || text[13] != ':')) return false;
    int year, month, day, hour = 0, minute = 0;
    if (!readNumber(text, 0, 4, year) || !readNumber(text, 5, 2, month) || !readNumber(text, 8, 2, day)) return false;
    if (withClock && (!readNumber(text, 11, 2, hour) || !readNumber(text, 14, 2, minute))) return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59) return false;
    seconds = stampSeconds(year, month, day, hour, minute, 0);
    return true;
}

std::string stampText(double seconds, const char* format) {
    std::time_t whole = static_cast<std::time_t>(std::floor(seconds));
    std::tm fields{};
    char text[128];
    if (!gmtime_r(&whole, &fields) || std::strftime(text, sizeof text, format, &fields) == 0) return "";
    return text;
}

double dayStart(double seconds) { return std::floor(seconds / kSecondsPerDay) * kSecondsPerDay; }

}  // namespace tessline
