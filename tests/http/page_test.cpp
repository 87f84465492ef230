// The page as a browser shows it: headless Chromium loads / from a dump of
// solwatch-sim, and the values by element id are those of a CSV row.
// SOLWATCH_UPDATE_SCREENSHOT=1 also takes the README's picture: the full
// variant for SOLWATCH_SCREENSHOT_MINUTES (default 16) minutes, a point of
// the chart a minute, each two simulated hours apart; then the page at a
// desktop size into docs/solwatch-page.png.
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "fields/field_catalogue.h"
#include "tests/http/devtools_page.h"
#include "tests/http/http_client.h"
#include "tests/http/http_dump.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

using namespace http_test;
using namespace testing_support;
using namespace std::chrono_literals;
using nlohmann::json;

// Each element of the page and the CSV columns its number comes from, as
// the catalogue gives them.
const std::map<std::string, std::vector<std::string>> kShownColumns = [] {
    std::map<std::string, std::vector<std::string>> shown;
    for (const tessline::Field& field : tessline::allFields())
        if (field.tile != tessline::PageTile::none)
            shown[tessline::tileId(field.tile)].push_back(tessline::columnHeader(field, 0));
    return shown;
}();

const char* const kNothingYet = "\u2013";  // what an element shows before the first row

bool showsAll(const std::map<std::string, std::string>& values) {
    return !values.empty() && std::none_of(values.begin(), values.end(), [](const auto& v) {
        return v.second == kNothingYet || v.second == "(no element)";
    });
}

// The text of each element that shows a column of the table, once the page
// shows them all (or as it is when the time is up).
std::map<std::string, std::string> shownValues(DevToolsPage& page, HttpDump& dump) {
    std::string ids;
    for (const auto& [id, columns] : kShownColumns)
        if (dump.cell(dump.header(), columns)) ids += (ids.empty() ? "'" : ",'") + id + "'";
    const std::string texts = "Object.fromEntries([" + ids +
                              "].map(id => [id, document.getElementById(id)?.textContent ?? '(no element)']))";
    std::map<std::string, std::string> values;
    waitUntil([&] {
        json shown = page.evaluate(texts);
        if (shown.is_object()) values = shown.get<std::map<std::string, std::string>>();
        return showsAll(values);
    });
    return values;
}

std::string unquoted(const std::string& cell) {
    return cell.size() >= 2 && cell.front() == '"' ? cell.substr(1, cell.size() - 2) : cell;
}

// The newest CSV row whose cells the page shows, or -1.
int shownRow(HttpDump& dump, const std::map<std::string, std::string>& shown) {
    while (!dump.nextRow(300ms).empty()) {
    }
    for (int i = static_cast<int>(dump.rows().size()) - 1; i >= 0; --i) {
        bool same = true;
        for (const auto& [id, text] : shown)
            same = same && unquoted(dump.cell(dump.rows()[i], kShownColumns.at(id)).value_or("")) == text;
        if (same) return i;
    }
    return -1;
}

std::string pageUrl(const HttpDump& dump) { return "http://127.0.0.1:" + std::to_string(dump.port()) + "/"; }

class Page : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "chromium is not installed";
    }
    ScratchDir dir;
};

// Loaded, the page shows a row of the CSV; loaded again after the next
// row, a later one.
TEST_F(Page, ShowsTheLastRowAndAfterTheNextOneThatOne) {
    HttpDump dump({});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    DevToolsPage page(dir.file("profile"), pageUrl(dump));
    std::map<std::string, std::string> first = shownValues(page, dump);
    ASSERT_GE(first.size(), 7u) << "no values on the page";
    const int firstRow = shownRow(dump, first);
    EXPECT_GE(firstRow, 0) << testing::PrintToString(first);
    json device = page.evaluate("document.getElementById('device').textContent");
    EXPECT_NE(device.get<std::string>().find("HQ2042SIM01"), std::string::npos) << device;

    ASSERT_FALSE(dump.nextRow(5s).empty());
    ASSERT_TRUE(page.reload());
    std::map<std::string, std::string> second = shownValues(page, dump);
    EXPECT_GT(shownRow(dump, second), firstRow) << testing::PrintToString(second);
    EXPECT_NE(first, second);
}

// The text of a banner while it shows, else "".
std::string bannerText(DevToolsPage& page, const std::string& id) {
    json text = page.evaluate("(e => e.hidden ? '' : e.textContent)(document.getElementById('" + id + "'))");
    return text.is_string() ? text.get<std::string>() : "";
}

// Waits until the banner's text starts with `start` (is gone, for ""); returns what it showed last.
std::string awaitBanner(DevToolsPage& page, const std::string& id, const std::string& start) {
    std::string text;
    waitUntil([&] { return (text = bannerText(page, id)).rfind(start, 0) == 0 && (!start.empty() || text.empty()); });
    return text;
}

// SOLWATCH_BANNER_SCREENSHOTS=DIR keeps the page as each banner shows it.
void keepScreenshot(DevToolsPage& page, const char* name) {
    if (const char* dir = std::getenv("SOLWATCH_BANNER_SCREENSHOTS"))
        writeFile(std::string(dir) + "/" + name, page.screenshot());
}

// With every event place taken by other hosts the page polls and says so,
// and takes the stream once a place is free; with solwatch gone it says
// that, and its values grey.
TEST_F(Page, SaysWhenItPollsAndWhenSolwatchIsGone) {
    auto dump = std::make_unique<HttpDump>(std::vector<std::string>{});
    ASSERT_FALSE(dump->header().empty()) << dump->solwatch().errSoFar();
    std::vector<std::unique_ptr<Connection>> streams;
    for (int i = 0; i < 16; ++i) {
        streams.push_back(std::make_unique<Connection>(dump->port(), ("127.0.0." + std::to_string(20 + i)).c_str()));
        streams.back()->send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(streams.back()->readUntil([](const std::string& s) { return s.find("\n\n") != std::string::npos; }, 5s));
    }
    DevToolsPage page(dir.file("profile"), pageUrl(*dump));
    const std::string busy = "solwatch is busy: showing values every 10 s";
    EXPECT_EQ(awaitBanner(page, "server-banner", busy), busy);
    EXPECT_GE(shownRow(*dump, shownValues(page, *dump)), 0) << "the polled values are no CSV row";
    keepScreenshot(page, "page-busy.png");

    streams.clear();
    EXPECT_EQ(awaitBanner(page, "server-banner", ""), "") << "the stream was not taken again";

    dump.reset();
    const std::string gone = "No connection to solwatch since ";
    EXPECT_EQ(awaitBanner(page, "server-banner", gone).substr(0, gone.size()), gone);
    EXPECT_EQ(page.evaluate("document.body.classList.contains('stale')"), true);
    keepScreenshot(page, "page-no-connection.png");
}

TEST_F(Page, ReadmeScreenshot) {
    const char* update = std::getenv("SOLWATCH_UPDATE_SCREENSHOT");
    if (!update || std::string(update) != "1") GTEST_SKIP() << "SOLWATCH_UPDATE_SCREENSHOT=1 takes it";
    const char* minutes = std::getenv("SOLWATCH_SCREENSHOT_MINUTES");
    HttpDump dump({"--time-scale", "120"}, {});
    // The picture shows a chart of some hours of the simulated day: they take this long.
    std::this_thread::sleep_for(std::chrono::minutes(minutes ? std::atoi(minutes) : 16));
    DevToolsPage page(dir.file("profile"), pageUrl(dump));
    ASSERT_TRUE(showsAll(shownValues(page, dump))) << dump.solwatch().errSoFar();
    // The chart draws after the values.
    ASSERT_TRUE(waitUntil([&] { return page.evaluate("document.querySelector('#chart canvas') !== null") == true; }));
    const std::string picture = page.screenshot();
    ASSERT_GT(picture.size(), 10000u);
    writeFile(std::string(SOLWATCH_SOURCE_DIR) + "/docs/solwatch-page.png", picture);
}

}  // namespace
