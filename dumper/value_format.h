// Parsers turn a received text into an item's value with the item's scale;
// formatters turn an item into the text of its column. All are plain
// functions that a DumpItem stores.
#pragma once

#include <string>
#include <vector>

#include "dumper/dump_item.h"
#include "fields/device_scales.h"
#include "fields/field.h"

namespace tessline {

// The whole text as a classic decimal number, divided by 1, 10, 100 or 1000.
// A text that is not a number throws boost::bad_lexical_cast and leaves the
// item unchanged.
void parseNumber(DumpItem& item, const std::string& text);
void parseTenths(DumpItem& item, const std::string& text);
void parseHundredths(DumpItem& item, const std::string& text);
void parseThousandths(DumpItem& item, const std::string& text);
// The same for a value the device counts in `scale`'s steps.
DumpItem::Parser stepParser(const DeviceScale& scale);
// 0 for "OFF", 1 for "ON" (letter case matters), 255 for anything else.
void parseOnOff(DumpItem& item, const std::string& text);

// Every formatter but formatNow gives a missing "-" for an item without a
// value. Names, clock times and the time stamp are text cells (which the
// CSV prints in double quotes); a fixed-point value that is not finite
// ("nan") is a word.
// A number cell carries its value as its text shows it, a name its index.
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

// The formatter of a catalogue field's kind, digits and names.
DumpItem::Formatter formatterOf(const Field& field);

// Local time of `secondsSinceEpoch` in the 24-character asctime form.
std::string asctimeText(std::int64_t secondsSinceEpoch);

}  // namespace tessline
