// The page as a browser shows it: headless Chromium loads / from a dump of
// solwatch-sim, and the values by element id are those of a CSV row.
// SOLWATCH_UPDATE_SCREENSHOT=1 also runs the README's screenshot: the full
// variant for SOLWATCH_SCREENSHOT_MINUTES (default 6) minutes, then a
// desktop-sized picture of the page into docs/solwatch-page.png.
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/http/http_client.h"
#include "tests/http/http_dump.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace http_test;
using namespace testing_support;
using namespace std::chrono_literals;

const char* const kChromium = "/usr/bin/chromium";

// Each element of the page and the CSV columns its number comes from.
const std::map<std::string, std::vector<const char*>> kShownColumns = {
    {"battery-voltage", {"Vbat[V]", "Vchr[V]"}},
    {"battery-current", {"Ibat[A]", "Ichr[A]"}},
    {"panel-power", {"Ppnl[W]"}},
    {"panel-voltage", {"Vpnl[V]"}},
    {"load", {"Load"}},
    {"temperature", {"Temp[C]"}},
    {"charge-state", {"State"}},
    {"yield-today", {"Day0Yield[kWh]", "Yield_today[kWh]"}},
};

// Headless Chromium on `url` with a fresh profile; `what` is --dump-dom or
// --screenshot=FILE and the like.
ProcessResult runChromium(const ScratchDir& dir, const std::string& url, std::vector<std::string> what) {
    static int profiles = 0;
    std::vector<std::string> argv{kChromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                  "--no-first-run", "--disable-background-networking",
                                  "--disable-component-update", "--disable-sync",
                                  "--user-data-dir=" + dir.file("profile-" + std::to_string(++profiles))};
    argv.insert(argv.end(), what.begin(), what.end());
    argv.push_back(url);
    return runProcess(argv, 60s);
}

// The text of the element with this id (up to its first inner tag), or none.
std::optional<std::string> elementText(const std::string& dom, const std::string& id) {
    std::size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos) return std::nullopt;
    std::size_t open = dom.find('>', at);
    std::size_t close = dom.find('<', open);
    if (open == std::string::npos || close == std::string::npos) return std::nullopt;
    return dom.substr(open + 1, close - open - 1);
}

std::string unquoted(const std::string& cell) {
    return cell.size() >= 2 && cell.front() == '"' ? cell.substr(1, cell.size() - 2) : cell;
}

// What the page shows of the CSV's columns, by element id.
std::map<std::string, std::string> shownValues(HttpDump& dump, const std::string& dom) {
    std::map<std::string, std::string> shown;
    for (const auto& [id, columns] : kShownColumns)
        if (dump.cell(dump.header(), columns)) shown[id] = elementText(dom, id).value_or("(no element)");
    return shown;
}

// The newest CSV row read so far whose cells the page shows, or -1.
int shownRow(HttpDump& dump, const std::map<std::string, std::string>& shown) {
    while (!dump.nextRow(300ms).empty()) {
    }
    for (int i = static_cast<int>(dump.rows().size()) - 1; i >= 0; --i) {
        bool same = true;
        for (const auto& [id, text] : shown) same = same && unquoted(*dump.cell(dump.rows()[i], kShownColumns.at(id))) == text;
        if (same) return i;
    }
    return -1;
}

class Page : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed";
    }
    ScratchDir dir;
};

TEST_F(Page, ShowsTheLastRowAndTheNextOne) {
    HttpDump dump({});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    const std::string url = "http://127.0.0.1:" + std::to_string(dump.port()) + "/";
    std::map<std::string, std::string> before, after;
    for (auto* shown : {&before, &after}) {
        ProcessResult chromium = runChromium(dir, url, {"--dump-dom", "--virtual-time-budget=3000"});
        ASSERT_EQ(chromium.exitCode, 0) << chromium.err;
        *shown = shownValues(dump, chromium.out);
        EXPECT_GE(shown->size(), 6u);
        EXPECT_GE(shownRow(dump, *shown), 0) << chromium.out;
        EXPECT_NE(elementText(chromium.out, "device").value_or("").find("HQ2042SIM01"), std::string::npos)
            << "the device is not named";
        dump.nextRow(5s);
    }
    EXPECT_NE(before, after) << "the second load shows the same values";
}

TEST_F(Page, ReadmeScreenshot) {
    const char* update = std::getenv("SOLWATCH_UPDATE_SCREENSHOT");
    if (!update || std::string(update) != "1") GTEST_SKIP() << "SOLWATCH_UPDATE_SCREENSHOT=1 takes it";
    const char* minutes = std::getenv("SOLWATCH_SCREENSHOT_MINUTES");
    HttpDump dump({"--time-scale", "720"}, {});
    std::this_thread::sleep_for(std::chrono::minutes(minutes ? std::atoi(minutes) : 6));
    const std::string picture = std::string(SOLWATCH_SOURCE_DIR) + "/docs/solwatch-page.png";
    ProcessResult chromium = runChromium(dir, "http://127.0.0.1:" + std::to_string(dump.port()) + "/",
                                         {"--screenshot=" + picture, "--window-size=1280,900", "--hide-scrollbars",
                                          "--virtual-time-budget=5000"});
    EXPECT_EQ(chromium.exitCode, 0) << chromium.err;
    EXPECT_GT(readFile(picture).size(), 10000u);
}

}  // namespace
