// solwatch-plot end to end: tables that solwatch wrote against solwatch-sim,
// drawn by gnuplot, checked by what the pictures hold.
//
// The tables under data/ were recorded with tests/plot/record_fixtures.sh
// (solwatch against solwatch-sim): full_history.csv, the full variant with
// its history records (a row a minute, so recorded once rather than on every
// run); appended_runs.csv, two -f runs appended with -o and a pause between
// them, then another charger without load output appended through the
// shell with its own header; gaps.csv, -f runs of which the middle ones had
// no panel power and no state ("-"); channels.csv, the -c variant.
#include <gtest/gtest.h>

#include <png.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <set>
#include <thread>

#include "plot/column_roles.h"
#include "plot/stamp_time.h"
#include "tests/support/process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

std::string fixture(const std::string& name) { return std::string(SOLWATCH_SOURCE_DIR) + "/tests/plot/data/" + name; }

// solwatch-plot with a PATH and TMPDIR of the test's choosing.
ProcessResult runPlot(std::vector<std::string> args, const std::string& path = "/usr/bin:/bin",
                      const std::string& tmpdir = "/tmp") {
    std::vector<std::string> argv{"/usr/bin/env", "PATH=" + path, "TMPDIR=" + tmpdir, SOLWATCH_PLOT_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, 60s);
}

bool exists(const std::string& name) {
    struct stat info;
    return ::stat(name.c_str(), &info) == 0;
}

// A point of an SVG picture, in pixels from its top left corner.
struct Point {
    double x, y;
};

// The pieces of an SVG path or polygon whose points start at `at`: each "M"
// of a path starts a piece, a polygon is one.
std::vector<std::vector<Point>> pieces(const std::string& svg, std::size_t at) {
    std::vector<std::vector<Point>> all(1);
    std::string list = svg.substr(at, svg.find('\'', at) - at);
    std::regex point("(M?)(-?[0-9.]+),(-?[0-9.]+)");
    for (auto p = std::sregex_iterator(list.begin(), list.end(), point); p != std::sregex_iterator(); ++p) {
        if ((*p)[1].length() && !all.back().empty()) all.emplace_back();
        all.back().push_back({std::stod((*p)[2]), std::stod((*p)[3])});
    }
    return all;
}

// The frames of the panels: closed paths of four corners.
struct Frame {
    double left, top, right, bottom;
    bool holds(Point p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
};

std::vector<Frame> panelFrames(const std::string& svg) {
    std::vector<Frame> frames;
    std::regex rectangle("d='M([0-9.]+),([0-9.]+) L[0-9.]+,([0-9.]+) L([0-9.]+),[0-9.]+ L[0-9.]+,[0-9.]+ L[0-9.]+,[0-9.]+ Z");
    for (auto m = std::sregex_iterator(svg.begin(), svg.end(), rectangle); m != std::sregex_iterator(); ++m)
        frames.push_back({std::stod((*m)[1]), std::stod((*m)[2]), std::stod((*m)[4]), std::stod((*m)[3])});
    return frames;
}

bool inAFrame(const std::vector<Frame>& frames, Point p) {
    return std::any_of(frames.begin(), frames.end(), [&](const Frame& frame) { return frame.holds(p); });
}

// The pieces of the line of the SVG plot element whose key entry is
// `title`, inside the panels: gnuplot draws the line in a group that the key
// entry's group repeats the id of, in the path that may also hold the key's
// sample.
std::size_t linePieces(const std::string& svg, const std::string& title) {
    std::size_t key = svg.find("<text>" + title + "</text>");
    std::size_t group = svg.rfind("<g id=\"gnuplot_plot_", key);
    if (key == std::string::npos || group == std::string::npos) return 0;
    std::string id = svg.substr(group, svg.find('"', group + 7) - group + 1);
    std::vector<Frame> frames = panelFrames(svg);
    std::size_t n = 0;
    for (const std::vector<Point>& piece : pieces(svg, svg.find(" d='", svg.find(id)) + 4))
        n += !piece.empty() && inAFrame(frames, piece.front());
    return n;
}

// Where gnuplot put a key entry in an SVG picture: its name and its colour
// sample (a short line, a box or a point).
struct KeyEntry {
    Point text{0, 0};
    std::string anchor;  // of the name: "start" or "end"
    double sampleLeft = 1e9, sampleRight = -1e9;
};

// The first piece of a line, a box or a point drawn after `at`; empty when
// there is none.
std::vector<Point> nextShape(const std::string& svg, std::size_t& at) {
    std::size_t line = svg.find(" d='M", at), box = svg.find("points = '", at), point = svg.find("<use ", at);
    at = std::min({line, box, point});
    if (at == std::string::npos) return {};
    if (at == point) {
        Point p{0, 0};
        std::sscanf(svg.c_str() + svg.find("translate(", at), "translate(%lf,%lf)", &p.x, &p.y);
        return {p};
    }
    return pieces(svg, at + (at == line ? 4 : 10)).front();
}

KeyEntry keyEntry(const std::string& svg, const std::string& title) {
    KeyEntry entry;
    std::size_t text = svg.find("<text>" + title + "</text>");
    std::size_t group = svg.rfind("translate(", text);
    if (text == std::string::npos || group == std::string::npos) return entry;
    std::sscanf(svg.c_str() + group, "translate(%lf,%lf)", &entry.text.x, &entry.text.y);
    std::smatch anchor;
    std::string groupTag = svg.substr(group, text - group);
    entry.anchor = std::regex_search(groupTag, anchor, std::regex("text-anchor=\"(\\w+)\"")) ? anchor[1].str() : "start";
    // The sample is the first shape after the name that sits on the name's row.
    for (std::size_t at = text; at != std::string::npos; ++at) {
        std::vector<Point> shape = nextShape(svg, at);
        if (shape.empty() || std::abs(shape.front().y - entry.text.y) > 8) continue;
        for (const Point& p : shape) {
            entry.sampleLeft = std::min(entry.sampleLeft, p.x);
            entry.sampleRight = std::max(entry.sampleRight, p.x);
        }
        break;
    }
    return entry;
}

struct PngFacts {
    unsigned width = 0, height = 0;
    std::set<std::uint32_t> colours;
};

PngFacts readPng(const std::string& name) {
    PngFacts facts;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, name.c_str())) return facts;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return facts;
    facts.width = image.width, facts.height = image.height;
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3)
        facts.colours.insert(pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2]);
    return facts;
}

std::uint32_t rgb(const char* hex) { return static_cast<std::uint32_t>(std::stoul(hex + 1, nullptr, 16)); }

TEST(PlotProgram, AppendedRunsAndADeviceChangeShareOneAxis) {
    ScratchDir dir;
    ProcessResult r = runPlot({fixture("appended_runs.csv"), "-o", dir.file("day.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("day.svg") + "\n");
    std::string svg = readFile(dir.file("day.svg"));
    for (const char* name : {"panel power", "battery voltage", "charge current", "load current", "BULK",
                             "local time, ", "appended_runs.csv: "})
        EXPECT_NE(svg.find(name), std::string::npos) << name;
    // The pause between the runs and the other charger each break the lines.
    EXPECT_EQ(linePieces(svg, "panel power"), 3u);
    EXPECT_EQ(linePieces(svg, "load current"), 2u);  // the other charger has none
    EXPECT_FALSE(exists(dir.file("day-history.svg")));
}

TEST(PlotProgram, MissingValuesAreGapsInTheLinesAndBands) {
    ScratchDir dir;
    ProcessResult r = runPlot({fixture("gaps.csv"), "-o", dir.file("gaps.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string svg = readFile(dir.file("gaps.svg"));
    EXPECT_EQ(linePieces(svg, "panel power"), 2u);
    EXPECT_EQ(linePieces(svg, "battery voltage"), 1u);
}

TEST(PlotProgram, HistoryColumnsGiveASecondPicture) {
    ScratchDir dir;
    ProcessResult r = runPlot({fixture("full_history.csv"), "-o", dir.file("full.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("full.svg") + "\n" + dir.file("full-history.svg") + "\n");
    std::string day = readFile(dir.file("full.svg"));
    for (const char* name : {"panel power", "battery voltage", "load current"})
        EXPECT_NE(day.find(name), std::string::npos) << name;
    std::string history = readFile(dir.file("full-history.svg"));
    for (const char* name : {"daily yield", "maximum power", "full_history.csv: the last 31 days to ", "daily yield [kWh]"})
        EXPECT_NE(history.find(name), std::string::npos) << name;
}

TEST(PlotProgram, ChannelsTableIsDrawnOverItsRows) {
    ScratchDir dir;
    ProcessResult r = runPlot({fixture("channels.csv"), "-o", dir.file("channels.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string svg = readFile(dir.file("channels.svg"));
    for (const char* name : {"panel voltage", "battery voltage", "charge current", "rows of output channels"})
        EXPECT_NE(svg.find(name), std::string::npos) << name;
    EXPECT_EQ(svg.find("<text>state</text>"), std::string::npos);
}

TEST(PlotProgram, LiveFastRunAsPng) {
    ScratchDir dir;
    {
        SimProcess sim({"--time-scale", "720"});
        Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", dir.file("live.csv")});
        // Rows enough for lines and a charge state's band: a row a second.
        ASSERT_TRUE(waitUntil([&] { return splitLines(readFile(dir.file("live.csv"))).size() >= 6; }));
        solwatch.signal(SIGINT);
        ASSERT_EQ(solwatch.wait(10s).exitCode, 0);
    }
    ProcessResult r = runPlot({dir.file("live.csv")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    PngFacts png = readPng(dir.file("live.png"));
    EXPECT_EQ(png.width, 1200u);
    EXPECT_EQ(png.height, 900u);
    EXPECT_GT(png.colours.size(), 20u);  // lines, text, bands: not a blank picture
    bool band = false;
    for (int state = 0; state < tessline::kChargeStates; ++state)
        band = band || png.colours.count(rgb(tessline::chargeState(state).colour));
    EXPECT_TRUE(band);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"live.csv", "live.png"}));
}

// Each colour of a key sits just before its own name, and the name before
// it (at some 6 pixels a letter) ends a good way before that colour.
void expectColoursBesideTheirNames(const std::string& svg, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        KeyEntry entry = keyEntry(svg, names[i]);
        EXPECT_EQ(entry.anchor, "start") << names[i];
        EXPECT_LT(entry.sampleRight, entry.text.x) << names[i];
        EXPECT_LT(entry.text.x - entry.sampleRight, 20) << names[i];
        if (i > 0) {
            EXPECT_GT(entry.sampleLeft - keyEntry(svg, names[i - 1]).text.x, 6.0 * names[i - 1].size() + 15) << names[i];
        }
    }
}

// ... and no key of the day picture covers a panel's data.
TEST(PlotProgram, KeysSitBesideTheirColoursAndOffThePanels) {
    ScratchDir dir;
    ProcessResult r = runPlot({fixture("appended_runs.csv"), "-o", dir.file("day.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string svg = readFile(dir.file("day.svg"));
    std::vector<Frame> frames = panelFrames(svg);
    ASSERT_GE(frames.size(), 4u);
    for (std::vector<std::string> key : {std::vector<std::string>{"BULK", "ABSORPTION", "FLOAT"},
                                         {"battery voltage", "charge current"}, {"panel power"}, {"load current"}}) {
        expectColoursBesideTheirNames(svg, key);
        for (const std::string& name : key) {
            KeyEntry entry = keyEntry(svg, name);
            EXPECT_FALSE(inAFrame(frames, entry.text)) << name;
            EXPECT_FALSE(inAFrame(frames, {entry.sampleLeft, entry.text.y})) << name;
        }
    }
    r = runPlot({fixture("full_history.csv"), "-o", dir.file("full.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectColoursBesideTheirNames(readFile(dir.file("full-history.svg")), {"daily yield", "maximum power"});
}

TEST(PlotProgram, BadTablesLeaveNoPicture) {
    struct Case {
        const char* legend;
        std::string text;
        const char* message;
    };
    std::string header = readFile(fixture("gaps.csv")).substr(0, readFile(fixture("gaps.csv")).find('\n') + 1);
    const Case cases[] = {
        {"empty", "", "the file is empty"},
        {"not solwatch's", "date,kWh\n2026-12-07,3.5\n", "not a table that solwatch writes"},
        {"binary", std::string("\x89PNG\r\x1a\0\0\0\rIHDR", 15), "not a table that solwatch writes"},
        {"header only", header, "a header line but no rows"},
        {"hostile cell", header + "\"Mon Dec  7 10:00:00 2026\",\"BULK\",1,2,3,4,5');system('touch pwned',6,7,\"ON\",1\n",
         "is not a value solwatch writes"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        writeFile(dir.file("in.csv"), c.text);
        ProcessResult r = runPlot({dir.file("in.csv")}, "/usr/bin:/bin", dir.path());
        EXPECT_EQ(r.exitCode, 2) << c.legend;
        EXPECT_EQ(occurrences(r.err, "\n"), 1u) << c.legend << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.legend << ": " << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.csv"}) << c.legend;
    }
}

TEST(PlotProgram, TornRowInTheMiddleIsLeftOutWithOneWarning) {
    ScratchDir dir;
    std::vector<std::string> lines = splitLines(readFile(fixture("gaps.csv")));
    lines[3].resize(30);  // power lost in the state name; the next row follows on the same line
    lines[3] += lines[4];
    lines.erase(lines.begin() + 4);
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    writeFile(dir.file("mid.csv"), text);
    ProcessResult r = runPlot({dir.file("mid.csv"), "-o", dir.file("mid.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "solwatch-plot: " + dir.file("mid.csv") + ":4: a quote is not closed; the line is left out\n");
    EXPECT_EQ(linePieces(readFile(dir.file("mid.svg")), "panel power"), 2u);
}

TEST(PlotProgram, GnuplotMissingOrFailingLeavesNoHalfPicture) {
    ScratchDir dir;
    writeFile(dir.file("day.png"), "the picture of yesterday");
    ProcessResult missing = runPlot({fixture("gaps.csv"), "-o", dir.file("day.png")}, dir.path());
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err, "solwatch-plot: gnuplot is not installed (no gnuplot on PATH); "
                           "on Debian: apt-get install gnuplot-nox\n");

    // A gnuplot that breaks off halfway through its picture.
    writeFile(dir.file("gnuplot"), "#!/bin/sh\nprintf '\\211PNG half'\necho 'line 7: out of memory' >&2\nexit 1\n");
    ::chmod(dir.file("gnuplot").c_str(), 0755);
    ProcessResult failing = runPlot({fixture("gaps.csv"), "-o", dir.file("day.png")}, dir.path() + ":/usr/bin:/bin");
    EXPECT_EQ(failing.exitCode, 3);
    EXPECT_EQ(failing.err, "solwatch-plot: gnuplot failed: line 7: out of memory\n");
    EXPECT_EQ(readFile(dir.file("day.png")), "the picture of yesterday");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"day.png", "gnuplot"}));
}

TEST(PlotProgram, NamesWithQuotesAndSpacesStayNames) {
    ScratchDir dir;
    // Were the name not quoted right, gnuplot would run the command in its
    // working folder, which lies in TMPDIR (the scratch folder) here.
    const std::string name = "it's x'.system('cd ..; touch pwned').' `touch pwned` \"q\" @m.csv";
    writeFile(dir.file(name), readFile(fixture("gaps.csv")));
    ProcessResult r = runPlot({dir.file(name), "-o", dir.file("a b'c.svg")}, "/usr/bin:/bin", dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string svg = readFile(dir.file("a b'c.svg"));
    EXPECT_NE(svg.find("<text>" + name + ": "), std::string::npos);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a b'c.svg", name}));
}

// A day file as solwatch -f -o '%s.csv' with rotation writes it: a header
// and a row a minute for `minutes` from `from` ("Sat Dec  5 22:00:00 2026").
std::string dayFile(const char* from, int minutes) {
    double start = 0;
    EXPECT_TRUE(tessline::parseStamp(from, start)) << from;
    std::string text = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err,Load,Iload[A]\n";
    for (int minute = 0; minute < minutes; ++minute)
        text += "\"" + tessline::stampText(start + 60.0 * minute, "%a %b %e %H:%M:%S %Y") +
                "\",\"BULK\",4.2,13.45,1.7,35.1," + std::to_string(50 + minute % 7) + ",25.3,0,\"ON\",0.5\n";
    return text;
}

TEST(PlotProgram, DayFilesOutOfOrderAreOneSpanWithTheMissingDayAGap) {
    ScratchDir dir;
    const std::string day5 = dir.file("HQ2042SIM01-2026-12-05.csv"), day6 = dir.file("HQ2042SIM01-2026-12-06.csv"),
                      day8 = dir.file("HQ2042SIM01-2026-12-08.csv");
    writeFile(day5, dayFile("Sat Dec  5 22:00:00 2026", 120));  // to midnight, where day 6 goes on
    writeFile(day6, dayFile("Sun Dec  6 00:00:00 2026", 120));
    writeFile(day8, dayFile("Tue Dec  8 10:00:00 2026", 120));
    ProcessResult r = runPlot({day8, day5, day6, "-o", dir.file("mixed.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string svg = readFile(dir.file("mixed.svg"));
    EXPECT_NE(svg.find("HQ2042SIM01: Sat 5 Dec 2026, 22:00 to Tue 8 Dec 2026, 11:59"), std::string::npos);
    EXPECT_EQ(linePieces(svg, "panel power"), 2u);
    r = runPlot({day5, day6, day8, "-o", dir.file("ordered.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(dir.file("ordered.svg")) == svg) << "the order of the arguments changed the picture";

    // --from and --to keep the 6th alone.
    r = runPlot({day8, day6, day5, "--from", "2026-12-06", "--to", "2026-12-06", "-o", dir.file("sixth.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    svg = readFile(dir.file("sixth.svg"));
    EXPECT_NE(svg.find("HQ2042SIM01: Sun 6 Dec 2026, 00:00 to 01:59"), std::string::npos);
    EXPECT_EQ(linePieces(svg, "panel power"), 1u);
}

TEST(PlotProgram, SeveralTablesThatCannotShareAPictureLeaveNone) {
    ScratchDir dir;
    const std::string ours = dir.file("HQ2042SIM01-2026-12-06.csv"), theirs = dir.file("HQ2043SIM02-2026-12-06.csv");
    writeFile(ours, dayFile("Sun Dec  6 00:00:00 2026", 10));
    writeFile(theirs, dayFile("Sun Dec  6 00:00:00 2026", 10));
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{ours, theirs}, "solwatch-plot: two chargers, HQ2042SIM01 (" + ours + ") and HQ2043SIM02 (" + theirs +
                             "): draw each in a picture of its own\n"},
        {{ours, "--from", "2026-12-07"}, "solwatch-plot: no rows to draw: --from 2026-12-07\n"},
        {{ours, fixture("channels.csv")},
         "solwatch-plot: " + fixture("channels.csv") + ": a table without time stamps (the channels variant) is drawn alone\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", dir.file("span.png")});
        ProcessResult r = runPlot(args);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_EQ(r.err, c.message);
        EXPECT_FALSE(exists(dir.file("span.png"))) << c.message;
    }
}

TEST(PlotManual, LintsClean) {
    ProcessResult r = runProcess(
        {"/usr/bin/env", "mandoc", "-Tlint", "-W", "warning", std::string(SOLWATCH_SOURCE_DIR) + "/plot/solwatch-plot.1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
}

// The service example draws the file that the unit writes: the state
// folder and the -o name of its ExecStart line, the serial number as SERIAL.
TEST(PlotManual, ServiceExampleNamesTheFileTheUnitWrites) {
    std::string unit = readFile(std::string(SOLWATCH_SOURCE_DIR) + "/dist/solwatch@.service.in");
    std::size_t folder = unit.find("\nStateDirectory=");
    std::size_t output = unit.find(" -o ${STATE_DIRECTORY}/");
    ASSERT_NE(folder, std::string::npos);
    ASSERT_NE(output, std::string::npos);
    folder += 16, output += 23;
    std::string name = unit.substr(output, unit.find(' ', output) - output);
    ASSERT_EQ(name.find("%%s"), 0u) << name;
    std::string table = "/var/lib/" + unit.substr(folder, unit.find('\n', folder) - folder) + "/SERIAL" + name.substr(3);
    std::string manual = readFile(std::string(SOLWATCH_SOURCE_DIR) + "/plot/solwatch-plot.1");
    EXPECT_NE(manual.find("\nsolwatch-plot " + table + " "), std::string::npos) << table;
}

}  // namespace
