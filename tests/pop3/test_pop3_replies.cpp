// The fields the window reads out of STAT and TOP replies, and the lines
// of a listing.

#include "pop3/Pop3Replies.h"

#include <QtTest>

#include <limits>

class TestPop3Replies : public QObject
{
    Q_OBJECT
private slots:
    void statFields_data();
    void statFields();
    void boundedMailCount_data();
    void boundedMailCount();
    void topHeaderFields_data();
    void topHeaderFields();
    void replyLines_data();
    void replyLines();
};

void TestPop3Replies::statFields_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("size");
    QTest::newRow("plain") << "+OK 2 320\r\n" << "2" << "320";
    QTest::newRow("no line end") << "+OK 7 1000" << "7" << "1000";
    QTest::newRow("more pieces") << "+OK 3 90 extra words\r\n" << "3" << "90";
    QTest::newRow("size missing") << "+OK 5\r\n" << "5" << "";
    QTest::newRow("nothing after +OK") << "+OK\r\n" << "" << "";
    QTest::newRow("two blanks keep an empty piece") << "+OK  4 10\r\n" << "" << "4";
    QTest::newRow("beyond 64 bits stays text") << "+OK 99999999999999999999999 1\r\n"
                                                << "99999999999999999999999" << "1";
    QTest::newRow("garbage") << "+OK lots many\r\n" << "lots" << "many";
}

void TestPop3Replies::statFields()
{
    QFETCH(QString, reply);
    QFETCH(QString, count);
    QFETCH(QString, size);
    const Pop3Replies::StatFields fields = Pop3Replies::statFields(reply);
    QCOMPARE(fields.count, count);
    QCOMPARE(fields.size, size);
}

void TestPop3Replies::boundedMailCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("some") << "12" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative") << "-3" << 0;
    QTest::newRow("fraction cut") << "4.9" << 4;
    QTest::newRow("leading number of a word") << "6abc" << 6;
    QTest::newRow("not a number") << "lots" << 0;
    QTest::newRow("largest int") << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("beyond int") << "2147483648" << std::numeric_limits<int>::max();
    QTest::newRow("beyond 64 bits") << "99999999999999999999999" << std::numeric_limits<int>::max();
}

void TestPop3Replies::boundedMailCount()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(Pop3Replies::boundedMailCount(text), count);
}

void TestPop3Replies::topHeaderFields_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("subject");
    QTest::newRow("all three") << "+OK\r\nDate: Tue, 3 Aug 2004\r\nFrom: Ann <a@b>\r\nSubject: Hi\r\n\r\n.\r\n" << true
                               << " Tue, 3 Aug 2004" << " Ann <a@b>" << " Hi";
    QTest::newRow("first of each name wins")
        << "+OK\r\nFrom: first\r\nFrom: second\r\nSubject: one\r\nSubject: two\r\nDate: d\r\n\r\n.\r\n" << true << " d"
        << " first" << " one";
    QTest::newRow("names are case sensitive") << "+OK\r\nfrom: x\r\nSUBJECT: y\r\n\r\n.\r\n" << true << "" << ""
                                              << "";
    QTest::newRow("no blank after the colon") << "+OK\r\nSubject:tight\r\n.\r\n" << true << "" << "" << "tight";
    QTest::newRow("found in the body lines too") << "+OK\r\nX: 1\r\n\r\nSubject: in body\r\n.\r\n" << true << ""
                                                 << "" << " in body";
    QTest::newRow("a reply without its terminating line") << "+OK\r\nX: 1\r\nSubject: s\r\n" << true << "" << ""
                                                      << " s";
    QTest::newRow("text after the final CR LF is not read")
        << "+OK\r\nX: 1\r\nY: 2\r\nSubject: late" << true << "" << "" << "";
    QTest::newRow("a lone line after the status line is read without its end")
        << "+OK\r\nSubject: only" << true << "" << "" << " only";
    QTest::newRow("status line only") << "+OK\r\n" << true << "" << "" << "";
    QTest::newRow("no line end at all") << "+OK" << false << "" << "" << "";
    QTest::newRow("empty") << "" << false << "" << "" << "";
}

void TestPop3Replies::topHeaderFields()
{
    QFETCH(QString, reply);
    QFETCH(bool, ok);
    QFETCH(QString, date);
    QFETCH(QString, sender);
    QFETCH(QString, subject);
    Pop3Replies::HeaderFields fields;
    QCOMPARE(Pop3Replies::topHeaderFields(reply, &fields), ok);
    QCOMPARE(fields.date, date);
    QCOMPARE(fields.sender, sender);
    QCOMPARE(fields.subject, subject);
}

void TestPop3Replies::replyLines_data()
{
    QTest::addColumn<QString>("reply");
    QTest::newRow("empty") << "";
    QTest::newRow("status line") << "+OK\r\n";
    QTest::newRow("listing") << "+OK 2 messages\r\n1 120\r\n2 300\r\n.\r\n";
    QTest::newRow("no final line end") << "+OK\r\n1 120";
    QTest::newRow("bare LF stays in its line") << "+OK\r\n1 a\nb\r\n.\r\n";
    QTest::newRow("LF first") << "\n\r\n";
    QTest::newRow("CR before CR LF") << "x\r\r\n";
    QTest::newRow("CR at the end") << "+OK\r\n1 2\r";
    QTest::newRow("empty lines") << "\r\n\r\n\r\n";
}

// Cut exactly where splitting at CR LF cuts.
void TestPop3Replies::replyLines()
{
    QFETCH(QString, reply);
    QStringList cut;
    for (QStringView line : Pop3Replies::replyLines(reply))
        cut << line.toString();
    QCOMPARE(cut, reply.split(QStringLiteral("\r\n")));
}

QTEST_GUILESS_MAIN(TestPop3Replies)
#include "test_pop3_replies.moc"
