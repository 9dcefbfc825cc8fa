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
        WindowFixture f;
        const QList<TestMail> mails = filterMails();
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 4); // one round trip per mail, listed or not

        QVERIFY(f.login());
        f.w.txtFrom->setText(sender);
        f.w.txtSubject->setText(subject);
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("4"));
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(f.boxes.boxes.isEmpty());

        QCOMPARE(kit::column(f.w.grdMails, 3), listed);
        QCOMPARE(f.w.grdMails->Rows(), 2 + listed.size());
        const QStringList headings{"Date", "From", "Subject", "Id", "Size", "URL"};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(f.w.grdMails->TextMatrix(0, c), headings[c]);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(f.w.grdMails->TextMatrix(1, c), QString()); // row 1 stays empty
        QVERIFY(f.w.grdMails->isColumnHidden(5));
        for (int r = 2; r < f.w.grdMails->Rows(); ++r) {
            const TestMail &mail = mails[f.w.grdMails->TextMatrix(r, 3).toInt() - 1];
            // The texts after the colon, the blank included.
            QCOMPARE(f.w.grdMails->TextMatrix(r, 0), " " + QString::fromLatin1(mail.date));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 1), " " + QString::fromLatin1(mail.from));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 2), " " + QString::fromLatin1(mail.subject));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 4), QString::number(kit::mailText(mail).size()));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 5), QString());
        }
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(f.w.cmdDelete->isEnabled());
        QCOMPARE(kit::session(f.w).iCurMail(), 4);
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
        WindowFixture f;
        writeStore("u1\r\nu3\r\n"); // mails 2 and 4 are new
        const QList<TestMail> mails = kit::numberedMails(4);
        QList<TestMail> stored = mails;
        stored[0].uid = "u1";
        stored[2].uid = "u3";
        kit::scriptLogin(f.server, stored);
        kit::scriptTops(f.server, stored, 1, 4);

        QVERIFY(f.login());
        QCOMPARE(*kit::session(f.w).colNewMails(), (QStringList{"2", "4"}));
        f.w.ckShowOnlyNew->setChecked(onlyNew);
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.server.mismatches(), QStringList());

        const QStringList listed = kit::column(f.w.grdMails, 3);
        QCOMPARE(listed, onlyNew ? QStringList({"2", "4"}) : QStringList({"1", "2", "3", "4"}));
        for (int r = 2; r < f.w.grdMails->Rows(); ++r) {
            const bool isNew = f.w.grdMails->TextMatrix(r, 3) == "2" || f.w.grdMails->TextMatrix(r, 3) == "4";
            QCOMPARE(kit::isBlueRow(f.w.grdMails, r), isNew);
            QVERIFY(f.w.grdMails->CellForeColor(r, 5) != Blue);
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
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(1));
        kit::scriptTop(f.server, 1, reply);
        QVERIFY(f.login());
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.w.grdMails->Rows(), 3);
        QCOMPARE(f.w.grdMails->TextMatrix(2, 0), date);
        QCOMPARE(f.w.grdMails->TextMatrix(2, 1), from);
        QCOMPARE(f.w.grdMails->TextMatrix(2, 2), subject);
        QCOMPARE(f.w.grdMails->TextMatrix(2, 3), QStringLiteral("1"));
        QCOMPARE(f.w.grdMails->Row(), 2); // the current cell lies in the last row added
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
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(1));
        kit::scriptTop(f.server, 1,
                       "+OK\r\nFrom: f\r\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=\r\n\r\n.\r\n");
        QVERIFY(f.login());
        f.w.txtSubject->setText(subjectFilter);
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.w.grdMails->Rows(), rows);
    }

    void stopInTheMiddle()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(4);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 1);
        const QByteArray second = kit::multiLine(kit::mailText(mails[1]));
        f.server.expect("TOP 2 10\r\n").sendManually({second.left(20), second.mid(20)});
        Pop3Scripts::logout(f.server, true); // "Update Changes" checked: QUIT only

        QVERIFY(f.login());
        f.w.cmdShow->click();
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop"));
        QCOMPARE(f.w.cmdShow->palette().color(QPalette::Button), vb::ColorFromLiteral(QStringLiteral("&H0000FF")));
        QVERIFY(f.w.cmdShow->isEnabled());
        QVERIFY(!f.w.cmdLogin->isEnabled());
        QVERIFY(!f.w.cmdDelete->isEnabled());
        QVERIFY(f.w.cboTill->isEnabled());
        QVERIFY(f.w.txtFrom->isEnabled());
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Fetching message 1"));
        QTRY_VERIFY(f.server.isWaitingForSendNext()); // TOP 2 is outstanding
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Fetching message 2"));

        f.w.cmdShow->click();
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop")); // until the reply is in
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2"})); // the outstanding mail is listed
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(!kit::session(f.w).bStopRequested());

        // No further TOP: the next thing the server sees is the logout.
        f.w.ckUpdtChanges->setChecked(true);
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(5);
        kit::scriptLogin(f.server, mails);
        const QByteArray first = kit::multiLine(kit::mailText(mails[0]));
        f.server.expect("TOP 1 10\r\n").sendManually({first.left(10), first.mid(10)});
        kit::scriptTops(f.server, mails, 2, last);

        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), till);
        f.w.cmdShow->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        f.w.cboTill->setEditText(changedTill);
        f.w.txtSubject->setText(QStringLiteral("subject 1")); // filters too are read when a reply is handled
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(kit::session(f.w).iCurMail(), last);
        QCOMPARE(kit::column(f.w.grdMails, 3), QStringList{QStringLiteral("1")});
        QVERIFY(f.boxes.boxes.isEmpty());
    }

    void mailMissingFromSizeList()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 3, 600);
        Pop3Scripts::uidl(f.server, {"u1", "u2", "u3"});
        f.server.reply("LIST \r\n", "+OK\r\n1 100\r\n3 300\r\n.\r\n"); // no line for mail 2
        kit::scriptTops(f.server, mails, 1, 2);
        Pop3Scripts::logout(f.server, true);

        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("3"));
        f.w.cmdShow->click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("There was an error getting mail config info from the server\r\n"
                                                       "Please login again"));
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.w.cmdShow->isEnabled());
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(kit::session(f.w).iCurMail(), 3);
        QVERIFY(kit::session(f.w).bTopDone());
        QCOMPARE(kit::column(f.w.grdMails, 3), QStringList{QStringLiteral("1")});
        QCOMPARE(kit::column(f.w.grdMails, 4), QStringList{QStringLiteral("100")});
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout")); // the session stays open

        // No TOP 3: the next thing the server sees is the logout.
        f.w.ckUpdtChanges->setChecked(true);
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void mailNumbersBeyondSixteenBits()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(2);
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 300);
        Pop3Scripts::uidl(f.server, {"u1", "u2"});
        f.server.reply("LIST \r\n", "+OK\r\n32767 100\r\n32768 200\r\n.\r\n");
        kit::scriptTop(f.server, 32767, kit::multiLine(kit::mailText(mails[0])));
        kit::scriptTop(f.server, 32768, kit::multiLine(kit::mailText(mails[1])));
        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("32767"), QStringLiteral("32768"));
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"32767", "32768"}));
        QCOMPARE(kit::column(f.w.grdMails, 4), (QStringList{"100", "200"}));
        QVERIFY(f.boxes.boxes.isEmpty());
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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 1);
        Pop3Scripts::logout(f.server, true);
        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("1"));
        f.w.cmdShow->click(); // equal bounds fetch exactly one mail
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 3), QStringList{QStringLiteral("1")});

        kit::setRange(f.w.cboFrom, f.w.cboTill, from, till);
        f.w.cmdShow->click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Mail range selected is not valid")});
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(kit::column(f.w.grdMails, 3), QStringList{QStringLiteral("1")}); // grid untouched

        f.boxes.clear();
        f.w.ckUpdtChanges->setChecked(true);
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
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
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails({
            HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", "one", true),
            HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z",
                                     QByteArray(1500, 'x'), false),
            HttpMailServer::makeMail("m3", "Carol <carol@example.com>", "More", "2004-08-05T08:30:00Z",
                                     QByteArray(20, 'y'), true),
            HttpMailServer::makeMail("m4", "Dave <dave@example.com>", "", "2004-08-06T07:00:00Z", "four", false),
        });
        QVERIFY(f.login());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        const int requestsAtLogin = int(f.server.requests().size());

        f.w.ckShowOnlyNew->setChecked(onlyNew);
        f.w.txtFrom->setText(sender);
        f.w.cmdShow->click(); // runs to its end inside the click
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.w.cmdShow->isEnabled());
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(f.server.requests().size(), requestsAtLogin); // no network traffic
        QVERIFY(f.boxes.boxes.isEmpty());

        QCOMPARE(kit::column(f.w.grdMails, 3), listed);
        QCOMPARE(f.w.grdMails->TextMatrix(1, 0), QString());
        const QList<HttpMailServer::Mail> inbox = f.server.inbox();
        for (int r = 2; r < f.w.grdMails->Rows(); ++r) {
            const HttpMailServer::Mail &mail = inbox[f.w.grdMails->TextMatrix(r, 3).toInt() - 1];
            QString date = mail.date;
            QCOMPARE(f.w.grdMails->TextMatrix(r, 0), date.replace(u'T', u' '));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 1), mail.from);
            QCOMPARE(f.w.grdMails->TextMatrix(r, 2), mail.subject);
            QCOMPARE(f.w.grdMails->TextMatrix(r, 4), QString::number(mail.text.size()));
            QCOMPARE(f.w.grdMails->TextMatrix(r, 5), f.server.mailUrl(mail.name).toString());
            QCOMPARE(kit::isBlueRow(f.w.grdMails, r), !mail.read);
        }
        if (listed.contains("1"))
            QCOMPARE(f.w.grdMails->TextMatrix(2, 0), QStringLiteral("2004-08-03 10:11:12Z"));
    }

    void hotmailRecordMissing()
    {
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails({
            HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", true),
            HttpMailServer::makeMail("m2", "Carol", "Two", "2004-08-04T09:00:00Z", "two", false),
        });
        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("4"));
        f.w.cmdShow->click();
        QCOMPARE(f.boxes.texts(),
                 QStringList{QStringLiteral("Mail 3 is not in the inbox listing.\r\nPlease login again")});
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2"}));
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(f.w.cmdShow->isEnabled());
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(f.w.prgProgress->isHidden());
    }
};

QTEST_MAIN(TestRetrieval)
#include "test_retrieval.moc"
