// Header retrieval through the real window: POP3 against a scripted server
// (filters, new mails, the header scan, stopping, the failure path, the range
// read again after every reply) and HTTPMail against the in-process server.

#include "frmMainTestAccess.h"
#include "httpmail/clsHotmail.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "window/VbColor.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>

using kit::TestMail;

namespace {

const QColor Blue = vb::ColorFromLiteral(QStringLiteral("&HFF0000"));

QList<TestMail> filterMails()
{
    return {
        {"Mon, 2 Aug 2004 09:00:00 +0200", "Bob Smith <bsmith@example.com>", "Lunch on Friday", "Hi\r\n", "u1"},
        {"Mon, 2 Aug 2004 10:00:00 +0200", "Alice <alice@example.com>", "Re: LUNCH", "Hi\r\n", "u2"},
        {"Mon, 2 Aug 2004 11:00:00 +0200", "Robert <bob@example.org>", "Invoice", "Hi\r\n", "u3"},
        {"Mon, 2 Aug 2004 12:00:00 +0200", "Carol <carol@example.net>", "Hello Bob", "Hi\r\n", "u4"},
    };
}

void writeStore(const QByteArray &ids)
{
    QVERIFY(kit::writeFile(QStringLiteral("bob_127.0.0.1.uidl"), ids));
}

bool isBlueRow(const FlexGrid *grid, int row)
{
    for (int c = 0; c <= 4; ++c)
        if (grid->CellForeColor(row, c) != Blue)
            return false;
    return true;
}

} // namespace

class TestRetrieval : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        kit::clearSavedState();
    }

    void filters_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("listed");
        const QStringList all{"1", "2", "3", "4"};
        QTest::newRow("no filter") << "" << "" << all;
        QTest::newRow("filters of blanks are ignored") << "   " << "  " << all;
        QTest::newRow("bob matches Bob Smith and bob@") << "bob" << "" << QStringList{"1", "3"};
        QTest::newRow("a leading blank is kept") << " bob" << "" << QStringList{"1"};
        QTest::newRow("a trailing blank is kept") << "bob " << "" << QStringList{"1"};
        QTest::newRow("subject ignores letter case") << "" << "Lunch" << QStringList{"1", "2"};
        QTest::newRow("both must match") << "bob" << "lunch" << QStringList{"1"};
        QTest::newRow("nothing matches") << "zed" << "" << QStringList{};
    }
    void filters()
    {
        QFETCH(QString, sender);
        QFETCH(QString, subject);
        QFETCH(QStringList, listed);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = filterMails();
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 4); // one round trip per mail, listed or not

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.txtFrom->setText(sender);
        w.txtSubject->setText(subject);
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QStringLiteral("4"));
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QVERIFY(boxes.boxes.isEmpty());

        QCOMPARE(kit::column(w.grdMails, 3), listed);
        QCOMPARE(w.grdMails->Rows(), 2 + listed.size());
        const QStringList headings{"Date", "From", "Subject", "Id", "Size", "URL"};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(w.grdMails->TextMatrix(0, c), headings[c]);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(w.grdMails->TextMatrix(1, c), QString()); // row 1 stays empty
        QVERIFY(w.grdMails->isColumnHidden(5));
        for (int r = 2; r < w.grdMails->Rows(); ++r) {
            const TestMail &mail = mails[w.grdMails->TextMatrix(r, 3).toInt() - 1];
            // The texts after the colon, the blank included.
            QCOMPARE(w.grdMails->TextMatrix(r, 0), " " + QString::fromLatin1(mail.date));
            QCOMPARE(w.grdMails->TextMatrix(r, 1), " " + QString::fromLatin1(mail.from));
            QCOMPARE(w.grdMails->TextMatrix(r, 2), " " + QString::fromLatin1(mail.subject));
            QCOMPARE(w.grdMails->TextMatrix(r, 4), QString::number(kit::mailText(mail).size()));
            QCOMPARE(w.grdMails->TextMatrix(r, 5), QString());
        }
        QVERIFY(w.prgProgress->isHidden());
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(w.cmdDelete->isEnabled());
        QCOMPARE(kit::session(w).iCurMail(), 4);
    }

    void onlyNewMails_data()
    {
        QTest::addColumn<bool>("onlyNew");
        QTest::newRow("all mails, new ones in blue") << false;
        QTest::newRow("only new mails") << true;
    }
    void onlyNewMails()
    {
        QFETCH(bool, onlyNew);
        MessageBoxRecorder boxes;
        writeStore("u1\r\nu3\r\n"); // mails 2 and 4 are new
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(4);
        QList<TestMail> stored = mails;
        stored[0].uid = "u1";
        stored[2].uid = "u3";
        kit::scriptLogin(server, stored);
        kit::scriptTops(server, stored, 1, 4);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QCOMPARE(*kit::session(w).colNewMails(), (QStringList{"2", "4"}));
        w.ckShowOnlyNew->setChecked(onlyNew);
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(server.mismatches(), QStringList());

        const QStringList listed = kit::column(w.grdMails, 3);
        QCOMPARE(listed, onlyNew ? QStringList({"2", "4"}) : QStringList({"1", "2", "3", "4"}));
        for (int r = 2; r < w.grdMails->Rows(); ++r) {
            const bool isNew = w.grdMails->TextMatrix(r, 3) == "2" || w.grdMails->TextMatrix(r, 3) == "4";
            QCOMPARE(isBlueRow(w.grdMails, r), isNew);
            QVERIFY(w.grdMails->CellForeColor(r, 5) != Blue);
        }
    }

    void headerScan_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::newRow("plain header") << QByteArray("+OK\r\nDate: d1\r\nFrom: f1\r\nSubject: s1\r\n\r\nbody\r\n.\r\n")
                                      << " d1" << " f1" << " s1";
        QTest::newRow("first line of a name wins")
            << QByteArray("+OK\r\nFrom: first\r\nFrom: second\r\nSubject:s\r\nDate:d\r\n\r\n.\r\n") << "d" << " first"
            << "s";
        QTest::newRow("subject found in the body")
            << QByteArray("+OK\r\nDate: d\r\nFrom: f\r\n\r\nSubject: in the body\r\nmore\r\n.\r\n") << " d" << " f"
            << " in the body";
        QTest::newRow("names only as written")
            << QByteArray("+OK\r\nsubject: small\r\nFROM: caps\r\nDATE: caps\r\nDate: d\r\n\r\nx\r\n.\r\n") << " d"
            << "" << "";
        QTest::newRow("folded lines are not joined")
            << QByteArray("+OK\r\nSubject: first\r\n second\r\nFrom: f\r\n\r\n.\r\n") << "" << " f" << " first";
        QTest::newRow("reply without header lines") << QByteArray("+OK\r\n.\r\n") << "" << "" << "";
        QTest::newRow("encoded words")
            << QByteArray("+OK\r\nDate: d\r\nFrom: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>\r\n"
                          "Subject: =?UTF-8?B?R3LDvMOfZQ==?= =?UTF-8?Q?_aus_K=C3=B6ln?=\r\n\r\n.\r\n")
            << " d" << QString::fromUtf8(" J\xc3\xb6rg M\xc3\xbcller <j@example.de>")
            << QString::fromUtf8(" Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln");
        QTest::newRow("raw UTF-8 and Latin-1 octets")
            << QByteArray("+OK\r\nDate: d\r\nFrom: Ren\xc3\xa9\r\nSubject: Caf\xe9\r\n\r\n.\r\n")
            << " d" << QString::fromUtf8(" Ren\xc3\xa9") << QString::fromUtf8(" Caf\xc3\xa9");
    }
    void headerScan()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, date);
        QFETCH(QString, from);
        QFETCH(QString, subject);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(1));
        kit::scriptTop(server, 1, reply);
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(server.mismatches(), QStringList());
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(w.grdMails->Rows(), 3);
        QCOMPARE(w.grdMails->TextMatrix(2, 0), date);
        QCOMPARE(w.grdMails->TextMatrix(2, 1), from);
        QCOMPARE(w.grdMails->TextMatrix(2, 2), subject);
        QCOMPARE(w.grdMails->TextMatrix(2, 3), QStringLiteral("1"));
        QCOMPARE(w.grdMails->Row(), 2); // the current cell lies in the last row added
    }

    void filterMatchesDecodedText_data()
    {
        QTest::addColumn<QString>("subjectFilter");
        QTest::addColumn<int>("rows");
        QTest::newRow("decoded text, other case") << QString::fromUtf8("k\xc3\xb6ln") << 3;
        QTest::newRow("the encoded form does not match") << "=?UTF-8?" << 2;
    }
    void filterMatchesDecodedText()
    {
        QFETCH(QString, subjectFilter);
        QFETCH(int, rows);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(1));
        kit::scriptTop(server, 1, "+OK\r\nFrom: f\r\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=\r\n\r\n.\r\n");
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.txtSubject->setText(subjectFilter);
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(w.grdMails->Rows(), rows);
    }

    void stopInTheMiddle()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(4);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 1);
        const QByteArray second = kit::multiLine(kit::mailText(mails[1]));
        server.expect("TOP 2 10\r\n").sendManually({second.left(20), second.mid(20)});
        Pop3Scripts::logout(server, true); // "Update Changes" checked: QUIT only

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.cmdShow->click();
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Stop"));
        QCOMPARE(w.cmdShow->palette().color(QPalette::Button), vb::ColorFromLiteral(QStringLiteral("&H0000FF")));
        QVERIFY(w.cmdShow->isEnabled());
        QVERIFY(!w.cmdLogin->isEnabled());
        QVERIFY(!w.cmdDelete->isEnabled());
        QVERIFY(w.cboTill->isEnabled());
        QVERIFY(w.txtFrom->isEnabled());
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Fetching message 1"));
        QTRY_VERIFY(server.isWaitingForSendNext()); // TOP 2 is outstanding
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Fetching message 2"));

        w.cmdShow->click();
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Stop")); // until the reply is in
        server.sendNext();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2"})); // the outstanding mail is listed
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
        QVERIFY(w.prgProgress->isHidden());
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(!kit::session(w).bStopRequested());

        // No further TOP: the next thing the server sees is the logout.
        w.ckUpdtChanges->setChecked(true);
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
    }

    void tillMailReadAfterEveryReply_data()
    {
        QTest::addColumn<QString>("till");
        QTest::addColumn<QString>("changedTill");
        QTest::addColumn<int>("last");
        QTest::newRow("shortened") << "5" << "2" << 2;
        QTest::newRow("extended") << "2" << "4" << 4;
        QTest::newRow("no longer a number") << "5" << "x" << 1;
    }
    void tillMailReadAfterEveryReply()
    {
        QFETCH(QString, till);
        QFETCH(QString, changedTill);
        QFETCH(int, last);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(5);
        kit::scriptLogin(server, mails);
        const QByteArray first = kit::multiLine(kit::mailText(mails[0]));
        server.expect("TOP 1 10\r\n").sendManually({first.left(10), first.mid(10)});
        kit::scriptTops(server, mails, 2, last);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), till);
        w.cmdShow->click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        w.cboTill->setEditText(changedTill);
        w.txtSubject->setText(QStringLiteral("subject 1")); // filters too are read when a reply is handled
        server.sendNext();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(kit::session(w).iCurMail(), last);
        QCOMPARE(kit::column(w.grdMails, 3), QStringList{QStringLiteral("1")});
        QVERIFY(boxes.boxes.isEmpty());
    }

    void mailMissingFromSizeList()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 3, 600);
        Pop3Scripts::uidl(server, {"u1", "u2", "u3"});
        server.reply("LIST \r\n", "+OK\r\n1 100\r\n3 300\r\n.\r\n"); // no line for mail 2
        kit::scriptTops(server, mails, 1, 2);
        Pop3Scripts::logout(server, true);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QStringLiteral("3"));
        w.cmdShow->click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("There was an error getting mail config info from the server\r\n"
                                                     "Please login again"));
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(w.cmdShow->isEnabled());
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(kit::session(w).iCurMail(), 3);
        QVERIFY(kit::session(w).bTopDone());
        QCOMPARE(kit::column(w.grdMails, 3), QStringList{QStringLiteral("1")});
        QCOMPARE(kit::column(w.grdMails, 4), QStringList{QStringLiteral("100")});
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout")); // the session stays open

        // No TOP 3: the next thing the server sees is the logout.
        w.ckUpdtChanges->setChecked(true);
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void mailNumbersBeyondSixteenBits()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(2);
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 2, 300);
        Pop3Scripts::uidl(server, {"u1", "u2"});
        server.reply("LIST \r\n", "+OK\r\n32767 100\r\n32768 200\r\n.\r\n");
        kit::scriptTop(server, 32767, kit::multiLine(kit::mailText(mails[0])));
        kit::scriptTop(server, 32768, kit::multiLine(kit::mailText(mails[1])));
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("32767"), QStringLiteral("32768"));
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"32767", "32768"}));
        QCOMPARE(kit::column(w.grdMails, 4), (QStringList{"100", "200"}));
        QVERIFY(boxes.boxes.isEmpty());
    }

    void invalidRange_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("till");
        QTest::newRow("till below from") << "3" << "2";
        QTest::newRow("10 to 9") << "10" << "9";
        QTest::newRow("empty from") << "" << "3";
        QTest::newRow("empty till") << "1" << "";
        QTest::newRow("blank till") << "1" << "  ";
        QTest::newRow("not a number") << "a" << "3";
        QTest::newRow("a number followed by text") << "1" << "3x";
        QTest::newRow("not whole") << "1.5" << "3";
    }
    void invalidRange()
    {
        QFETCH(QString, from);
        QFETCH(QString, till);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 1);
        Pop3Scripts::logout(server, true);
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QStringLiteral("1"));
        w.cmdShow->click(); // equal bounds fetch exactly one mail
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(w.grdMails, 3), QStringList{QStringLiteral("1")});

        kit::setRange(w.cboFrom, w.cboTill, from, till);
        w.cmdShow->click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Mail range selected is not valid")});
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(kit::column(w.grdMails, 3), QStringList{QStringLiteral("1")}); // grid untouched

        boxes.clear();
        w.ckUpdtChanges->setChecked(true);
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void hotmailListing_data()
    {
        QTest::addColumn<bool>("onlyNew");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("all mails") << false << "" << QStringList{"1", "2", "3", "4"};
        QTest::newRow("only unread mails") << true << "" << QStringList{"2", "4"};
        QTest::newRow("sender filter") << false << "CAROL" << QStringList{"2", "3"};
    }
    void hotmailListing()
    {
        QFETCH(bool, onlyNew);
        QFETCH(QString, sender);
        QFETCH(QStringList, listed);
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.setMails({
            HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", "one", true),
            HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z",
                                     QByteArray(1500, 'x'), false),
            HttpMailServer::makeMail("m3", "Carol <carol@example.com>", "More", "2004-08-05T08:30:00Z",
                                     QByteArray(20, 'y'), true),
            HttpMailServer::makeMail("m4", "Dave <dave@example.com>", "", "2004-08-06T07:00:00Z", "four", false),
        });
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        const int requestsAtLogin = int(server.requests().size());

        w.ckShowOnlyNew->setChecked(onlyNew);
        w.txtFrom->setText(sender);
        w.cmdShow->click(); // runs to its end inside the click
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(w.cmdShow->isEnabled());
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(server.requests().size(), requestsAtLogin); // no network traffic
        QVERIFY(boxes.boxes.isEmpty());

        QCOMPARE(kit::column(w.grdMails, 3), listed);
        QCOMPARE(w.grdMails->TextMatrix(1, 0), QString());
        const QList<HttpMailServer::Mail> inbox = server.inbox();
        for (int r = 2; r < w.grdMails->Rows(); ++r) {
            const HttpMailServer::Mail &mail = inbox[w.grdMails->TextMatrix(r, 3).toInt() - 1];
            QString date = mail.date;
            QCOMPARE(w.grdMails->TextMatrix(r, 0), date.replace(u'T', u' '));
            QCOMPARE(w.grdMails->TextMatrix(r, 1), mail.from);
            QCOMPARE(w.grdMails->TextMatrix(r, 2), mail.subject);
            QCOMPARE(w.grdMails->TextMatrix(r, 4), QString::number(mail.text.size()));
            QCOMPARE(w.grdMails->TextMatrix(r, 5), server.mailUrl(mail.name).toString());
            QCOMPARE(isBlueRow(w.grdMails, r), !mail.read);
        }
        if (listed.contains("1"))
            QCOMPARE(w.grdMails->TextMatrix(2, 0), QStringLiteral("2004-08-03 10:11:12Z"));
    }

    void hotmailRecordMissing()
    {
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.setMails({
            HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", true),
            HttpMailServer::makeMail("m2", "Carol", "Two", "2004-08-04T09:00:00Z", "two", false),
        });
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QStringLiteral("4"));
        w.cmdShow->click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Mail 3 is not in the inbox listing.\r\nPlease login again")});
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2"}));
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(w.cmdShow->isEnabled());
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(w.prgProgress->isHidden());
    }
};

QTEST_MAIN(TestRetrieval)
#include "test_retrieval.moc"
