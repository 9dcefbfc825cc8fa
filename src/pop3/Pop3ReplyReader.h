#pragma once
// Frames the POP3 byte stream into whole replies. Replies are cut by lines
// on the joined stream, never by how the bytes happened to arrive: a status
// line ends at its CR LF, a multi-line reply at a line holding only ".",
// and whatever follows belongs to the next reply. Which kind of reply comes
// next is known from the commands sent, so every sender records its command
// here; the greeting is expected first.
//
// Text is the socket's Latin-1 text: one character per octet, so nothing of
// a mail is altered on its way through.

#include <QByteArray>
#include <QQueue>
#include <QString>

class Pop3ReplyReader
{
public:
    enum class Kind { SingleLine, MultiLine };

    // Forgets expected replies and buffered data (a new connection).
    void clear();

    void expect(Kind kind);
    void expectGreeting() { expect(Kind::SingleLine); }
    // Expects the reply to this command line (as sent, e.g. "LIST \r\n").
    void commandSent(const QString &commandLine);
    int expectedCount() const { return int(m_expected.size()); }

    void feed(const QString &chunk);
    void feed(const QByteArray &chunk) { feed(QString::fromLatin1(chunk)); }

    bool hasReply() const { return !m_ready.isEmpty(); }
    int replyCount() const { return int(m_ready.size()); }
    // The oldest complete reply, status line through terminating line with
    // their CR LF; empty when there is none.
    QString takeReply();
    // Characters received that belong to no complete reply yet.
    int pendingSize() const { return int(m_buf.size()); }

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
    void scan();

    QQueue<Kind> m_expected;
    QQueue<QString> m_ready;
    // Unframed text; starts at the beginning of the reply being collected.
    QString m_buf;
    int m_lineStart = 0; // start of the line being read
    int m_scanFrom = 0;  // where the search for the next CR LF resumes
    bool m_inBody = false;
};
