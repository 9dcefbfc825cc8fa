#pragma once

#include <QColor>
#include <QString>

namespace vb {

// "&HBBGGRR" (blue-green-red order) to a colour. Invalid text gives black.
inline QColor ColorFromLiteral(const QString &literal)
{
    QString hex = literal.trimmed();
    if (hex.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
        hex = hex.mid(2);
    if (hex.endsWith(u'&'))
        hex.chop(1);
    bool ok = false;
    const uint bgr = hex.toUInt(&ok, 16);
    if (!ok)
        return QColor(Qt::black);
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

} // namespace vb
