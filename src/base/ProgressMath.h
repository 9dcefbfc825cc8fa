#pragma once
// Progress arithmetic, apart from the bar that shows it.

#include <QtGlobal>

#include <optional>

// The bar position for a count of a total: a whole percentage, halves to the
// even neighbour. No position when the total is unknown (0 or less) or the
// result lies outside 0..100.
std::optional<int> ProgressPercent(qint64 value, qint64 max);
