// Framing the byte stream into replies, line by line.

#include "pop3/Pop3ReplyReader.h"

#include "base/VbHelpers.h"

#include "pop3/Pop3Command.h"

#include <QStringView>

#include <utility>

namespace {
using vb::CrLf;

bool startsWithErr(QStringView text)
{
    return text.left(4).compare(QLatin1String("-ERR"), Qt::CaseInsensitive) == 0;
}

bool startsWithErr(QByteArrayView line)
{
    return line.size() >= 4 && qstrnicmp(line.data(), "-ERR", 4) == 0;
}
} // namespace

void Pop3ReplyReader::clear()
{
    m_expected.clear();
    m_ready.clear();
    m_buf.clear();
    m_body.clear();
    m_lineStart = 0;
    m_scanFrom = 0;
    m_bodyStart = 0;
    m_inBody = false;
    m_lineContinues = false;
    m_overflow = Overflow::None;
    m_overflowLimit = 0;
}

void Pop3ReplyReader::expect(Kind kind, bool listing)
{
    m_expected.enqueue({kind, listing});
}

void Pop3ReplyReader::commandSent(const QString &commandLine)
{
    const QString verb = Pop3Command::verbOf(commandLine);
    // A mail fetched whole is never held whole: its body streams.
    if (verb == QLatin1String("RETR"))
        expect(Kind::StreamedMultiLine);
    else if (Pop3Command::expectsMultiLine(commandLine))
        expect(Kind::MultiLine, verb == QLatin1String("UIDL") || verb == QLatin1String("LIST"));
    else
        expect(Kind::SingleLine);
}

bool Pop3ReplyReader::awaitsMultiLine() const
{
    return !m_expected.isEmpty() && m_expected.head().kind != Kind::SingleLine;
}

void Pop3ReplyReader::feed(const QByteArray &chunk)
{
    // After an overflow the rest of the stream is nobody's reply.
    if (chunk.isEmpty() || m_overflow != Overflow::None)
        return;
    m_buf += chunk;
    scan();
}

QString Pop3ReplyReader::takeReply()
{
    return m_ready.isEmpty() ? QString() : QString::fromLatin1(m_ready.dequeue());
}

QByteArray Pop3ReplyReader::takeBody()
{
    return std::exchange(m_body, QByteArray());
}

bool Pop3ReplyReader::streaming() const
{
    return m_inBody && !m_expected.isEmpty() && m_expected.head().kind == Kind::StreamedMultiLine;
}

qsizetype Pop3ReplyReader::replyLimit() const
{
    // Anything the server says unasked is taken as a one-line reply.
    if (m_expected.isEmpty() || m_expected.head().kind == Kind::SingleLine)
        return m_limits.lineBytes;
    if (m_expected.head().kind == Kind::StreamedMultiLine)
        return -1;
    return m_expected.head().listing ? m_limits.listingBytes : m_limits.replyBytes;
}

void Pop3ReplyReader::fail(Overflow overflow, qsizetype limit)
{
    m_overflow = overflow;
    m_overflowLimit = limit;
    m_buf.clear();
    m_lineStart = m_scanFrom = m_bodyStart = 0;
    m_inBody = false;
    m_lineContinues = false;
}

void Pop3ReplyReader::scan()
{
    qsizetype replyStart = 0;
    for (;;) {
        const qsizetype cr = nextLineEnd();
        if (cr < 0)
            break;
        const qsizetype lineEnd = cr + 2;
        if (!streaming() && lineEnd - m_lineStart > m_limits.lineBytes) {
            fail(Overflow::Line, m_limits.lineBytes);
            return;
        }
        const QByteArrayView line(m_buf.constData() + m_lineStart, cr - m_lineStart);
        bool complete = false;
        if (!m_inBody) {
            // Anything the server says unasked (e.g. an idle time-out) is
            // taken as a one-line reply.
            const Kind kind = m_expected.isEmpty() ? Kind::SingleLine : m_expected.head().kind;
            if (kind == Kind::SingleLine || startsWithErr(line)) {
                complete = true;
            } else {
                m_inBody = true;
                m_bodyStart = lineEnd;
            }
        } else if (!m_lineContinues && line == QByteArrayView(".")) {
            complete = true;
        } else if (streaming()) {
            const qsizetype from = !m_lineContinues && line.startsWith('.') ? m_lineStart + 1 : m_lineStart;
            m_body.append(m_buf.constData() + from, lineEnd - from);
        }
        m_lineContinues = false;
        m_lineStart = m_scanFrom = lineEnd;
        if (!complete)
            continue;
        const bool streamed = streaming();
        if (const qsizetype limit = replyLimit(); limit >= 0 && lineEnd - replyStart > limit) {
            fail(Overflow::Reply, limit);
            return;
        }
        ++m_completed;
        if (!m_expected.isEmpty())
            m_expected.dequeue();
        m_inBody = false;
        if (streamed) {
            // Its body has gone out already.
            m_ready.enqueue(m_buf.mid(replyStart, m_bodyStart - replyStart) + ".\r\n");
            replyStart = lineEnd;
            continue;
        }
        if (replyStart == 0 && lineEnd == m_buf.size()) {
            // The usual case: the buffer holds exactly one reply.
            m_ready.enqueue(std::move(m_buf));
            m_buf = QByteArray();
            m_lineStart = m_scanFrom = 0;
            return;
        }
        m_ready.enqueue(m_buf.mid(replyStart, lineEnd - replyStart));
        replyStart = lineEnd;
    }
    if (streaming()) {
        streamLongLine();
    } else if (m_buf.size() - m_lineStart > m_limits.lineBytes) {
        fail(Overflow::Line, m_limits.lineBytes);
        return;
    } else if (const qsizetype limit = replyLimit(); limit >= 0 && m_buf.size() - replyStart > limit) {
        fail(Overflow::Reply, limit);
        return;
    }
    if (streaming() && m_lineStart > m_bodyStart) {
        // Lines handed out as body leave the buffer.
        const qsizetype gone = m_lineStart - m_bodyStart;
        m_buf.remove(m_bodyStart, gone);
        m_lineStart -= gone;
        m_scanFrom -= gone;
    }
    if (replyStart > 0) {
        m_buf.remove(0, replyStart);
        m_lineStart -= replyStart;
        m_scanFrom -= replyStart;
        m_bodyStart -= replyStart;
    }
}

// A line of a streamed body that is long already goes out in part, so that
// no line of a mail is ever held whole. Such a line is no terminating line;
// a CR at its end stays, in case its LF follows.
void Pop3ReplyReader::streamLongLine()
{
    constexpr qsizetype PieceBytes = 64 * 1024;
    const qsizetype held = m_buf.size() - m_lineStart;
    if (held < PieceBytes)
        return;
    const qsizetype from = !m_lineContinues && m_buf.at(m_lineStart) == '.' ? m_lineStart + 1 : m_lineStart;
    const qsizetype to = m_buf.endsWith('\r') ? m_buf.size() - 1 : m_buf.size();
    m_body.append(m_buf.constData() + from, to - from);
    m_lineStart = to;
    m_lineContinues = true;
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

// Where the line being read ends (its CR LF), or -1 while it is incomplete.
// Looks for LF alone, which memchr finds fast, then for the CR before it;
// a CR at the very end is seen when its LF arrives.
qsizetype Pop3ReplyReader::nextLineEnd()
{
    for (;;) {
        const qsizetype lf = m_buf.indexOf('\n', m_scanFrom);
        if (lf < 0) {
            m_scanFrom = m_buf.size();
            return -1;
        }
        m_scanFrom = lf + 1;
        if (lf > m_lineStart && m_buf.at(lf - 1) == '\r')
            return lf - 1;
    }
}
