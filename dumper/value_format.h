// Parsers turn a received text into an item's value with the item's scale;
// formatters turn an item into the text of its column. All are plain
// functions that a DumpItem stores.
#pragma once

#include <string>
#include <vector>

#include "dumper/dump_item.h"

namespace tessline {

// The whole text as a classic decimal number, divided by 1, 10, 100 or 1000.
// A text that is not a number throws boost::bad_lexical_cast and leaves the
// item unchanged.
void parseNumber(DumpItem& item, const std::string& text);
void parseTenths(DumpItem& item, const std::string& text);
void parseHundredths(DumpItem& item, const std::string& text);
void parseThousandths(DumpItem& item, const std::string& text);
// 0 for "OFF", 1 for "ON" (letter case matters), 255 for anything else.
void parseOnOff(DumpItem& item, const std::string& text);

// Every formatter but formatNow gives a missing "-" for an item without a
// value. Names and clock times are text cells between double-quote
// characters; a fixed-point value that is not finite ("nan") is text too.
TableCell formatNow(DumpItem& item);
TableCell formatState(DumpItem& item);
TableCell formatOnOff(DumpItem& item);
TableCell formatDayNight(DumpItem& item);
TableCell formatClock(DumpItem& item);
TableCell formatInt(DumpItem& item);
TableCell formatFixed0(DumpItem& item);
TableCell formatFixed1(DumpItem& item);
TableCell formatFixed2(DumpItem& item);
TableCell formatFixed3(DumpItem& item);

// The names formatState, formatOnOff and formatDayNight print, in value
// order and without quotes; "UNAVAILABLE" and "UNKNOWN" are not among them.
std::vector<std::string> stateNames();
std::vector<std::string> onOffNames();
std::vector<std::string> dayNightNames();

// Local time of `secondsSinceEpoch` in the 24-character asctime form.
std::string asctimeText(std::int64_t secondsSinceEpoch);

}  // namespace tessline
