#pragma once
// Small pieces shared by header retrieval and deletion in the main window.

#include "app/VbColor.h"
#include "app/VbHelpers.h"

#include <QPalette>
#include <QPushButton>
#include <QString>

#include <limits>

namespace mailbox {

inline const QString RangeNotValid = QStringLiteral("Mail range selected is not valid");

// Both bounds must be whole numbers (an empty or half-typed box is no range),
// the lower not above the upper.
inline bool readMailRange(const QString &fromText, const QString &tillText, int *from, int *till)
{
    qint64 lower = 0;
    qint64 upper = 0;
    if (!vb::ParseWholeNumber(fromText, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &lower)
        || !vb::ParseWholeNumber(tillText, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &upper)
        || lower > upper)
        return false;
    *from = int(lower);
    *till = int(upper);
    return true;
}

// The numeric value of a text as a mail number.
inline int mailNumberOf(const QString &text)
{
    const double value = vb::Val(text);
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(vb::RoundHalfEven(value));
}

// While an operation runs, its button is the red stop button and the only
// action control left enabled.
inline void showAsStopButton(QPushButton *button)
{
    button->setText(QStringLiteral("Stop"));
    QPalette p = button->palette();
    p.setColor(QPalette::Button, vb::ColorFromLiteral(QStringLiteral("&H0000FF")));
    button->setPalette(p);
    button->setEnabled(true);
}

} // namespace mailbox
