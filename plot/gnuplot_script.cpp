#include "plot/gnuplot_script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plot/plot_data.h"
#include "plot/stamp_time.h"
#include "plot/time_axis.h"

namespace tessline {

namespace {

constexpr std::size_t kLongestText = 300;
constexpr int kDayWidth = 1200, kDayHeight = 900;
constexpr int kHistoryWidth = 1200, kHistoryHeight = 500;

// Screen fractions of the day picture.
constexpr double kLeft = 0.08, kRight = 0.91;
constexpr double kTop = 0.92, kBottom = 0.13;
// Between two panels: room for the key of the lower one, which sits above
// its panel so that it never covers data.
constexpr double kPanelGap = 0.035, kKeyLift = 0.006;
constexpr double kBandHeight = 0.045, kBandGap = 0.015;
// Each colour just before its own name, and a wider gap to the next entry,
// so that no colour seems to belong to its neighbour.
constexpr const char* kKeyStyle = " horizontal reverse Left samplen 2 width 3\n";
// A battery that holds its float voltage varies by a few millivolts; gnuplot
// would fit the axis to exactly those, with the line on the frame.
constexpr double kLeastVoltageSpanMv = 500, kVoltageRoundingMv = 100;

struct Series {
    Quantity quantity;
    const char* file;
    const char* colour;
};

const Series kSeries[kQuantities] = {
    {Quantity::panelPower, "panel_power.dat", "#e69f00"},
    {Quantity::panelVoltage, "panel_voltage.dat", "#e69f00"},
    {Quantity::batteryVoltage, "battery_voltage.dat", "#0072b2"},
    {Quantity::chargeCurrent, "charge_current.dat", "#009e73"},
    {Quantity::loadCurrent, "load_current.dat", "#cc79a7"},
};

const Series& seriesOf(Quantity quantity) { return kSeries[static_cast<int>(quantity)]; }

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// The battery voltage axis: gnuplot's own for a wide range, else at least
// kLeastVoltageSpanMv around the middle of the values, on whole tenths.
// Whole millivolts keep float noise out of the rounding.
std::string voltageRange(double low, double high) {
    if (low > high || high - low >= kLeastVoltageSpanMv / 1000) return "*:*";
    double middle = std::round((low + high) / 2 * 1000);
    double from = std::floor((middle - kLeastVoltageSpanMv / 2) / kVoltageRoundingMv) * kVoltageRoundingMv;
    double to = std::ceil((middle + kLeastVoltageSpanMv / 2) / kVoltageRoundingMv) * kVoltageRoundingMv;
    return number(from / 1000) + ":" + number(to / 1000);
}

// The length of the UTF-8 sequence that starts at `i`, 0 when it is broken.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5                ? 4
                                                                      : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    return length;
}

std::string terminalLine(PictureKind kind, int width, int height) {
    std::string size = " size " + std::to_string(width) + "," + std::to_string(height);
    std::string common = " font 'DejaVu Sans,10' noenhanced background '#ffffff'";
    if (kind == PictureKind::svg) return "set terminal svg" + size + " fixed" + common + "\n";
    return "set terminal pngcairo" + size + common + "\n";
}

// One panel of the day picture: a box on the screen and what it plots.
struct Panel {
    std::string ylabel;
    std::vector<std::string> plots;  // plot elements, joined with ", "
    std::string before, after;       // commands around the plot
    bool band = false;
};

class DayScript {
public:
    DayScript(const Recording& recording, const PlotData& data, const std::string& title, PictureKind kind)
        : recording_(recording), data_(data) {
        job_.script = terminalLine(kind, kDayWidth, kDayHeight);
        job_.script += "set output\nset encoding utf8\n";
        job_.script += "set multiplot title " + gnuplotString(title) + " font ',13'\n";
    }

    PlotJob build();

private:
    void addQuantity(Panel& panel, Quantity quantity, bool secondAxis);
    void addValuePanels();
    void addStateBand();
    void writeAxis();
    void writePanels();

    const Recording& recording_;  // the facts
    const PlotData& data_;        // the rows
    std::vector<Panel> panels_;
    std::string xFormat_, xLabel_;  // for the bottom panel
    PlotJob job_;
};

void DayScript::addQuantity(Panel& panel, Quantity quantity, bool secondAxis) {
    if (!recording_.carries(quantity) || !data_.hasValues(quantity)) return;
    const Series& series = seriesOf(quantity);
    job_.files.emplace_back(series.file, data_.seriesData(quantity));
    std::string name = quantityName(quantity);
    panel.plots.push_back("'" + std::string(series.file) + "' using 1:2 with lines lw 1.5 lc rgb '" +
                          series.colour + "'" + (secondAxis ? " axes x1y2" : "") + " title '" + name + "'");
}

void DayScript::addValuePanels() {
    Panel power;
    Quantity top = recording_.carries(Quantity::panelPower) ? Quantity::panelPower : Quantity::panelVoltage;
    power.ylabel = std::string(quantityName(top)) + " [" + quantityUnit(top) + "]";
    addQuantity(power, top, false);
    power.before = "set yrange [*<0:*]\n";  // power from zero up
    if (recording_.carries(top)) panels_.push_back(power);

    Panel battery;
    battery.ylabel = "battery voltage [V]";
    ValueRange volts = data_.valueRange(Quantity::batteryVoltage);
    battery.before = "set yrange [" + voltageRange(volts.low, volts.high) + "]\n";
    addQuantity(battery, Quantity::batteryVoltage, false);
    addQuantity(battery, Quantity::chargeCurrent, true);
    if (recording_.carries(Quantity::chargeCurrent) && data_.hasValues(Quantity::chargeCurrent)) {
        battery.before += "set ytics nomirror\nset y2tics\nset y2range [*<0:*]\nset y2label 'charge current [A]'\n";
        battery.after = "unset y2tics\nunset y2label\nset ytics mirror\n";
    }
    if (recording_.carries(Quantity::batteryVoltage) || recording_.carries(Quantity::chargeCurrent))
        panels_.push_back(battery);

    Panel load;
    load.ylabel = "load current [A]";
    load.before = "set yrange [*<0:*]\n";
    addQuantity(load, Quantity::loadCurrent, false);
    if (recording_.carries(Quantity::loadCurrent)) panels_.push_back(load);
}

void DayScript::addStateBand() {
    if (!recording_.carriesStates) return;
    Panel band;
    band.band = true;
    band.ylabel = "state";
    std::vector<int> present;
    std::string bands = data_.stateBands(present);
    if (!present.empty()) job_.files.emplace_back("states.dat", bands);
    for (std::size_t block = 0; block < present.size(); ++block) {
        const ChargeState state = chargeState(present[block]);
        band.plots.push_back("'states.dat' index " + std::to_string(block) +
                             " using 1:(0.5):1:2:(0):(1) with boxxyerror fs solid 1.0 noborder lc rgb '" +
                             state.colour + "' title '" + state.name + "'");
    }
    band.before = "set yrange [0:1]\nunset ytics\nset key at screen 0.5, screen 0.012 center bottom" +
                  std::string(kKeyStyle);
    panels_.push_back(band);
}

void DayScript::writeAxis() {
    std::string& s = job_.script;
    if (recording_.timed) {
        TimeAxis axis = chooseTimeAxis(data_.first(), data_.last());
        s += "set xdata time\nset timefmt '%s'\n";
        s += "set xrange [" + number(axis.from) + ":" + number(axis.to) + "]\n";
        s += "set xtics " + number(axis.firstTick) + ", " + number(axis.step) + "\n";
        xFormat_ = "\"" + axis.format + "\"";
        xLabel_ = gnuplotString(axis.label);
    } else {
        s += "set xrange [1:" + number(std::max<double>(2, static_cast<double>(data_.rows()))) + "]\n";
        xFormat_ = "'%g'";
        xLabel_ = "'row'";
    }
    s += "set grid xtics ytics lc rgb '#d8d8d8'\n";
    s += "set lmargin at screen " + number(kLeft) + "\nset rmargin at screen " + number(kRight) + "\n";
}

void DayScript::writePanels() {
    std::string& s = job_.script;
    int valuePanels = static_cast<int>(panels_.size()) - (recording_.carriesStates ? 1 : 0);
    double valueTop = kTop;
    double valueBottom = recording_.carriesStates ? kBottom + kBandHeight + kBandGap : kBottom;
    double height = (valueTop - valueBottom - kPanelGap * (valuePanels - 1)) / std::max(1, valuePanels);
    double top = kTop;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const Panel& panel = panels_[i];
        bool last = i + 1 == panels_.size();
        if (panel.band) top = kBottom + kBandHeight;
        double bottom = panel.band ? kBottom : top - height;
        s += "set tmargin at screen " + number(top) + "\nset bmargin at screen " + number(bottom) + "\n";
        s += last ? "set format x " + xFormat_ + "\nset xlabel " + xLabel_ + "\n" : "set format x ''\nunset xlabel\n";
        if (!panel.band)
            s += "set key at screen " + number(kLeft) + ", screen " + number(top + kKeyLift) + " left bottom" + kKeyStyle;
        s += "set ylabel " + gnuplotString(panel.ylabel) + "\n" + panel.before;
        if (panel.plots.empty())
            s += "set yrange [0:1]\nset label 1 'no values' at graph 0.5, 0.5 center\nplot 1/0 notitle\n"
                 "unset label 1\n";
        else {
            s += "plot ";
            for (std::size_t k = 0; k < panel.plots.size(); ++k) s += (k ? ", " : "") + panel.plots[k];
            s += "\n";
        }
        s += panel.after;
        top = bottom - kPanelGap;
    }
    s += "unset multiplot\n";
}

PlotJob DayScript::build() {
    addValuePanels();
    addStateBand();
    writeAxis();
    writePanels();
    return std::move(job_);
}

}  // namespace

std::string gnuplotString(std::string_view text) {
    std::string quoted = "'";
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size() && shown < kLongestText; ++shown) {
        std::size_t length = utf8Length(text, i);
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (length == 0 || c < 0x20 || c == 0x7F) {
            quoted += '?';
            i += 1;
            continue;
        }
        if (c == '\'') quoted += '\'';
        quoted.append(text.substr(i, length));
        i += length;
    }
    return quoted + "'";
}

PlotJob dayPicture(const Recording& recording, const PlotData& data, const std::string& title, PictureKind kind) {
    return DayScript(recording, data, title, kind).build();
}

PlotJob historyPicture(const Recording& recording, const std::string& title, PictureKind kind) {
    const DayHistory& history = recording.history;
    PlotJob job;
    std::string& s = job.script;
    s = terminalLine(kind, kHistoryWidth, kHistoryHeight);
    s += "set output\nset encoding utf8\n";
    s += "set title " + gnuplotString(title) + " font ',13'\n";
    double today = dayStart(history.today) + kSecondsPerDay / 2;
    double first = today - (kHistoryDayCount - 1) * kSecondsPerDay;
    s += "set xdata time\nset timefmt '%s'\nset format x \"%d %b\"\n";
    s += "set xrange [" + number(first - kSecondsPerDay) + ":" + number(today + kSecondsPerDay) + "]\n";
    s += "set xtics " + number(first) + ", " + number(2 * kSecondsPerDay) + " rotate by -45\n";
    s += "set xlabel 'day'\n";
    s += "set boxwidth " + number(0.8 * kSecondsPerDay) + " absolute\nset style fill solid 0.85 noborder\n";
    s += "set grid ytics lc rgb '#d8d8d8'\nset key inside top center" + std::string(kKeyStyle);
    s += "set offsets 0, 0, graph 0.12, 0\n";  // headroom for the key
    s += "set yrange [0:*]\nset ylabel 'daily yield [kWh]'\nset ytics nomirror\n";
    s += "set y2range [0:*]\nset y2label 'maximum power [W]'\nset y2tics\n";
    std::vector<std::string> plots;
    std::string yield = historyData(history, false), power = historyData(history, true);
    if (!yield.empty()) {
        job.files.emplace_back("yield.dat", yield);
        plots.push_back("'yield.dat' using 1:2 with boxes lc rgb '#e69f00' title 'daily yield'");
    }
    if (!power.empty()) {
        job.files.emplace_back("max_power.dat", power);
        plots.push_back("'max_power.dat' using 1:2 axes x1y2 with points pt 7 ps 1.3 lc rgb '#0072b2' title 'maximum power'");
    }
    s += "plot ";
    for (std::size_t k = 0; k < plots.size(); ++k) s += (k ? ", " : "") + plots[k];
    s += plots.empty() ? "1/0 notitle\n" : "\n";
    return job;
}

}  // namespace tessline
