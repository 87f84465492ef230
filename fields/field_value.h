// Values as the table prints them, as numbers rather than text.
#pragma once

namespace tessline {

// `value` rounded to `digits` decimals (0 to 15) the way printf's "%.*f"
// rounds it (the exact binary value, halves to even), so that the result is
// the double that the printed text reads back as. A value that is not finite
// stays as it is.
double roundedAsPrinted(double value, int digits);

}  // namespace tessline
