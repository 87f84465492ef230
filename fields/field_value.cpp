#include "fields/field_value.h"

#include <cmath>

namespace tessline {

double roundedAsPrinted(double value, int digits) {
    static const double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (!std::isfinite(value) || digits < 0 || digits > 15) return value;
    double scale = kPowersOfTen[digits];
    double magnitude = std::fabs(value);
    double scaled = magnitude * scale;
    // From 2^50 on the fraction is a multiple of 1/4 and the product's error
    // below it; such values are not printed by a table anyway.
    if (!(scaled < 0x1p50)) return value;
    // The product is rounded; fma gives the exact rest, so that the decision
    // below is made on the exact magnitude * scale, as printf makes it.
    double rest = std::fma(magnitude, scale, -scaled);
    double whole = std::floor(scaled);
    double aboveHalf = (scaled - whole) - 0.5;  // exact where it matters: near a half
    bool up = aboveHalf > -rest || (aboveHalf == -rest && std::fmod(whole, 2) != 0);
    return std::copysign((whole + (up ? 1 : 0)) / scale, value);
}

}  // namespace tessline
