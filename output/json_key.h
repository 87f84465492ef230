// The JSON key of a table column: "Ibat[A]" is ibat_a, "Light[%]" is
// light_pct, "#Days" is days, "Err[0]" is err_0.
#pragma once

#include <string>

namespace tessline {

// Lower case letters and digits of the name, then "_" and the unit in
// brackets ("%" becomes "pct"); other characters drop out, but an "_" of
// the name stays, since it already separates words ("Yield_user[kWh]" is
// yield_user_kwh). A header with nothing left is "column".
std::string jsonKey(const std::string& header);

// The unit in the header's brackets as printed ("kWh", "%"), or "".
std::string headerUnit(const std::string& header);
// The header without its unit: "Ibat[A]" is "Ibat".
std::string headerName(const std::string& header);

}  // namespace tessline
