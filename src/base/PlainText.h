#pragma once
// Text that a server, a certificate or a sign-in service chose, made fit to
// be shown as one plain line: no control or format character may reshape
// the box it is shown in, and no length may flood it.

#include <QString>

namespace PlainText {

// Control, format and line-separator characters become "?"; a text longer
// than maxLength is cut there and ends in "...".
QString shown(const QString &value, int maxLength = 200);

} // namespace PlainText
