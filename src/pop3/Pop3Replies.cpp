// Reading fields out of STAT, LIST and TOP replies.

#include "pop3/Pop3Replies.h"

#include "base/VbHelpers.h"

#include <QStringList>

#include <limits>

QList<QStringView> Pop3Replies::replyLines(QStringView reply)
{
    // LF alone is found fast; a line ends only where a CR comes before it.
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype lf = reply.indexOf(u'\n'); lf >= 0; lf = reply.indexOf(u'\n', lf + 1)) {
        if (lf > start && reply[lf - 1] == u'\r') {
            lines.append(reply.mid(start, lf - 1 - start));
            start = lf + 1;
        }
    }
    lines.append(reply.mid(start));
    return lines;
}

QStringView Pop3Replies::blankSeparatedPiece(QStringView line, int index)
{
    qsizetype from = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype blank = line.indexOf(u' ', from);
        if (blank < 0)
            return QStringView();
        from = blank + 1;
    }
    const qsizetype blank = line.indexOf(u' ', from);
    return line.mid(from, blank < 0 ? -1 : blank - from);
}

Pop3Replies::StatFields Pop3Replies::statFields(const QString &reply)
{
    QStringView line = reply;
    if (line.endsWith(vb::CrLf))
        line.chop(2);
    return {blankSeparatedPiece(line, 1).toString(), blankSeparatedPiece(line, 2).toString()};
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
    // The lines are read in place and only up to the last field wanted: the
    // sweep reads thousands of these.
    const QStringView text(reply);
    qsizetype start = text.indexOf(vb::CrLf);
    if (start < 0)
        return false;
    start += vb::CrLf.size();
    // The first line of each name wins.
    bool hasDate = false, hasSender = false, hasSubject = false;
    for (qsizetype i = 1;; ++i) {
        const qsizetype end = text.indexOf(vb::CrLf, start);
        // What follows the last line break is a line only when it is the first.
        const bool final = end < 0;
        if (final && i > 1)
            break;
        const QStringView line = final ? text.sliced(start) : text.sliced(start, end - start);
        if (!hasDate && line.startsWith(QLatin1String("Date:"))) {
            fields->date = line.sliced(5).toString();
            hasDate = true;
        } else if (!hasSender && line.startsWith(QLatin1String("From:"))) {
            fields->sender = line.sliced(5).toString();
            hasSender = true;
        } else if (!hasSubject && line.startsWith(QLatin1String("Subject:"))) {
            fields->subject = line.sliced(8).toString();
            hasSubject = true;
        }
        if ((hasDate && hasSender && hasSubject) || final)
            break;
        start = end + vb::CrLf.size();
    }
    return true;
}
