#include "http/page_fields.h"

#include <nlohmann/json.hpp>

#include "fields/field_catalogue.h"

namespace tessline {

namespace {

using Json = nlohmann::ordered_json;

const PageTile kTiles[] = {PageTile::batteryVoltage, PageTile::batteryCurrent, PageTile::panelPower,
                           PageTile::panelVoltage,   PageTile::chargeState,    PageTile::yieldToday,
                           PageTile::temperature,    PageTile::load,           PageTile::loadCurrent};
// The chart's lines, in the order of /api/history's fields.
const PlotRole kChartRoles[] = {PlotRole::panelPower, PlotRole::batteryVoltage, PlotRole::chargeCurrent};

// Where the state message puts a field: today's record for a day record's.
std::string statePath(const Field& field) {
    switch (field.record) {
    case Record::live: break;
    case Record::total: return std::string("history.total.") + field.key;
    case Record::day: return std::string("history.days.0.") + field.key;
    }
    return field.key;
}

template <class Plays>
Json keysOf(Plays plays) {
    Json keys = Json::array();
    for (const Field& field : allFields())
        if (plays(field)) keys.push_back(statePath(field));
    return keys;
}

Json tileJson(PageTile tile) {
    std::string unit;
    for (const Field& field : allFields())
        if (field.tile == tile && field.unit && unit.empty()) unit = field.unit->shown;
    return {{"id", tileId(tile)},
            {"label", tileLabel(tile)},
            {"unit", unit},
            {"keys", keysOf([tile](const Field& field) { return field.tile == tile; })}};
}

std::string fieldsJson() {
    Json tiles = Json::array();
    for (PageTile tile : kTiles) tiles.push_back(tileJson(tile));
    Json chart = Json::array();
    for (PlotRole role : kChartRoles)
        chart.push_back(keysOf([role](const Field& f) { return f.record == Record::live && f.plot == role; }));
    Json states = Json::array();
    std::vector<std::string> names = allNames(chargeStates());
    for (std::size_t i = 0; i < names.size(); ++i)
        states.push_back({{"name", names[i]}, {"colour", chargeStateColour(static_cast<int>(i))}});
    return Json{{"tiles", tiles}, {"chart", chart}, {"states", states}}.dump();
}

}  // namespace

const std::string& pageFieldsJson() {
    static const std::string json = fieldsJson();
    return json;
}

}  // namespace tessline
