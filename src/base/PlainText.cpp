// Foreign text made fit for one line of a box.

#include "base/PlainText.h"

namespace PlainText {

QString shown(const QString &value, int maxLength)
{
    QString text;
    text.reserve(qMin(value.size(), maxLength));
    for (const QChar ch : value.left(maxLength)) {
        const QChar::Category category = ch.category();
        const bool reshapes = category == QChar::Other_Control || category == QChar::Other_Format
                              || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
        text += reshapes ? QChar(u'?') : ch;
    }
    if (value.size() > maxLength)
        text += QStringLiteral("...");
    return text;
}

} // namespace PlainText
