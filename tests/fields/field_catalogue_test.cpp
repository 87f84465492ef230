// The catalogue's own rules: keys and headers that outputs can tell apart,
// headers that read back to their field and day, enumeration indexes, and
// numbers rounded exactly as the table prints them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "fields/device_scales.h"
#include "fields/field_catalogue.h"
#include "fields/field_value.h"

namespace {

using namespace tessline;

TEST(FieldCatalogue, KeysAndHeadersAreUniqueInTheirRecord) {
    std::set<std::pair<Record, std::string>> keys, headers;
    for (const Field& field : allFields()) {
        EXPECT_TRUE(keys.insert({field.record, field.key}).second) << field.key;
        EXPECT_TRUE(headers.insert({field.record, field.header}).second) << field.header;
        EXPECT_EQ(field.kind == FieldKind::enumeration, field.names != nullptr) << field.key;
    }
}

TEST(FieldCatalogue, EveryColumnHeaderReadsBackAsItsFieldAndDay) {
    for (const Field& field : allFields()) {
        for (int day : {0, 9, 30}) {
            std::string header = columnHeader(field, day);
            HeaderMatch match = fieldOfHeader(header);
            // Yield_user[kWh] is a total record's and an older charger's live value.
            bool sharedWithLive = field.record == Record::total && match.field && match.field->record == Record::live;
            if (!sharedWithLive) EXPECT_EQ(match.field, &field) << header;
            if (field.record == Record::day) EXPECT_EQ(match.day, day) << header;
        }
    }
    for (const char* unknown : {"Day31Yield[kWh]", "Day03Yield[kWh]", "DayYield[kWh]", "Vbat", ""})
        EXPECT_EQ(fieldOfHeader(unknown).field, nullptr) << unknown;
}

TEST(FieldCatalogue, EnumerationIndexesNameTheDeviceValues) {
    const Enumeration& states = chargeStates();
    const Enumeration& onOff = *catalogueField(Record::live, "load").names;
    struct Case {
        const Enumeration& names;
        long long value;
        const char* name;
    };
    const Case cases[] = {
        {states, 0, "OFF"},     {states, 5, "FLOAT"},  {states, 11, "PSU"},     {states, 12, "UNKNOWN"},
        {states, 255, "UNAVAILABLE"}, {states, -1, "UNKNOWN"}, {onOff, 1, "ON"}, {onOff, 255, "UNKNOWN"},
    };
    for (const Case& c : cases) {
        int index = enumIndex(c.names, c.value);
        EXPECT_STREQ(enumName(c.names, index), c.name) << c.value;
        EXPECT_EQ(nameIndex(c.names, c.name), index) << c.name;
        EXPECT_EQ(allNames(c.names).at(static_cast<std::size_t>(index)), c.name);
    }
    EXPECT_EQ(nameIndex(states, "SOMETHING"), nameIndex(states, "UNKNOWN"));
}

// The number must be the double that the printed text reads back as, or
// /metrics and the charts would show other digits than the CSV.
TEST(DeviceScales, StepsBothWays) {
    const DeviceScale centivolt{"V", 100}, millivolt{"V", 1000}, centiwatt{"W", 100}, watt{"W", 1};
    EXPECT_EQ(centivolt.toSteps(13.45), 1345);
    EXPECT_DOUBLE_EQ(centivolt.fromSteps(1345), 13.45);
    EXPECT_EQ(millivolt.restep(1345, centivolt), 13450);
    EXPECT_EQ(watt.restep(5850, centiwatt), 59);  // to the nearest
    EXPECT_EQ(watt.restep(5849, centiwatt), 58);
}

// Each record field has its scale, in the unit its column shows.
TEST(DeviceScales, EveryRecordFieldHasOneInItsColumnsUnit) {
    for (const Field& field : allFields()) {
        if (field.record == Record::live) continue;
        const DeviceScale& scale = recordFieldScale(field.record, field.key);
        EXPECT_STREQ(scale.unit, field.unit ? field.unit->symbol : "") << field.key;
    }
}

TEST(FieldValue, RoundsAsPrintfPrints) {
    for (int digits = 0; digits <= 3; ++digits) {
        for (double divisor : {1.0, 10.0, 100.0, 1000.0}) {
            for (long long n = -3000; n <= 70000; n += (n > 3000 ? 7 : 1)) {
                double value = static_cast<double>(n) / divisor;
                char text[64];
                std::snprintf(text, sizeof text, "%.*f", digits, value);
                double printed = std::strtod(text, nullptr);
                double rounded = roundedAsPrinted(value, digits);
                ASSERT_EQ(rounded, printed) << text << " from " << n << "/" << divisor;
                ASSERT_EQ(std::signbit(rounded), std::signbit(printed)) << text;
            }
        }
    }
}

}  // namespace
