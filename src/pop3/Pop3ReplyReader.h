#pragma once
// Frames the POP3 byte stream into whole replies. Replies are cut by lines
// on the joined stream, never by how the bytes happened to arrive: a status
// line ends at its CR LF, a multi-line reply at a line holding only ".",
// and whatever follows belongs to the next reply. Which kind of reply comes
// next is known from the commands sent, so every sender records its command
// here; the greeting is expected first.
//
// The stream is kept as octets; replies are handed out as Latin-1 text, one
// character per octet, so nothing of a mail is altered on its way through.
// The body of a streamed multi-line reply (a whole mail) is never held
// whole: it is dot-unstuffed line by line as the octets arrive and handed
// out in pieces, a very long line in pieces of its own.
//
// What is held is bounded: a server may send anything, for ever. A line
// longer than a line may be, or a reply longer than its kind may be, ends
// the reading; the replies complete before it can still be taken.

#include <QByteArray>
#include <QQueue>
#include <QString>

class Pop3ReplyReader
{
public:
    // StreamedMultiLine: a multi-line reply whose body goes out through
    // takeBody(); its reply is the status line and the terminating line.
    enum class Kind { SingleLine, MultiLine, StreamedMultiLine };

    // Octets held at most, terminators included. A status line is a line,
    // and a one-line reply no longer than one. The listings of UIDL and LIST
    // must hold a mailbox of a million mails: 70-character ids make about
    // 80 bytes a line, 80 MB in all. Any other multi-line reply that is held
    // (a mail's header from TOP, the capability list) is far shorter. A
    // streamed body is bounded by whoever takes it.
    struct Limits
    {
        qsizetype lineBytes = 4 * 1024 * 1024;
        qsizetype replyBytes = 16 * 1024 * 1024;
        qsizetype listingBytes = 128 * 1024 * 1024;
    };
    enum class Overflow { None, Line, Reply };

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    // Forgets expected replies, buffered data and an overflow (a new
    // connection); the limits stay.
    void clear();

    // A held multi-line reply of this kind may be as long as replyBytes;
    // a listing's as listingBytes.
    void expect(Kind kind, bool listing = false);
    void expectGreeting() { expect(Kind::SingleLine); }
    // Expects the reply to this command line (as sent, e.g. "LIST \r\n");
    // RETR's reply streams, UIDL's and LIST's are listings.
    void commandSent(const QString &commandLine);
    int expectedCount() const { return int(m_expected.size()); }
    // The reply awaited next is multi-line (held or streamed).
    bool awaitsMultiLine() const;
    // Replies completed since the reader was made: it changes whenever a
    // reply has come whole.
    qint64 completedCount() const { return m_completed; }

    // Set when the server sent more than the limits allow; from then on
    // nothing more is read until clear().
    Overflow overflow() const { return m_overflow; }
    // The limit that was passed.
    qsizetype overflowLimit() const { return m_overflowLimit; }

    void feed(const QByteArray &chunk);
    void feed(const QString &chunk) { feed(chunk.toLatin1()); }

    bool hasReply() const { return !m_ready.isEmpty(); }
    int replyCount() const { return int(m_ready.size()); }
    // The oldest complete reply, status line through terminating line with
    // their CR LF; empty when there is none.
    QString takeReply();
    // Octets received that belong to no complete reply yet and have not
    // gone out as body.
    int pendingSize() const { return int(m_buf.size()); }

    // The content of streamed replies that arrived since the last call:
    // complete lines with their CR LF, dot-unstuffed, without status and
    // terminating lines. All pieces of a reply are out before its reply.
    QByteArray takeBody();
    bool hasBody() const { return !m_body.isEmpty(); }

    // A reply whose status line starts with "-ERR" in any letter case.
    static bool isError(const QString &reply);
    // The lines after the status line, without the terminating "." line;
    // still dot-stuffed.
    static QString stripStatusAndTerminator(const QString &reply);
    // Removes the dot that the server put before every line starting with
    // a dot.
    static QString dotUnstuff(const QString &body);
    // The content of a multi-line reply as the server holds it: status and
    // terminating lines removed, dot-unstuffed.
    static QString content(const QString &reply);

private:
    struct Expected
    {
        Kind kind;
        bool listing;
    };

    void scan();
    qsizetype nextLineEnd();
    bool streaming() const;
    // The most a reply at the head of the queue may hold; -1 for no bound.
    qsizetype replyLimit() const;
    void streamLongLine();
    void fail(Overflow overflow, qsizetype limit);

    Limits m_limits;
    QQueue<Expected> m_expected;
    QQueue<QByteArray> m_ready;
    // Unframed octets; starts at the beginning of the reply being collected.
    QByteArray m_buf;
    QByteArray m_body;
    qsizetype m_lineStart = 0; // start of the line being read
    qsizetype m_scanFrom = 0;  // where the search for the next CR LF resumes
    qsizetype m_bodyStart = 0; // end of a streamed reply's status line
    bool m_inBody = false;
    // The line being read has gone out in part already (a streamed body).
    bool m_lineContinues = false;
    qint64 m_completed = 0;
    Overflow m_overflow = Overflow::None;
    qsizetype m_overflowLimit = 0;
};
