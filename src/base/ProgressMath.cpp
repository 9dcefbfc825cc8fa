// Percentages of the progress bar, rounded as the window rounds every number.

#include "base/ProgressMath.h"

#include "base/VbHelpers.h"

std::optional<int> ProgressPercent(qint64 value, qint64 max)
{
    if (max <= 0)
        return std::nullopt;
    const qint64 percent = vb::RoundHalfEven(double(value) / double(max) * 100.0);
    if (percent < 0 || percent > 100)
        return std::nullopt;
    return int(percent);
}
