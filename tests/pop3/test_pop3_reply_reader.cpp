// Framing of POP3 replies on the joined stream, whatever the chunking.

#include "pop3/Pop3Command.h"
#include "pop3/Pop3ReplyReader.h"
#include "Pop3Scripts.h"

#include <QtTest>

Q_DECLARE_METATYPE(Pop3ReplyReader::Overflow)

namespace {

struct Outcome
{
    QStringList replies;
    QByteArray body;
    QString failure;
};

// What a reply is when its body streams: status and terminating lines only.
QString streamedShape(const QString &reply)
{
    if (Pop3ReplyReader::isError(reply))
        return reply;
    return reply.left(reply.indexOf(QLatin1String("\r\n")) + 2) + QStringLiteral(".\r\n");
}

bool streams(const QStringList &sent, int reply, bool streamed)
{
    return streamed && reply < sent.size() && sent.at(reply) != QLatin1String("greeting")
           && Pop3Command::expectsMultiLine(sent.at(reply));
}

// The body a streaming reader must have handed out once `fed` bytes of the
// stream are in: every complete line of every streamed body, no more.
QByteArray bodyDue(const QStringList &sent, const QStringList &replies, bool streamed, int fed)
{
    QByteArray due;
    int start = 0;
    for (int i = 0; i < replies.size(); ++i) {
        const QByteArray reply = replies.at(i).toLatin1();
        if (streams(sent, i, streamed) && !Pop3ReplyReader::isError(replies.at(i))) {
            const int bodyStart = start + int(reply.indexOf("\r\n")) + 2;
            const int limit = qMin(fed, start + int(reply.size()) - 3);
            QByteArray lines = QByteArray(reply).mid(bodyStart - start, qMax(0, limit - bodyStart));
            const qsizetype lastEnd = lines.lastIndexOf("\r\n");
            lines.truncate(lastEnd < 0 ? 0 : lastEnd + 2);
            due += Pop3ReplyReader::dotUnstuff(QString::fromLatin1(lines)).toLatin1();
        }
        start += int(reply.size());
    }
    return due;
}

// Feeds the chunks and checks after each one that exactly the replies
// whose last byte has arrived are out, and with a streaming reader that
// every complete body line is out.
Outcome run(const QStringList &sent, const QList<QByteArray> &chunks, const QStringList &expected,
            bool streamed = false)
{
    Pop3ReplyReader reader;
    for (int i = 0; i < sent.size(); ++i) {
        const QString &line = sent.at(i);
        if (line == QLatin1String("greeting"))
            reader.expectGreeting();
        else if (streams(sent, i, streamed) && Pop3Command::verbOf(line) != QLatin1String("RETR"))
            reader.expect(Pop3ReplyReader::Kind::StreamedMultiLine);
        else if (streamed || !Pop3Command::expectsMultiLine(line))
            reader.commandSent(line); // RETR's body streams by itself
        else
            reader.expect(Pop3ReplyReader::Kind::MultiLine);
    }
    QList<int> ends;
    int total = 0;
    for (const QString &r : expected)
        ends.append(total += int(r.size()));

    Outcome out;
    int fed = 0;
    for (const QByteArray &chunk : chunks) {
        reader.feed(chunk);
        fed += int(chunk.size());
        // All of a reply's body comes out before its reply.
        out.body += reader.takeBody();
        while (reader.hasReply())
            out.replies.append(reader.takeReply());
        const int due = int(std::count_if(ends.begin(), ends.end(), [fed](int e) { return e <= fed; }));
        if (out.replies.size() != due && out.failure.isEmpty())
            out.failure = QStringLiteral("after %1 bytes %2 replies out, %3 due")
                              .arg(fed)
                              .arg(out.replies.size())
                              .arg(due);
        if (out.failure.isEmpty() && out.body != bodyDue(sent, expected, streamed, fed))
            out.failure = QStringLiteral("after %1 bytes %2 body octets out, %3 due")
                              .arg(fed)
                              .arg(out.body.size())
                              .arg(bodyDue(sent, expected, streamed, fed).size());
    }
    if (out.failure.isEmpty() && reader.pendingSize() != 0)
        out.failure = QStringLiteral("%1 characters left unframed").arg(reader.pendingSize());
    if (out.failure.isEmpty() && reader.expectedCount() != 0)
        out.failure = QStringLiteral("%1 replies still expected").arg(reader.expectedCount());
    return out;
}

} // namespace

class TestPop3ReplyReader : public QObject
{
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void unframedDataWaits();
    void clearForgetsEverything();
    void bigReplyInSmallChunks();
    void limits_data();
    void limits();
    void longLineOfAStreamedMail_data();
    void longLineOfAStreamedMail();
    void millionMailListings();
    void content_data();
    void content();
    void isError_data();
    void isError();
    void commandLine_data();
    void commandLine();
    void commandName_data();
    void commandName();
    void replyKind_data();
    void replyKind();
};

void TestPop3ReplyReader::framing_data()
{
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("replies");

    const QString greeting = QStringLiteral("greeting");
    QTest::newRow("greeting") << QStringList{greeting} << QStringList{"+OK Dovecot ready.\r\n"};
    QTest::newRow("login replies in a row")
        << QStringList{greeting, "USER bob\r\n", "PASS pw\r\n", "STAT \r\n"}
        << QStringList{"+OK ready\r\n", "+OK\r\n", "+OK Logged in.\r\n", "+OK 2 320\r\n"};
    QTest::newRow("uidl listing")
        << QStringList{"UIDL \r\n"}
        << QStringList{"+OK\r\n1 000000016b1a1c4b\r\n2 000000026b1a1c4b\r\n.\r\n"};
    QTest::newRow("uidl id ending in a dot")
        << QStringList{"UIDL \r\n", "LIST \r\n"}
        << QStringList{"+OK\r\n1 abc.\r\n2 .\r\n3 x.\r\n.\r\n", "+OK 3 messages\r\n1 1\r\n2 2\r\n3 3\r\n.\r\n"};
    QTest::newRow("empty listing") << QStringList{"LIST \r\n"} << QStringList{"+OK 0 messages\r\n.\r\n"};
    QTest::newRow("list of all then list of one")
        << QStringList{"LIST \r\n", "LIST 7\r\n", "RETR 7\r\n"}
        << QStringList{"+OK 2 messages:\r\n1 100\r\n2 200\r\n.\r\n", "+OK 7 300\r\n",
                       "+OK 300 octets\r\nSubject: x\r\n\r\nbody\r\n.\r\n"};
    QTest::newRow("body lines that look like status or end")
        << QStringList{"RETR 1\r\n", "QUIT \r\n"}
        << QStringList{"+OK 80 octets\r\n-ERR not a status\r\n..\r\n..hidden\r\n. \r\n+OK\r\n .\r\n.\r\n",
                       "+OK Logging out.\r\n"};
    QTest::newRow("bare CR and LF inside a body")
        << QStringList{"TOP 3 10\r\n"}
        << QStringList{"+OK\r\nSubject: a\rb\n.\r\nstill body\r\n\r\n.\r\n"};
    QTest::newRow("header only top") << QStringList{"TOP 1 10\r\n"}
                                     << QStringList{"+OK\r\nSubject: x\r\nFrom: y\r\n\r\n.\r\n"};
    QTest::newRow("refused multi-line reply is one line")
        << QStringList{"RETR 9\r\n", "QUIT \r\n"}
        << QStringList{"-ERR There's no message 9.\r\n", "+OK Logging out.\r\n"};
    QTest::newRow("refusal in lower case")
        << QStringList{"TOP 1 10\r\n", "LIST \r\n"}
        << QStringList{"-err no\r\n", "+OK\r\n1 10\r\n.\r\n"};
    QTest::newRow("uidl refused then list")
        << QStringList{"UIDL \r\n", "LIST \r\n"}
        << QStringList{"-ERR Unknown command: UIDL\r\n", "+OK 1 messages:\r\n1 42\r\n.\r\n"};
    QTest::newRow("refused password then rset and quit")
        << QStringList{"PASS bad\r\n", "RSET \r\n", "QUIT \r\n"}
        << QStringList{"-ERR [AUTH] Authentication failed.\r\n", "-ERR Unknown command.\r\n",
                       "+OK Logging out\r\n"};
    QTest::newRow("rset and quit back to back")
        << QStringList{"RSET \r\n", "QUIT \r\n"} << QStringList{"+OK\r\n", "+OK Logging out.\r\n"};
    QTest::newRow("deletions") << QStringList{"DELE 1\r\n", "DELE 2\r\n", "QUIT \r\n"}
                               << QStringList{"+OK Marked to be deleted.\r\n", "-ERR Message is deleted.\r\n",
                                              "+OK Logging out, messages deleted.\r\n"};
    QTest::newRow("unasked line") << QStringList{}
                                  << QStringList{"-ERR Disconnected for inactivity.\r\n", "+OK\r\n"};
    QTest::newRow("unasked line after the expected replies")
        << QStringList{"UIDL \r\n"} << QStringList{"+OK\r\n1 a\r\n.\r\n", "-ERR Disconnected for inactivity.\r\n"};
}

void TestPop3ReplyReader::framing()
{
    QFETCH(QStringList, sent);
    QFETCH(QStringList, replies);
    const QByteArray stream = replies.join(QString()).toLatin1();

    struct Cut
    {
        const char *name;
        QList<QByteArray> chunks;
    };
    using Pop3Scripts::cut;
    QList<Cut> cuts{{"whole", cut(stream, Pop3Scripts::Cut::Whole)},
                    {"bytes", cut(stream, Pop3Scripts::Cut::Bytes)},
                    {"cr|lf", cut(stream, Pop3Scripts::Cut::SplitCrLf)},
                    {"terminators", cut(stream, Pop3Scripts::Cut::Terminators)}};
    for (int size : {2, 3, 5, 7})
        cuts.append({"fixed size", ScriptedPop3Server::chunksOf(stream, size)});
    for (int at = 1; at < stream.size(); ++at)
        cuts.append({"two pieces", ScriptedPop3Server::splitAt(stream, {at})});

    QStringList streamedReplies;
    QByteArray streamedBody;
    for (int i = 0; i < replies.size(); ++i) {
        const bool streamed = streams(sent, i, true);
        streamedReplies << (streamed ? streamedShape(replies.at(i)) : replies.at(i));
        if (streamed)
            streamedBody += Pop3ReplyReader::content(replies.at(i)).toLatin1();
    }
    for (const bool streamed : {false, true}) {
        for (const Cut &cut : cuts) {
            const Outcome out = run(sent, cut.chunks, replies, streamed);
            const QByteArray where = QByteArray(streamed ? "streamed, " : "") + cut.name + " (first chunk "
                                     + QByteArray::number(cut.chunks.value(0).size()) + " bytes): ";
            QVERIFY2(out.failure.isEmpty(), (where + out.failure.toLatin1()).constData());
            QVERIFY2(out.replies == (streamed ? streamedReplies : replies), (where + "replies differ").constData());
            QVERIFY2(out.body == (streamed ? streamedBody : QByteArray()), (where + "body differs").constData());
        }
    }
}

void TestPop3ReplyReader::unframedDataWaits()
{
    Pop3ReplyReader reader;
    reader.commandSent(QStringLiteral("TOP 1 10\r\n"));
    reader.feed(QByteArray("+OK 5 octets\r\nabc\r\n.\r"));
    QVERIFY(!reader.hasReply());
    QCOMPARE(reader.takeReply(), QString());
    QCOMPARE(reader.expectedCount(), 1);
    reader.feed(QByteArray("\n"));
    QCOMPARE(reader.replyCount(), 1);
    QCOMPARE(reader.takeReply(), QStringLiteral("+OK 5 octets\r\nabc\r\n.\r\n"));
    QCOMPARE(reader.expectedCount(), 0);
}

void TestPop3ReplyReader::clearForgetsEverything()
{
    Pop3ReplyReader reader;
    reader.commandSent(QStringLiteral("UIDL \r\n"));
    reader.feed(QByteArray("+OK\r\n1 a\r\n"));
    reader.clear();
    QCOMPARE(reader.pendingSize(), 0);
    QCOMPARE(reader.expectedCount(), 0);
    // A new connection: its greeting is not taken for the rest of a listing.
    reader.expectGreeting();
    reader.commandSent(QStringLiteral("USER a\r\n"));
    reader.feed(QByteArray("+OK ready\r\n+OK\r\n"));
    QCOMPARE(reader.takeReply(), QStringLiteral("+OK ready\r\n"));
    QCOMPARE(reader.takeReply(), QStringLiteral("+OK\r\n"));
    QVERIFY(!reader.hasReply());
}

void TestPop3ReplyReader::bigReplyInSmallChunks()
{
    // About 20 MB of mail, with dot-stuffed lines, arriving in 4 KiB pieces.
    QByteArray message;
    QByteArray wire = "+OK octets\r\n";
    for (int i = 0; message.size() < 20 * 1024 * 1024; ++i) {
        const QByteArray line = (i % 97 == 0 ? QByteArray(".dotted line ") : QByteArray("line "))
                                + QByteArray::number(i) + " 0123456789abcdefghijklmnopqrstuvwxyz\r\n";
        message += line;
        wire += line.startsWith('.') ? '.' + line : line;
    }
    wire += ".\r\n+OK Logging out.\r\n";

    for (const bool streamed : {false, true}) {
        Pop3ReplyReader reader;
        if (streamed)
            reader.commandSent(QStringLiteral("RETR 1\r\n"));
        else
            reader.expect(Pop3ReplyReader::Kind::MultiLine, true); // held whole, as only a listing may be
        reader.commandSent(QStringLiteral("QUIT \r\n"));
        QStringList replies;
        QByteArray body;
        int mostHeld = 0;
        for (qsizetype pos = 0; pos < wire.size(); pos += 4096) {
            reader.feed(wire.mid(pos, 4096));
            mostHeld = qMax(mostHeld, reader.pendingSize());
            body += reader.takeBody();
            while (reader.hasReply())
                replies.append(reader.takeReply());
        }
        QCOMPARE(replies.size(), 2);
        QCOMPARE(replies.at(1), QStringLiteral("+OK Logging out.\r\n"));
        if (streamed) {
            // Only the status line and an unfinished line wait in the reader.
            QCOMPARE(replies.at(0), QStringLiteral("+OK octets\r\n.\r\n"));
            QVERIFY(body == message);
            QVERIFY2(mostHeld < 200, QByteArray::number(mostHeld).constData());
        } else {
            QVERIFY(Pop3ReplyReader::content(replies.at(0)) == QString::fromLatin1(message));
            QVERIFY(body.isEmpty());
        }
    }
}

using Overflow = Pop3ReplyReader::Overflow;

// Small limits, so that every boundary is a few bytes away: lines of 16
// octets, held replies of 40, listings of 64.
const Pop3ReplyReader::Limits SmallLimits{16, 40, 64};

void TestPop3ReplyReader::limits_data()
{
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("before"); // the replies complete before the overflow
    QTest::addColumn<Overflow>("overflow");
    QTest::addColumn<int>("limit");

    const QString greeting = QStringLiteral("greeting");
    const QStringList none;
    QTest::newRow("status line of 16") << QStringList{greeting} << QByteArray("+OK 0123456789\r\n")
                                       << QStringList{"+OK 0123456789\r\n"} << Overflow::None << 0;
    QTest::newRow("status line of 17") << QStringList{greeting} << QByteArray("+OK 01234567890\r\n") << none
                                       << Overflow::Line << 16;
    QTest::newRow("a greeting that never ends its line")
        << QStringList{greeting} << QByteArray("+OK ").append(100, 'x') << none << Overflow::Line << 16;
    QTest::newRow("unasked lines are lines") << QStringList{} << QByteArray("-ERR 0123456789012\r\n") << none
                                             << Overflow::Line << 16;
    QTest::newRow("one line of a listing") << QStringList{"UIDL \r\n"}
                                           << QByteArray("+OK\r\n1 0123456789abcd\r\n.\r\n") << none
                                           << Overflow::Line << 16;
    // 5 + 10 * 5 + 6 + 3 octets, then one more.
    const QByteArray listing64 = "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n5 e\r\n6 f\r\n7 g\r\n8 h\r\n9 i\r\n0 j\r\n1 kk\r\n.\r\n";
    Q_ASSERT(listing64.size() == 64);
    const QByteArray listing65 = QByteArray(listing64).insert(8, 'a');
    QTest::newRow("listing of 64") << QStringList{"UIDL \r\n"} << listing64
                                   << QStringList{QString::fromLatin1(listing64)} << Overflow::None << 0;
    QTest::newRow("listing of 65") << QStringList{"LIST \r\n"} << listing65 << none << Overflow::Reply << 64;
    QByteArray endless = "+OK\r\n";
    for (int i = 0; i < 20; ++i)
        endless += "1 a\r\n";
    QTest::newRow("a listing that never ends") << QStringList{"UIDL \r\n"} << endless << none << Overflow::Reply
                                               << 64;
    QTest::newRow("a header is no listing") << QStringList{"TOP 1 10\r\n"}
                                            << QByteArray("+OK\r\nFrom: a\r\nSubject: b\r\nDate: Mon 1\r\n.\r\n") << none
                                            << Overflow::Reply << 40;
    QTest::newRow("a capability list is no listing")
        << QStringList{"CAPA\r\n"} << QByteArray("+OK\r\nTOP\r\nUIDL\r\nUSER\r\nSASL PLAIN\r\nSTLS\r\n.\r\n")
        << none << Overflow::Reply << 40;
    QTest::newRow("the replies before it are kept")
        << QStringList{greeting, "USER bob\r\n", "PASS pw\r\n"}
        << QByteArray("+OK ready\r\n+OK\r\n+OK ").append(64, 'x') << QStringList{"+OK ready\r\n", "+OK\r\n"}
        << Overflow::Line << 16;
    QTest::newRow("what follows it is dropped")
        << QStringList{"STAT \r\n", "QUIT \r\n"} << QByteArray("+OK 2 0123456789012345\r\n+OK bye\r\n") << none
        << Overflow::Line << 16;
    QTest::newRow("a mail's lines stream, however long")
        << QStringList{"RETR 1\r\n"}
        << QByteArray("+OK\r\n").append(200, 'm').append("\r\n..dot\r\n").append(100, 'n').append("\r\n.\r\n")
        << QStringList{"+OK\r\n.\r\n"} << Overflow::None << 0;
    QTest::newRow("a mail's status line is a line")
        << QStringList{"RETR 1\r\n"} << QByteArray("+OK 0123456789 octets\r\nbody\r\n.\r\n") << none
        << Overflow::Line << 16;
}

void TestPop3ReplyReader::limits()
{
    QFETCH(QStringList, sent);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, before);
    QFETCH(Overflow, overflow);
    QFETCH(int, limit);

    QList<QList<QByteArray>> cuts{{stream}, ScriptedPop3Server::chunksOf(stream, 1),
                                  ScriptedPop3Server::chunksOf(stream, 7)};
    for (int at = 1; at < stream.size(); ++at)
        cuts.append(ScriptedPop3Server::splitAt(stream, {at}));
    for (const QList<QByteArray> &chunks : cuts) {
        Pop3ReplyReader reader;
        reader.setLimits(SmallLimits);
        for (const QString &line : sent) {
            if (line == QLatin1String("greeting"))
                reader.expectGreeting();
            else
                reader.commandSent(line);
        }
        QStringList replies;
        for (const QByteArray &chunk : chunks) {
            reader.feed(chunk);
            reader.takeBody();
            while (reader.hasReply())
                replies << reader.takeReply();
        }
        const QByteArray where = "first chunk of " + QByteArray::number(chunks.first().size()) + " bytes";
        QVERIFY2(reader.overflow() == overflow, where.constData());
        QVERIFY2(reader.overflowLimit() == limit, where.constData());
        QVERIFY2(replies == before, where.constData());
        if (overflow != Overflow::None) {
            // Nothing more is read, until a new connection.
            QCOMPARE(reader.pendingSize(), 0);
            reader.feed(QByteArray("+OK\r\n"));
            QVERIFY(!reader.hasReply());
            reader.clear();
            QVERIFY(reader.overflow() == Overflow::None);
            reader.expectGreeting();
            reader.feed(QByteArray("+OK\r\n"));
            QCOMPARE(reader.takeReply(), QStringLiteral("+OK\r\n"));
        }
    }
}

void TestPop3ReplyReader::longLineOfAStreamedMail_data()
{
    QTest::addColumn<int>("chunkSize");
    QTest::newRow("4 KiB pieces") << 4096;
    QTest::newRow("odd pieces") << 4099;
    QTest::newRow("one piece") << 0;
}

// A mail whose lines are megabytes long (HTML without line breaks) streams
// all the same, a piece at a time, whatever a line may hold otherwise.
void TestPop3ReplyReader::longLineOfAStreamedMail()
{
    QFETCH(int, chunkSize);
    QByteArray message = "Subject: long\r\n\r\n";
    message += '.' + QByteArray(3 * 1024 * 1024, 'h') + "\r\n";
    message += QByteArray(64 * 1024 - 1, 'c') + "\r\n"; // its CR where a piece ends
    message += QByteArray(2 * 1024 * 1024, 'x') + "\r\n.\r\n";
    QByteArray wire = "+OK\r\n";
    for (const QByteArray &line : message.split('\n')) {
        if (!line.isEmpty())
            wire += (line.startsWith('.') ? "." : "") + line + '\n';
    }
    wire += ".\r\n";

    Pop3ReplyReader reader;
    reader.setLimits({1024, 1024, 1024});
    reader.commandSent(QStringLiteral("RETR 1\r\n"));
    QByteArray body;
    qsizetype mostHeld = 0;
    const qsizetype step = chunkSize > 0 ? chunkSize : wire.size();
    for (qsizetype pos = 0; pos < wire.size(); pos += step) {
        reader.feed(wire.mid(pos, step));
        mostHeld = qMax<qsizetype>(mostHeld, reader.pendingSize());
        body += reader.takeBody();
    }
    QVERIFY(reader.overflow() == Overflow::None);
    QCOMPARE(reader.takeReply(), QStringLiteral("+OK\r\n.\r\n"));
    QCOMPARE(body.size(), message.size());
    QVERIFY(body == message);
    if (chunkSize > 0)
        QVERIFY2(mostHeld < 64 * 1024 + chunkSize, QByteArray::number(mostHeld).constData());
}

// The default limits hold the listings of a mailbox of a million mails with
// the longest ids POP3 allows (70 characters).
void TestPop3ReplyReader::millionMailListings()
{
    constexpr int Mails = 1000000;
    QByteArray uidl = "+OK\r\n";
    QByteArray list = "+OK 1000000 messages\r\n";
    uidl.reserve(Mails * 80 + 16);
    list.reserve(Mails * 20 + 32);
    const QByteArray id(62, 'u');
    for (int n = 1; n <= Mails; ++n) {
        uidl += QByteArray::number(n) + ' ' + id + QByteArray::number(n).rightJustified(8, '0') + "\r\n";
        list += QByteArray::number(n) + " 1234567890\r\n";
    }
    uidl += ".\r\n";
    list += ".\r\n";
    QVERIFY(uidl.size() > 78 * Mails);

    Pop3ReplyReader reader;
    reader.commandSent(QStringLiteral("UIDL \r\n"));
    reader.commandSent(QStringLiteral("LIST \r\n"));
    const QByteArray stream = uidl + list;
    for (qsizetype pos = 0; pos < stream.size(); pos += 1024 * 1024)
        reader.feed(stream.mid(pos, 1024 * 1024));
    QVERIFY(reader.overflow() == Overflow::None);
    QCOMPARE(reader.replyCount(), 2);
    QCOMPARE(reader.takeReply().size(), uidl.size());
    QCOMPARE(reader.takeReply().size(), list.size());
}

void TestPop3ReplyReader::content_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("stripped");
    QTest::addColumn<QString>("content");

    QTest::newRow("empty listing") << "+OK\r\n.\r\n" << "" << "";
    QTest::newRow("one line") << "+OK 3 octets\r\nabc\r\n.\r\n" << "abc\r\n" << "abc\r\n";
    QTest::newRow("stuffed lines") << "+OK\r\n..\r\n...x\r\n..y\r\n.\r\n"
                                   << "..\r\n...x\r\n..y\r\n" << ".\r\n..x\r\n.y\r\n";
    QTest::newRow("dots inside lines stay") << "+OK\r\na.b\r\n x.\r\n.\r\n" << "a.b\r\n x.\r\n"
                                            << "a.b\r\n x.\r\n";
    QTest::newRow("empty lines kept") << "+OK\r\nSubject: s\r\n\r\n\r\nbody\r\n.\r\n"
                                      << "Subject: s\r\n\r\n\r\nbody\r\n" << "Subject: s\r\n\r\n\r\nbody\r\n";
    QTest::newRow("latin-1 octets") << QString::fromLatin1("+OK\r\n\xe9t\xe9\r\n..\xff\r\n.\r\n")
                                    << QString::fromLatin1("\xe9t\xe9\r\n..\xff\r\n")
                                    << QString::fromLatin1("\xe9t\xe9\r\n.\xff\r\n");
    QTest::newRow("refusal has no content") << "-ERR no such message\r\n" << "" << "";
}

void TestPop3ReplyReader::content()
{
    QFETCH(QString, reply);
    QFETCH(QString, stripped);
    QFETCH(QString, content);
    QCOMPARE(Pop3ReplyReader::stripStatusAndTerminator(reply), stripped);
    QCOMPARE(Pop3ReplyReader::dotUnstuff(stripped), content);
    QCOMPARE(Pop3ReplyReader::content(reply), content);
}

void TestPop3ReplyReader::isError_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("error");
    QTest::newRow("upper") << "-ERR x\r\n" << true;
    QTest::newRow("lower") << "-err\r\n" << true;
    QTest::newRow("mixed") << "-Err x\r\n" << true;
    QTest::newRow("ok") << "+OK\r\n" << false;
    QTest::newRow("short") << "-ER" << false;
    QTest::newRow("error text in a body") << "+OK\r\n-ERR\r\n.\r\n" << false;
}

void TestPop3ReplyReader::isError()
{
    QFETCH(QString, reply);
    QFETCH(bool, error);
    QCOMPARE(Pop3ReplyReader::isError(reply), error);
}

void TestPop3ReplyReader::commandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("user") << Pop3Command::line("USER", "name") << "USER name\r\n";
    QTest::newRow("pass keeps blanks") << Pop3Command::line("PASS ", " pw x") << "PASS  pw x\r\n";
    QTest::newRow("stat keeps its blank") << Pop3Command::line("STAT") << "STAT \r\n";
    QTest::newRow("verb with its blank") << Pop3Command::line("LIST ") << "LIST \r\n";
    QTest::newRow("list one") << Pop3Command::line("LIST", 7) << "LIST 7\r\n";
    QTest::newRow("top") << Pop3Command::line("TOP ", 12, 10) << "TOP 12 10\r\n";
    QTest::newRow("beyond 16 bits") << Pop3Command::line("DELE", 40000) << "DELE 40000\r\n";
    QTest::newRow("capa has no blank") << Pop3Command::bareLine(Pop3Command::Verb::Capa) << "CAPA\r\n";
    QTest::newRow("stls has no blank") << Pop3Command::bareLine(Pop3Command::Verb::Stls) << "STLS\r\n";
    QTest::newRow("a verb kept with its blank loses it") << Pop3Command::bareLine("NOOP ") << "NOOP\r\n";
}

void TestPop3ReplyReader::commandLine()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(line, expected);
}

void TestPop3ReplyReader::replyKind_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("multiLine");
    for (const char *one : {"USER a\r\n", "PASS b\r\n", "STAT \r\n", "LIST 7\r\n", "UIDL 3\r\n",
                            "DELE 1\r\n", "RSET \r\n", "QUIT \r\n", "NOOP\r\n", "STLS\r\n"})
        QTest::newRow(one) << QString::fromLatin1(one) << false;
    for (const char *multi : {"LIST \r\n", "LIST\r\n", "UIDL \r\n", "TOP 12 10\r\n", "RETR 4\r\n", "retr 4\r\n", "CAPA\r\n"})
        QTest::newRow(multi) << QString::fromLatin1(multi) << true;
}

void TestPop3ReplyReader::commandName_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::newRow("with an argument") << "LIST 3\r\n" << "LIST ";
    QTest::newRow("without") << "STAT \r\n" << "STAT ";
    QTest::newRow("two arguments") << "TOP 12 10\r\n" << "TOP ";
    QTest::newRow("lower case") << "quit \r\n" << "QUIT ";
    QTest::newRow("no blank") << "CAPA\r\n" << "CAPA ";
}

void TestPop3ReplyReader::commandName()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QCOMPARE(Pop3Command::commandName(line), name);
}

void TestPop3ReplyReader::replyKind()
{
    QFETCH(QString, line);
    QFETCH(bool, multiLine);
    QCOMPARE(Pop3Command::expectsMultiLine(line), multiLine);
}

QTEST_GUILESS_MAIN(TestPop3ReplyReader)
#include "test_pop3_reply_reader.moc"
