#pragma once
// Mail numbers read from text: a range box, a grid's Id cell, a server's
// listing line. One reading for all of them.

#include <QString>

namespace mailbox {

inline const QString RangeNotValid = QStringLiteral("Mail range selected is not valid");

// The numeric value of a text as a mail number: the number it begins with,
// rounded half to even and held within int; 0 when it begins with none.
int mailNumberOf(const QString &text);

// Both bounds must be whole numbers (an empty or half-typed box is no range),
// the lower not above the upper.
bool readMailRange(const QString &fromText, const QString &tillText, int *from, int *till);

} // namespace mailbox
