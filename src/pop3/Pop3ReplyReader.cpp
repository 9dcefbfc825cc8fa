#include "pop3/Pop3ReplyReader.h"

#include "app/VbHelpers.h"

#include "pop3/Pop3Command.h"

#include <QStringView>

#include <algorithm>

namespace {
using vb::CrLf;

bool startsWithErr(QStringView text)
{
    return text.left(4).compare(QLatin1String("-ERR"), Qt::CaseInsensitive) == 0;
}
} // namespace

void Pop3ReplyReader::clear()
{
    m_expected.clear();
    m_ready.clear();
    m_buf.clear();
    m_lineStart = 0;
    m_scanFrom = 0;
    m_inBody = false;
}

void Pop3ReplyReader::expect(Kind kind)
{
    m_expected.enqueue(kind);
}

void Pop3ReplyReader::commandSent(const QString &commandLine)
{
    expect(Pop3Command::expectsMultiLine(commandLine) ? Kind::MultiLine : Kind::SingleLine);
}

void Pop3ReplyReader::feed(const QString &chunk)
{
    if (chunk.isEmpty())
        return;
    m_buf += chunk;
    scan();
}

QString Pop3ReplyReader::takeReply()
{
    return m_ready.isEmpty() ? QString() : m_ready.dequeue();
}

void Pop3ReplyReader::scan()
{
    int replyStart = 0;
    for (;;) {
        const int cr = int(m_buf.indexOf(CrLf, m_scanFrom));
        if (cr < 0) {
            // A CR at the very end may still get its LF from the next chunk.
            m_scanFrom = std::max(m_lineStart, int(m_buf.size()) - 1);
            break;
        }
        const int lineEnd = cr + 2;
        const QStringView line = QStringView(m_buf).mid(m_lineStart, cr - m_lineStart);
        bool complete = false;
        if (!m_inBody) {
            // Anything the server says unasked (e.g. an idle time-out) is
            // taken as a one-line reply.
            const Kind kind = m_expected.isEmpty() ? Kind::SingleLine : m_expected.head();
            if (kind == Kind::SingleLine || startsWithErr(line))
                complete = true;
            else
                m_inBody = true;
        } else if (line == QLatin1String(".")) {
            complete = true;
        }
        m_lineStart = m_scanFrom = lineEnd;
        if (!complete)
            continue;
        if (!m_expected.isEmpty())
            m_expected.dequeue();
        m_inBody = false;
        if (replyStart == 0 && lineEnd == m_buf.size()) {
            // The usual case: the buffer holds exactly one reply.
            m_ready.enqueue(std::move(m_buf));
            m_buf = QString();
            m_lineStart = m_scanFrom = 0;
            return;
        }
        m_ready.enqueue(m_buf.mid(replyStart, lineEnd - replyStart));
        replyStart = lineEnd;
    }
    if (replyStart > 0) {
        m_buf.remove(0, replyStart);
        m_lineStart -= replyStart;
        m_scanFrom -= replyStart;
    }
}

bool Pop3ReplyReader::isError(const QString &reply)
{
    return startsWithErr(reply);
}

QString Pop3ReplyReader::stripStatusAndTerminator(const QString &reply)
{
    const int statusEnd = int(reply.indexOf(CrLf));
    if (statusEnd < 0)
        return QString();
    QString body = reply.mid(statusEnd + 2);
    if (body == QLatin1String(".\r\n"))
        return QString();
    if (body.endsWith(QLatin1String("\r\n.\r\n")))
        body.chop(3);
    return body;
}

QString Pop3ReplyReader::dotUnstuff(const QString &body)
{
    QString out;
    out.reserve(body.size());
    const QStringView text(body);
    qsizetype pos = 0;
    while (pos < text.size()) {
        if (text.at(pos) == QLatin1Char('.'))
            ++pos;
        const qsizetype nl = text.indexOf(CrLf, pos);
        const qsizetype end = nl < 0 ? text.size() : nl + 2;
        out.append(text.mid(pos, end - pos));
        pos = end;
    }
    return out;
}

QString Pop3ReplyReader::content(const QString &reply)
{
    return dotUnstuff(stripStatusAndTerminator(reply));
}
