// The built-in product table: product id to display name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessline {

struct ProductRow {
    std::uint32_t id;  // only the low 16 bits identify the product
    const char* name;
};

// 273 products in no particular order, then the closing row {0xFFFF, "unknown"}.
constexpr std::size_t kProductRowCount = 274;
extern const ProductRow productTable[kProductRowCount];

// The product's name, or null when the table has no such product.
// 0xFFFF finds the closing row and reads "unknown".
const char* lookupProductName(std::uint16_t id);

}  // namespace tessline
