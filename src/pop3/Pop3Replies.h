#pragma once
// The fields the window reads out of POP3 replies, apart from any widget:
// STAT's count and size, a LIST n reply's mail and size, and the date,
// sender and subject header lines of a TOP reply.

#include <QList>
#include <QString>
#include <QStringView>

namespace Pop3Replies {

// A reply cut at each CR LF, as splitting it there gives it (the text after
// the last CR LF, often empty, included). Views into the reply.
QList<QStringView> replyLines(QStringView reply);

// The index-th blank-separated piece of a reply line (0 is the first), as
// splitting it at every blank gives it; empty where the line has fewer.
// A view into the line: nothing is copied.
QStringView blankSeparatedPiece(QStringView line, int index);

// The second and third blank-separated pieces of the status line
// ("+OK 2 320" gives "2" and "320"); empty where the reply has fewer.
struct StatFields
{
    QString count;
    QString size;
};
StatFields statFields(const QString &reply);

// The mail count a count text names: its numeric value, 0 when it is not
// positive, at most the largest int (a server may claim any number).
int boundedMailCount(const QString &countText);

// The texts after "Date:", "From:" and "Subject:" (the blank after the colon
// kept) of the first line carrying each name.
struct HeaderFields
{
    QString date;
    QString sender;
    QString subject;
};
// False when the reply has no line after its status line. The scan runs on
// into the body lines the reply carries and never looks at the text after
// the final CR LF.
bool topHeaderFields(const QString &reply, HeaderFields *fields);

} // namespace Pop3Replies
