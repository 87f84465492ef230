#include <cmath>
#include <limits>

#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "dumper/value_format.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;

using FormatterFn = TableCell (*)(DumpItem&);
using ParserFn = void (*)(DumpItem&, const std::string&);

const double kNaN = std::numeric_limits<double>::quiet_NaN();

DumpItem itemWithValue(double value) {
    DumpItem item;
    item.value = value;
    item.updatedAt = 1000;
    return item;
}

struct FormatCase {
    const char* legend;
    FormatterFn formatter;
    double value;
    const char* expected;
    CellKind kind;
};

const FormatCase kFormatCases[] = {
    {"state 0", formatState, 0, "\"OFF\"", CellKind::text},
    {"state 3.9 truncates to bulk", formatState, 3.9, "\"BULK\"", CellKind::text},
    {"state 11, last named", formatState, 11, "\"PSU\"", CellKind::text},
    {"state 12", formatState, 12, "\"UNKNOWN\"", CellKind::text},
    {"state 254", formatState, 254, "\"UNKNOWN\"", CellKind::text},
    {"state 255", formatState, 255, "\"UNAVAILABLE\"", CellKind::text},
    {"state 256", formatState, 256, "\"UNKNOWN\"", CellKind::text},
    {"state negative", formatState, -1, "\"UNKNOWN\"", CellKind::text},
    {"state -0.5 truncates to 0", formatState, -0.5, "\"OFF\"", CellKind::text},
    {"state NaN", formatState, kNaN, "\"UNKNOWN\"", CellKind::text},
    {"on/off 0", formatOnOff, 0, "\"OFF\"", CellKind::text},
    {"on/off 1", formatOnOff, 1, "\"ON\"", CellKind::text},
    {"on/off 255 from an unknown text", formatOnOff, 255, "\"UNKNOWN\"", CellKind::text},
    {"day/night 0", formatDayNight, 0, "\"NIGHT\"", CellKind::text},
    {"day/night 1.7", formatDayNight, 1.7, "\"DAY\"", CellKind::text},
    {"day/night 2", formatDayNight, 2, "\"UNKNOWN\"", CellKind::text},
    {"clock 0", formatClock, 0, "\"00:00\"", CellKind::text},
    {"clock 61.9 truncates", formatClock, 61.9, "\"01:01\"", CellKind::text},
    {"clock 1439", formatClock, 1439, "\"23:59\"", CellKind::text},
    {"clock 1440", formatClock, 1440, "\"--:--\"", CellKind::text},
    {"clock 65535, none", formatClock, 65535, "\"--:--\"", CellKind::text},
    {"clock negative", formatClock, -5, "\"--:--\"", CellKind::text},
    {"clock NaN", formatClock, kNaN, "\"--:--\"", CellKind::text},
    {"int 7.6 truncates", formatInt, 7.6, "7", CellKind::number},
    {"int -7.6 truncates toward zero", formatInt, -7.6, "-7", CellKind::number},
    {"int beyond 32 bits", formatInt, 4294967294.0, "4294967294", CellKind::number},
    {"int NaN", formatInt, kNaN, "-", CellKind::missing},
    {"int 1e30", formatInt, 1e30, "-", CellKind::missing},
    {"fixed0 7.6 rounds", formatFixed0, 7.6, "8", CellKind::number},
    {"fixed0 wide value", formatFixed0, 5820, "5820", CellKind::number},
    {"fixed1", formatFixed1, 35.1, "35.1", CellKind::number},
    {"fixed1 small value keeps its zero", formatFixed1, 0.04, "0.0", CellKind::number},
    {"fixed2", formatFixed2, 12.84, "12.84", CellKind::number},
    {"fixed2 negative", formatFixed2, -3.5, "-3.50", CellKind::number},
    {"fixed3", formatFixed3, 1.5, "1.500", CellKind::number},
    {"fixed3 huge value is printed whole", formatFixed3, 1e20, "100000000000000000000.000", CellKind::number},
    {"fixed1 NaN is a word", formatFixed1, kNaN, "nan", CellKind::word},
    {"fixed2 infinity is a word", formatFixed2, -HUGE_VAL, "-inf", CellKind::word},
};

TEST(ValueFormat, FormattersOfAValue) {
    for (const FormatCase& c : kFormatCases) {
        DumpItem item = itemWithValue(c.value);
        TableCell cell = c.formatter(item);
        EXPECT_EQ(csvLine({cell}), c.expected) << c.legend;
        EXPECT_EQ(cell.kind, c.kind) << c.legend;
        // The number the other outputs take is the one the CSV shows.
        if (cell.kind == CellKind::number) EXPECT_EQ(cell.number, std::stod(c.expected)) << c.legend;
    }
}

TEST(ValueFormat, EveryFormatterButNowPrintsDashWithoutAValue) {
    const FormatterFn formatters[] = {formatState, formatOnOff, formatDayNight, formatClock, formatInt,
                                      formatFixed0, formatFixed1, formatFixed2, formatFixed3};
    for (FormatterFn formatter : formatters) {
        DumpItem item = itemWithValue(3);
        item.updatedAt = 0;
        TableCell cell = formatter(item);
        EXPECT_EQ(cell.text, "-");
        EXPECT_EQ(cell.kind, CellKind::missing);
    }
}

TEST(ValueFormat, FormatNowPrintsTheClockTimeQuotedEvenWithoutAValue) {
    dumper_test::FakeClock clock(1796595465);
    DumpItem item;
    EXPECT_EQ(csvLine({formatNow(item)}), "\"Sun Dec  6 22:17:45 2026\"");
}

struct ParseCase {
    const char* legend;
    ParserFn parser;
    const char* text;
    double expected;
};

const ParseCase kParseCases[] = {
    {"number", parseNumber, "42", 42},
    {"negative number with decimals", parseNumber, "-3.5", -3.5},
    {"exponent", parseNumber, "1e3", 1000},
    {"tenths", parseTenths, "42", 4.2},
    {"hundredths", parseHundredths, "1345", 13.45},
    {"thousandths", parseThousandths, "12840", 12.84},
    {"on/off OFF", parseOnOff, "OFF", 0},
    {"on/off ON", parseOnOff, "ON", 1},
    {"on/off lower case is unknown", parseOnOff, "on", 255},
    {"on/off empty", parseOnOff, "", 255},
    {"on/off with a blank", parseOnOff, "ON ", 255},
};

TEST(ValueFormat, ParsersStoreTheScaledNumber) {
    for (const ParseCase& c : kParseCases) {
        DumpItem item;
        c.parser(item, c.text);
        EXPECT_DOUBLE_EQ(item.value, c.expected) << c.legend;
    }
}

TEST(ValueFormat, TextThatIsNotANumberThrowsAndLeavesTheValue) {
    const char* const texts[] = {"", "12a", " 12", "12 ", "abc", "1,5", "0x10"};
    const ParserFn parsers[] = {parseNumber, parseTenths, parseHundredths, parseThousandths};
    for (ParserFn parser : parsers) {
        for (const char* text : texts) {
            DumpItem item = itemWithValue(7);
            try {
                parser(item, text);
                ADD_FAILURE() << "no exception for \"" << text << "\"";
            } catch (const boost::bad_lexical_cast& error) {
                EXPECT_STREQ(error.what(),
                             "bad lexical cast: source type value could not be interpreted as target");
            }
            EXPECT_EQ(item.value, 7) << text;
        }
    }
}

}  // namespace
