#include "dumper/value_format.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include <boost/lexical_cast.hpp>

#include "dumper/dump_clock.h"
#include "fields/field_catalogue.h"
#include "platform/civil_time.h"
#include "fields/field_value.h"

namespace tessline {

namespace {

std::string printfText(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string printfText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    std::string text(needed > 0 ? static_cast<std::size_t>(needed) : 0, '\0');
    if (needed > 0) std::vsnprintf(&text[0], text.size() + 1, format, args);
    va_end(args);
    return text;
}

bool hasValue(const DumpItem& item) { return item.updatedAt != 0; }

// Truncation toward zero; false for a value no integer can hold (NaN,
// infinity, beyond 64 bits), which a TEXT field can bring in.
bool truncatedValue(const DumpItem& item, long long& number) {
    constexpr double kLimit = 9.2e18;
    if (!std::isfinite(item.value) || std::fabs(item.value) >= kLimit) return false;
    number = static_cast<long long>(item.value);
    return true;
}

// The name and index of the truncated value: UNKNOWN for one no integer holds.
TableCell nameOf(const DumpItem& item, const Enumeration& names) {
    if (!hasValue(item)) return missingCell();
    long long value = -1;
    if (!truncatedValue(item, value)) value = -1;
    int index = enumIndex(names, value);
    return nameCell(enumName(names, index), index);
}

// printf writes "nan" or "inf" for a value that is not finite: words, not numbers.
TableCell fixedPoint(const DumpItem& item, int digits) {
    if (!hasValue(item)) return missingCell();
    std::string text = printfText("%.*f", digits, item.value);
    if (!std::isfinite(item.value)) return wordCell(std::move(text));
    return numberCell(std::move(text), roundedAsPrinted(item.value, digits));
}

void parseScaled(DumpItem& item, const std::string& text, double divisor) {
    item.value = boost::lexical_cast<double>(text) / divisor;
}

constexpr double kMinutesPerDay = 1440;

}  // namespace

void parseNumber(DumpItem& item, const std::string& text) { parseScaled(item, text, 1); }
void parseTenths(DumpItem& item, const std::string& text) { parseScaled(item, text, 10); }
void parseHundredths(DumpItem& item, const std::string& text) { parseScaled(item, text, 100); }
void parseThousandths(DumpItem& item, const std::string& text) { parseScaled(item, text, 1000); }

DumpItem::Parser stepParser(const DeviceScale& scale) {
    return [divisor = static_cast<double>(scale.steps)](DumpItem& item, const std::string& text) {
        parseScaled(item, text, divisor);
    };
}

void parseOnOff(DumpItem& item, const std::string& text) {
    if (text == "OFF") item.value = 0;
    else if (text == "ON") item.value = 1;
    else item.value = 255;
}

std::string asctimeText(std::int64_t secondsSinceEpoch) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    if (!toLocalTime(seconds, local)) return "-";
    return printfText("%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[local.tm_wday], kMonths[local.tm_mon],
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 1900 + local.tm_year);
}

TableCell formatNow(DumpItem&) { return textCell(asctimeText(dumpClock().now())); }

TableCell formatState(DumpItem& item) { return nameOf(item, chargeStates()); }

TableCell formatOnOff(DumpItem& item) {
    static const Enumeration& names = *catalogueField(Record::live, "load").names;
    return nameOf(item, names);
}

TableCell formatDayNight(DumpItem& item) {
    static const Enumeration& names = *catalogueField(Record::live, "rtcstate").names;
    return nameOf(item, names);
}

TableCell formatClock(DumpItem& item) {
    if (!hasValue(item)) return missingCell();
    long long minutes = 0;
    // A negative minute count has no clock time either.
    if (!(item.value < kMinutesPerDay) || !truncatedValue(item, minutes) || minutes < 0)
        return textCell("--:--");
    return textCell(printfText("%02d:%02d", static_cast<int>(minutes / 60), static_cast<int>(minutes % 60)));
}

TableCell formatInt(DumpItem& item) {
    long long number = 0;
    if (!hasValue(item) || !truncatedValue(item, number)) return missingCell();
    return numberCell(printfText("%lld", number), static_cast<double>(number));
}

// The widths of "%02.1f" and the like never pad: a fixed-point text has at
// least three characters.
TableCell formatFixed0(DumpItem& item) { return fixedPoint(item, 0); }
TableCell formatFixed1(DumpItem& item) { return fixedPoint(item, 1); }
TableCell formatFixed2(DumpItem& item) { return fixedPoint(item, 2); }
TableCell formatFixed3(DumpItem& item) { return fixedPoint(item, 3); }

namespace {

DumpItem::Formatter fixedFormatterOf(int digits) {
    static const DumpItem::Formatter kByDigits[] = {formatFixed0, formatFixed1, formatFixed2, formatFixed3};
    return digits >= 0 && digits < 4 ? kByDigits[digits] : formatFixed3;
}

// The catalogue's three enumerations, each with its own formatter.
DumpItem::Formatter namesFormatterOf(const Field& field) {
    if (field.names == &chargeStates()) return formatState;
    if (field.names == catalogueField(Record::live, "load").names) return formatOnOff;
    if (field.names == catalogueField(Record::live, "rtcstate").names) return formatDayNight;
    const Enumeration* names = field.names;
    return [names](DumpItem& item) { return names ? nameOf(item, *names) : missingCell(); };
}

}  // namespace

DumpItem::Formatter formatterOf(const Field& field) {
    switch (field.kind) {
    case FieldKind::integer: return formatInt;
    case FieldKind::decimal: return fixedFormatterOf(field.digits);
    case FieldKind::enumeration: return namesFormatterOf(field);
    case FieldKind::clockTime: return formatClock;
    case FieldKind::timestamp: return formatNow;
    }
    return formatFixed3;
}

}  // namespace tessline
