// Time stamps and axes, titles, options, the data files and the gnuplot
// scripts made from a recording.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "plot/gnuplot_script.h"
#include "plot/plot_data.h"
#include "plot/plot_options.h"
#include "plot/plot_title.h"
#include "plot/stamp_time.h"
#include "plot/table_reader.h"
#include "plot/time_axis.h"
#include "tests/support/sim_process.h"

namespace {

using namespace tessline;

double stamp(const char* text) {
    double seconds = -1;
    EXPECT_TRUE(parseStamp(text, seconds)) << text;
    return seconds;
}

// A fast-variant recording of panel power only: one row a second from 10:00.
Recording powerRows(const std::vector<float>& power) {
    Recording r;
    r.carried[static_cast<int>(Quantity::panelPower)] = true;
    for (std::size_t i = 0; i < power.size(); ++i) {
        r.x.push_back(stamp("Mon Dec  7 10:00:00 2026") + static_cast<double>(i));
        r.runStart.push_back(i == 0);
        for (auto& values : r.values) values.push_back(kGap);
        r.values[static_cast<int>(Quantity::panelPower)].back() = power[i];
        r.states.push_back(-1);
    }
    return r;
}

PlotData reduce(const Recording& r, std::size_t columns = PlotData::kMostColumns) {
    PlotData data(columns);
    data.add(r);
    data.finish();
    return data;
}

TEST(StampTime, ReadsTheCtimeFormAsLocalClockSeconds) {
    EXPECT_EQ(stamp("Thu Jan  1 00:00:00 1970"), 0);
    EXPECT_EQ(stamp("Mon Dec  7 20:22:35 2026") - stamp("Mon Dec  7 00:00:00 2026"), 20 * 3600 + 22 * 60 + 35);
    EXPECT_EQ(stamp("Tue Mar  1 00:00:00 2028") - stamp("Tue Feb 29 00:00:00 2028"), kSecondsPerDay);
    EXPECT_EQ(stampText(stamp("Sun Dec 13 08:05:09 2026"), "%Y-%m-%d %H:%M:%S"), "2026-12-13 08:05:09");
    double unused;
    for (const char* bad : {"Mon Dec  7 20:22:35 26", "Mon Foo  7 20:22:35 2026", "Mon Feb 30 20:22:35 2026",
                            "Mon Dec  7 24:00:00 2026", "Mon Dec 7 20:22:35 2026 ", "Xyz Dec  7 20:22:35 2026"})
        EXPECT_FALSE(parseStamp(bad, unused)) << bad;
}

TEST(TimeAxis, SuitsTheSpan) {
    struct Case {
        double span;
        double step;
        const char* format;
    };
    const Case cases[] = {
        {0, 10, "%H:%M:%S"},                   // one row: a minute around it
        {5 * 60, 60, "%H:%M"},                 // a few minutes
        {3 * 3600, 30 * 60, "%H:%M"},          // an afternoon
        {13 * 3600, 2 * 3600, "%H:%M\\n%a %d %b"},  // past midnight
        {7 * kSecondsPerDay, kSecondsPerDay, "%a %d %b"},
        {30 * kSecondsPerDay, 7 * kSecondsPerDay, "%d %b %Y"},
    };
    const double start = stamp("Mon Dec  7 14:07:13 2026");
    for (const Case& c : cases) {
        TimeAxis axis = chooseTimeAxis(start, start + c.span);
        EXPECT_EQ(axis.step, c.step) << c.span;
        EXPECT_EQ(axis.format, c.format) << c.span;
        EXPECT_LE((axis.to - axis.from) / axis.step, 8) << c.span;
        EXPECT_GE(axis.firstTick, axis.from);
        EXPECT_EQ(std::fmod(axis.firstTick, axis.step), 0) << c.span;
    }
    EXPECT_EQ(chooseTimeAxis(start, start + 3600).label, "local time, Mon 7 Dec 2026");
    EXPECT_EQ(spanText(start, start + 3600), "Mon 7 Dec 2026, 14:07 to 15:07");
    EXPECT_EQ(spanText(start, start + 300), "Mon 7 Dec 2026, 14:07:13 to 14:12:13");
    EXPECT_EQ(spanText(start, start + kSecondsPerDay), "Mon 7 Dec 2026, 14:07 to Tue 8 Dec 2026, 14:07");
    EXPECT_EQ(dateText(stamp("Sun Nov  1 10:00:00 2026")), "Sun 1 Nov 2026");
}

TEST(PlotTitle, NamesTheDeviceFromTheFileName) {
    struct Case {
        const char* path;
        const char* model;
        const char* serial;
    };
    const Case cases[] = {
        {"logs/log-Alder 15A mid-HQ2042SIM01.csv", "Alder 15A mid", "HQ2042SIM01"},
        {"HQ2111OTHER.csv", "", "HQ2111OTHER"},
        {"Alder 40A mid s2 day.csv", "Alder 40A mid s2", ""},
        {"day.csv", "", ""},
        {"XHQ2042SIM01.csv", "", ""},
        {"HQ2042SIM01/day.csv", "", ""},
    };
    for (const Case& c : cases) {
        DeviceName device = deviceFromFileName(c.path);
        EXPECT_EQ(device.model, c.model) << c.path;
        EXPECT_EQ(device.serial, c.serial) << c.path;
    }
    Recording r = powerRows({1, 2, 3});
    EXPECT_EQ(pictureTitle({"x/log-Alder 15A mid-HQ2042SIM01.csv"}, reduce(r)),
              "Alder 15A mid HQ2042SIM01: Mon 7 Dec 2026, 10:00:00 to 10:00:02");
    EXPECT_EQ(pictureTitle({"x/day.csv"}, reduce(r)), "day.csv: Mon 7 Dec 2026, 10:00:00 to 10:00:02");
}

TEST(PlotOptions, NamesThePictures) {
    struct Case {
        std::vector<std::string> args;
        const char* output;
        const char* history;
        PictureKind kind;
    };
    const Case cases[] = {
        {{"day.csv"}, "day.png", "day-history.png", PictureKind::png},
        {{"logs.d/day"}, "logs.d/day.png", "logs.d/day-history.png", PictureKind::png},
        {{"day.csv", "-o", "out/Day.SVG"}, "out/Day.SVG", "out/Day-history.SVG", PictureKind::svg},
        {{"--output=a b.png", "day.csv"}, "a b.png", "a b-history.png", PictureKind::png},
        {{"b/day-08.csv", "a/day-06.csv"}, "b/day-08.png", "b/day-08-history.png", PictureKind::png},
    };
    for (const Case& c : cases) {
        PlotOptions options = parsePlotOptions(c.args);
        EXPECT_EQ(options.output, c.output);
        EXPECT_EQ(options.historyOutput, c.history);
        EXPECT_EQ(options.kind, c.kind);
    }
    for (std::vector<std::string> bad : {std::vector<std::string>{}, {"day.csv", "-o"}, {"day.csv", "-o", "day.pdf"},
                                         {"-x", "day.csv"}, {"day.csv", "-o", "dir/"}})
        EXPECT_THROW(parsePlotOptions(bad), plot_error);
}

// The number of points in each piece of a line.
std::vector<std::size_t> pieces(const std::string& data) {
    std::vector<std::size_t> sizes(1, 0);
    for (const std::string& line : testing_support::splitLines(data)) line.empty() ? sizes.push_back(0) : void(++sizes.back());
    return sizes;
}

TEST(PlotData, GapsAndPausesBreakTheLines) {
    Recording r = powerRows({1, 2, kGap, 4, 5, 6});
    EXPECT_EQ(pieces(reduce(r).seriesData(Quantity::panelPower)), (std::vector<std::size_t>{2, 3}));

    r.values[static_cast<int>(Quantity::panelPower)][2] = 3;
    r.x[4] += 60;  // a pause of a minute between rows a second apart
    r.x[5] += 60;
    EXPECT_EQ(pieces(reduce(r).seriesData(Quantity::panelPower)), (std::vector<std::size_t>{4, 2}));
    r.runStart[5] = 1;  // a new header: another run
    EXPECT_EQ(pieces(reduce(r).seriesData(Quantity::panelPower)), (std::vector<std::size_t>{4, 1, 1}));
}

TEST(PlotData, ManyRowsShrinkToTheirEnvelope) {
    std::vector<float> power;
    for (int i = 0; i < 4000; ++i) power.push_back(static_cast<float>(i % 100));
    power[1234] = 500;
    Recording r = powerRows(power);
    std::vector<std::string> points = testing_support::splitLines(reduce(r, 100).seriesData(Quantity::panelPower));
    EXPECT_LE(points.size(), 200u);
    double low = 1e9, high = -1e9, lastX = -1;
    for (const std::string& point : points) {
        double x, value;
        ASSERT_EQ(std::sscanf(point.c_str(), "%lf %lf", &x, &value), 2) << point;
        low = std::min(low, value), high = std::max(high, value);
        EXPECT_GT(x, lastX);
        lastX = x;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 500);  // a single peak survives
}

// Days of rows from Mon 7 Dec 2026, one every `step` seconds, handed to a
// PlotData in parts as the span reader does: panel power by the hour, one
// peak of 999 W, OFF by night, BULK by day, FAULT at `faultFrom` for
// `faultFor` seconds; the day `missingDay` has no rows.
struct Days {
    int days;
    double step;
    int missingDay = -1;
    double faultFrom = 0, faultFor = 0;  // seconds after the first row
};

PlotData reduceDays(const Days& d) {
    const double start = stamp("Mon Dec  7 00:00:00 2026");
    PlotData data;
    Recording part = powerRows({});
    part.carriesStates = true;
    for (double t = 0; t < d.days * kSecondsPerDay; t += d.step) {
        if (static_cast<int>(t / kSecondsPerDay) == d.missingDay) continue;
        double hour = std::fmod(t, kSecondsPerDay) / 3600;
        part.x.push_back(start + t);
        part.runStart.push_back(t == 0);
        for (auto& values : part.values) values.push_back(kGap);
        part.values[0].back() = t == 12345 * d.step ? 999 : static_cast<float>(hour * 10);
        bool fault = t >= d.faultFrom && t < d.faultFrom + d.faultFor;
        part.states.push_back(static_cast<std::int8_t>(fault ? 2 : hour < 6 || hour >= 20 ? 0 : 3));
        if (part.rows() == 1000) data.add(part), part.clearRows();
    }
    data.add(part);
    data.finish();
    return data;
}

TEST(PlotData, HoldsAFewColumnsWhateverTheSpan) {
    for (const Days& d : {Days{1, 1}, Days{365, 60}, Days{3650, 3600}}) {
        PlotData data = reduceDays(d);
        EXPECT_EQ(data.rows(), static_cast<std::size_t>(d.days * kSecondsPerDay / d.step)) << d.days;
        EXPECT_LE(data.columns(), PlotData::kMostColumns) << d.days;
        EXPECT_GT(data.columns(), PlotData::kMostColumns / 2) << d.days;  // a column a pixel or less
        std::vector<std::string> points = testing_support::splitLines(data.seriesData(Quantity::panelPower));
        EXPECT_LE(points.size(), 2 * PlotData::kMostColumns) << d.days;
        double high = 0;
        for (const std::string& point : points) high = std::max(high, std::stod(point.substr(point.find(' '))));
        EXPECT_EQ(high, 999) << d.days;
    }
}

TEST(PlotData, GapsAndBandsStayWithinAColumn) {
    const double start = stamp("Mon Dec  7 00:00:00 2026");
    const double faultFrom = 100 * kSecondsPerDay + 10 * 3600, faultFor = 3 * 3600;
    PlotData data = reduceDays({365, 60, 20, faultFrom, faultFor});
    const double width = data.columnWidth(), missingFrom = start + 20 * kSecondsPerDay;
    EXPECT_LT(width, faultFor);

    // The line breaks once, over the missing day.
    std::vector<std::string> points = testing_support::splitLines(data.seriesData(Quantity::panelPower));
    auto blank = std::find(points.begin(), points.end(), "");
    ASSERT_NE(blank, points.end());
    EXPECT_EQ(std::find(blank + 1, points.end(), ""), points.end());
    EXPECT_NEAR(std::stod(*(blank - 1)), missingFrom, width);
    EXPECT_NEAR(std::stod(*(blank + 1)), missingFrom + kSecondsPerDay, width);

    // The fault's band, and no band over the missing day.
    std::vector<int> present;
    std::vector<std::string> bands = testing_support::splitLines(data.stateBands(present));
    ASSERT_EQ(present, (std::vector<int>{0, 2, 3}));
    std::size_t block = 0;
    std::vector<std::pair<double, double>> faults;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (bands[i].empty()) {
            block += i > 0 && !bands[i - 1].empty();
            continue;
        }
        double from = 0, to = 0;
        std::sscanf(bands[i].c_str(), "%lf %lf", &from, &to);
        EXPECT_FALSE(from < missingFrom + kSecondsPerDay / 2 && to > missingFrom + kSecondsPerDay / 2) << bands[i];
        if (present[block] == 2) faults.emplace_back(from, to);
    }
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NEAR(faults[0].first, start + faultFrom, width);
    EXPECT_NEAR(faults[0].second, start + faultFrom + faultFor, width);
}

TEST(PlotData, StateBandsCoverTheirRows) {
    Recording r = powerRows({1, 1, 1, 1, 1});
    r.states = {3, 3, -1, 5, 5};
    r.carriesStates = true;
    std::vector<int> present;
    std::string bands = reduce(r).stateBands(present);
    EXPECT_EQ(present, (std::vector<int>{3, 5}));
    double t0 = r.x[0];
    std::ostringstream expected;
    expected.precision(10);
    expected << t0 << " " << t0 + 2 << "\n\n\n" << t0 + 3 << " " << t0 + 5 << "\n";
    EXPECT_EQ(bands, expected.str());
}

TEST(PlotData, HistoryDaysSitOnTheirDates) {
    DayHistory history;
    history.any = true;
    history.today = stamp("Mon Dec  7 10:00:00 2026");
    history.yield[0] = 0.5f;
    history.yield[2] = 1.25f;
    history.maxPower[30] = 300;
    EXPECT_EQ(testing_support::splitLines(historyData(history, false)).size(), 2u);
    double x, value;
    ASSERT_EQ(std::sscanf(testing_support::splitLines(historyData(history, false))[1].c_str(), "%lf %lf", &x, &value), 2);
    EXPECT_EQ(stampText(x, "%d %b %H:%M"), "05 Dec 12:00");
    EXPECT_EQ(value, 1.25);
    ASSERT_EQ(std::sscanf(historyData(history, true).c_str(), "%lf %lf", &x, &value), 2);
    EXPECT_EQ(stampText(x, "%d %b"), "07 Nov");
}

TEST(GnuplotScript, TextFromOutsideCannotEndItsString) {
    EXPECT_EQ(gnuplotString("Alder 15A mid"), "'Alder 15A mid'");
    EXPECT_EQ(gnuplotString("it's"), "'it''s'");
    EXPECT_EQ(gnuplotString("a\nsystem('id')"), "'a?system(''id'')'");
    EXPECT_EQ(gnuplotString("\xC3\xA9t\xC3"), "'\xC3\xA9t?'");  // a cut UTF-8 sequence
    EXPECT_EQ(gnuplotString(std::string(1000, 'x')).size(), 302u);
}

TEST(GnuplotScript, DrawsThePanelsTheTableHas) {
    std::istringstream in("Timestamp,State,Ibat[A],Vbat[V],Vpnl[V],Ppnl[W],Temp[C],Err\n"
                          "\"Mon Dec  7 10:00:00 2026\",\"BULK\",4.2,13.45,35.1,58.2,25.3,0\n"
                          "\"Mon Dec  7 10:01:00 2026\",\"ABSORPTION\",4.0,14.40,35.1,-,25.3,0\n");
    Recording r = readTable(in, "day.csv");
    PlotJob job = dayPicture(r, reduce(r), "it's a title", PictureKind::svg);
    const std::string& s = job.script;
    EXPECT_EQ(s.rfind("set terminal svg", 0), 0u);
    EXPECT_NE(s.find("set multiplot title 'it''s a title'"), std::string::npos);
    for (const char* title : {"title 'panel power'", "title 'battery voltage'", "title 'charge current'",
                              "title 'BULK'", "title 'ABSORPTION'"})
        EXPECT_NE(s.find(title), std::string::npos) << title;
    EXPECT_EQ(s.find("load current"), std::string::npos);  // no load column
    std::vector<std::string> names;
    for (const auto& file : job.files) names.push_back(file.first);
    EXPECT_EQ(names, (std::vector<std::string>{"panel_power.dat", "battery_voltage.dat", "charge_current.dat",
                                               "states.dat"}));
    EXPECT_EQ(job.files[0].second.find('-'), std::string::npos);  // the gap is no value
    EXPECT_EQ(testing_support::splitLines(job.files[0].second).size(), 1u);
}

// The battery panel's range in the script: "lo:hi", or "*:*" when gnuplot
// chooses it.
std::string batteryRange(const std::vector<float>& volts) {
    Recording r = powerRows(std::vector<float>(volts.size(), 10));
    r.carried[static_cast<int>(Quantity::batteryVoltage)] = true;
    r.values[static_cast<int>(Quantity::batteryVoltage)] = volts;
    std::string script = dayPicture(r, reduce(r), "t", PictureKind::svg).script;
    std::size_t panel = script.find("set ylabel 'battery voltage [V]'");
    std::size_t range = script.find("set yrange [", panel) + 12;
    return script.substr(range, script.find(']', range) - range);
}

TEST(GnuplotScript, ANarrowVoltageRangeGetsRoom) {
    struct Case {
        std::vector<float> volts;
        const char* range;
    };
    const Case cases[] = {
        {{14.14f, 14.15f, 14.141f}, "13.8:14.4"},  // a battery in float: the line is off the frame
        {{13.0f}, "12.7:13.3"},
        {{12.2f, 12.5f}, "12.1:12.6"},
        {{12.4f, 14.4f}, "*:*"},  // a day's swing: gnuplot's range, as ever
    };
    for (const Case& c : cases) EXPECT_EQ(batteryRange(c.volts), c.range) << c.volts.front();
}

}  // namespace
