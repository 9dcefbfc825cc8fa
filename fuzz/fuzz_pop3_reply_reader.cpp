// Frames a server byte stream cut into chunks. Input: a count of expected
// replies and their kinds, whether multi-line bodies stream, the chunk
// lengths, then the stream itself. Framing must lose, add and reorder
// nothing, must not depend on where the cuts fall, and every reply must be
// shaped as its kind says; a streamed body is the content of the same reply
// read whole.

#include "FuzzInput.h"

#include "pop3/Pop3ReplyReader.h"

#include <QList>
#include <QStringList>

namespace {

using Kind = Pop3ReplyReader::Kind;

bool isErr(const QString &reply)
{
    return reply.left(4).compare(QLatin1String("-ERR"), Qt::CaseInsensitive) == 0;
}

void checkShape(const QString &reply, Kind kind)
{
    FUZZ_CHECK(reply.endsWith(QLatin1String("\r\n")));
    const qsizetype statusEnd = reply.indexOf(QLatin1String("\r\n"));
    if (kind == Kind::SingleLine || isErr(reply)) {
        FUZZ_CHECK(statusEnd + 2 == reply.size());
        return;
    }
    FUZZ_CHECK(reply.endsWith(QLatin1String("\r\n.\r\n")));
    // No line between the status line and the terminator is a lone ".".
    const QStringList lines = reply.mid(statusEnd + 2).split(QLatin1String("\r\n"));
    for (qsizetype i = 0; i + 2 < lines.size(); ++i)
        FUZZ_CHECK(lines.at(i) != QLatin1String("."));
    // Whatever the content, taking it apart must not fail.
    FUZZ_CHECK(Pop3ReplyReader::content(reply).size() <= reply.size());
}

QStringList drain(Pop3ReplyReader &reader)
{
    QStringList replies;
    while (reader.hasReply())
        replies.append(reader.takeReply());
    return replies;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int kindCount = in.byte() % 24;
    QList<Kind> kinds;
    for (int i = 0; i < kindCount; i += 8) {
        const uint8_t bits = in.byte();
        for (int b = 0; b < 8 && i + b < kindCount; ++b)
            kinds.append((bits >> b) & 1 ? Kind::MultiLine : Kind::SingleLine);
    }
    // Expectations normally precede the replies; sometimes they arrive only
    // after the first chunk, as when the stream outruns the commands.
    const uint8_t mode = kindCount > 0 ? in.byte() : 0;
    const bool late = mode & 1;
    const bool stream = !late && (mode & 2);
    QList<int> cuts;
    const int cutCount = in.byte() % 8;
    for (int i = 0; i < cutCount; ++i)
        cuts.append(in.byte() + 1);
    const QByteArray bytes = in.rest();
    const QString text = QString::fromLatin1(bytes);

    Pop3ReplyReader reader;
    if (!late)
        for (Kind k : kinds)
            reader.expect(stream && k == Kind::MultiLine ? Kind::StreamedMultiLine : k);
    QStringList replies;
    QByteArray body;
    qsizetype pos = 0;
    int cut = 0;
    bool first = true;
    qsizetype unasked = 0; // replies framed before any expectation was known
    while (pos < bytes.size()) {
        const qsizetype n = cuts.isEmpty() ? bytes.size() : cuts.at(cut++ % cuts.size());
        reader.feed(bytes.mid(pos, n));
        pos += n;
        body += reader.takeBody();
        replies += drain(reader);
        if (first && late) {
            unasked = replies.size();
            for (Kind k : kinds)
                reader.expect(k);
        }
        first = false;
        FUZZ_CHECK(!reader.hasReply() && reader.takeReply().isEmpty() && !reader.hasBody());
    }
    if (first && late)
        for (Kind k : kinds)
            reader.expect(k);

    // Where the cuts fall makes no difference, and a streamed body is the
    // content of the reply read whole.
    Pop3ReplyReader whole;
    for (Kind k : kinds)
        whole.expect(k);
    whole.feed(bytes);
    const QStringList wholeReplies = drain(whole);
    if (stream) {
        FUZZ_CHECK(wholeReplies.size() == replies.size());
        QByteArray wholeBody;
        for (qsizetype i = 0; i < replies.size() && i < wholeReplies.size(); ++i) {
            const QString &w = wholeReplies.at(i);
            if (i < kinds.size() && kinds.at(i) == Kind::MultiLine && !isErr(w)) {
                wholeBody += Pop3ReplyReader::content(w).toLatin1();
                FUZZ_CHECK(replies.at(i) == w.left(w.indexOf(QLatin1String("\r\n")) + 2) + QLatin1String(".\r\n"));
            } else {
                FUZZ_CHECK(replies.at(i) == w);
            }
        }
        // The body of an unfinished reply is out up to its last complete line.
        FUZZ_CHECK(body.startsWith(wholeBody));
        FUZZ_CHECK(reader.pendingSize() <= whole.pendingSize());
        FUZZ_CHECK(reader.expectedCount() == whole.expectedCount());
        return 0;
    }
    FUZZ_CHECK(body.isEmpty());

    // Nothing lost, added or reordered: the replies are the stream's prefix
    // and the rest waits for more.
    const QString joined = replies.join(QString());
    FUZZ_CHECK(joined.size() + reader.pendingSize() == text.size());
    FUZZ_CHECK(text.startsWith(joined));

    // Replies beyond the expected ones are taken as unasked one-liners.
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const qsizetype k = i - unasked;
        checkShape(replies.at(i), k < 0 || k >= kinds.size() ? Kind::SingleLine : kinds.at(k));
    }
    const qsizetype answered = replies.size() - unasked;
    FUZZ_CHECK(reader.expectedCount() == std::max<qsizetype>(0, kinds.size() - answered));

    if (!late) {
        FUZZ_CHECK(wholeReplies == replies);
        FUZZ_CHECK(whole.pendingSize() == reader.pendingSize());
    }
    return 0;
}
