#include "pop3/Pop3Replies.h"

#include "app/VbHelpers.h"

#include <QStringList>

#include <limits>

namespace {

QString piece(const QStringList &pieces, int index)
{
    return index < pieces.size() ? pieces[index] : QString();
}

} // namespace

Pop3Replies::StatFields Pop3Replies::statFields(const QString &reply)
{
    QString line = reply;
    if (line.endsWith(vb::CrLf))
        line.chop(2);
    const QStringList pieces = line.split(u' ');
    return {piece(pieces, 1), piece(pieces, 2)};
}

int Pop3Replies::boundedMailCount(const QString &countText)
{
    // Bounded before the conversion: the text may name a number beyond any
    // integer type.
    const double value = vb::Val(countText);
    if (!(value > 0))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(value);
}

bool Pop3Replies::topHeaderFields(const QString &reply, HeaderFields *fields)
{
    const QStringList lines = reply.split(vb::CrLf);
    if (lines.size() < 2)
        return false;
    // The first line of each name wins.
    bool hasDate = false, hasSender = false, hasSubject = false;
    const qsizetype last = lines.size() - 1;
    for (qsizetype i = 1;; ++i) {
        const QString &line = lines[i];
        if (!hasDate && line.startsWith(QLatin1String("Date:"))) {
            fields->date = line.mid(5);
            hasDate = true;
        } else if (!hasSender && line.startsWith(QLatin1String("From:"))) {
            fields->sender = line.mid(5);
            hasSender = true;
        } else if (!hasSubject && line.startsWith(QLatin1String("Subject:"))) {
            fields->subject = line.mid(8);
            hasSubject = true;
        }
        if ((hasDate && hasSender && hasSubject) || i + 1 >= last)
            break;
    }
    return true;
}
