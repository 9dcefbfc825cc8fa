#pragma once
// The colour literals of the program as colours of the window.

#include "base/VbHelpers.h"

#include <QColor>
#include <QString>

namespace vb {

// "&HBBGGRR" (blue-green-red order) to a colour. Invalid text gives black.
inline QColor ColorFromLiteral(const QString &literal)
{
    return QColor::fromRgb(RgbFromLiteral(literal));
}

} // namespace vb
