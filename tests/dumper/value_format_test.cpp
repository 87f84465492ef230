#include <cmath>
#include <limits>

#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include "dumper/value_format.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;

using FormatterFn = std::string (*)(DumpItem&);
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
};

const FormatCase kFormatCases[] = {
    {"state 0", formatState, 0, "\"OFF\""},
    {"state 3.9 truncates to bulk", formatState, 3.9, "\"BULK\""},
    {"state 11, last named", formatState, 11, "\"PSU\""},
    {"state 12", formatState, 12, "\"UNKNOWN\""},
    {"state 254", formatState, 254, "\"UNKNOWN\""},
    {"state 255", formatState, 255, "\"UNAVAILABLE\""},
    {"state 256", formatState, 256, "\"UNKNOWN\""},
    {"state negative", formatState, -1, "\"UNKNOWN\""},
    {"state -0.5 truncates to 0", formatState, -0.5, "\"OFF\""},
    {"state NaN", formatState, kNaN, "\"UNKNOWN\""},
    {"on/off 0", formatOnOff, 0, "\"OFF\""},
    {"on/off 1", formatOnOff, 1, "\"ON\""},
    {"on/off 255 from an unknown text", formatOnOff, 255, "\"UNKNOWN\""},
    {"day/night 0", formatDayNight, 0, "\"NIGHT\""},
    {"day/night 1.7", formatDayNight, 1.7, "\"DAY\""},
    {"day/night 2", formatDayNight, 2, "\"UNKNOWN\""},
    {"clock 0", formatClock, 0, "\"00:00\""},
    {"clock 61.9 truncates", formatClock, 61.9, "\"01:01\""},
    {"clock 1439", formatClock, 1439, "\"23:59\""},
    {"clock 1440", formatClock, 1440, "\"--:--\""},
    {"clock 65535, none", formatClock, 65535, "\"--:--\""},
    {"clock negative", formatClock, -5, "\"--:--\""},
    {"clock NaN", formatClock, kNaN, "\"--:--\""},
    {"int 7.6 truncates", formatInt, 7.6, "7"},
    {"int -7.6 truncates toward zero", formatInt, -7.6, "-7"},
    {"int beyond 32 bits", formatInt, 4294967294.0, "4294967294"},
    {"int NaN", formatInt, kNaN, "-"},
    {"int 1e30", formatInt, 1e30, "-"},
    {"fixed0 7.6 rounds", formatFixed0, 7.6, "8"},
    {"fixed0 wide value", formatFixed0, 5820, "5820"},
    {"fixed1", formatFixed1, 35.1, "35.1"},
    {"fixed1 small value keeps its zero", formatFixed1, 0.04, "0.0"},
    {"fixed2", formatFixed2, 12.84, "12.84"},
    {"fixed2 negative", formatFixed2, -3.5, "-3.50"},
    {"fixed3", formatFixed3, 1.5, "1.500"},
    {"fixed3 huge value is printed whole", formatFixed3, 1e20, "100000000000000000000.000"},
};

TEST(ValueFormat, FormattersOfAValue) {
    for (const FormatCase& c : kFormatCases) {
        DumpItem item = itemWithValue(c.value);
        EXPECT_EQ(c.formatter(item), c.expected) << c.legend;
    }
}

TEST(ValueFormat, EveryFormatterButNowPrintsDashWithoutAValue) {
    const FormatterFn formatters[] = {formatState, formatOnOff, formatDayNight, formatClock, formatInt,
                                      formatFixed0, formatFixed1, formatFixed2, formatFixed3};
    for (FormatterFn formatter : formatters) {
        DumpItem item = itemWithValue(3);
        item.updatedAt = 0;
        EXPECT_EQ(formatter(item), "-");
    }
}

TEST(ValueFormat, FormatNowPrintsTheClockTimeQuotedEvenWithoutAValue) {
    dumper_test::useUtc();
    dumper_test::FakeClock clock(1796595465);
    DumpItem item;
    EXPECT_EQ(formatNow(item), "\"Sun Dec  6 22:17:45 2026\"");
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
