// The real window against a hostile HTTPMail server: truncated XML, replies
// that are no XML at all, wrong content types, error statuses, servers that
// stall or hang up, a listing of 20,000 mails and field values no mail has,
// during login, header listing, viewing and deletion. Every case ends with a
// clear message or the state its request leads to, and the window is usable
// afterwards.

#include "frmMainTestAccess.h"
#include "httpmail/clsHotmail.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>

using CannedReply = HttpMailServer::CannedReply;

Q_DECLARE_METATYPE(HttpMailServer::CannedReply)

namespace {

const QString NoLogin = QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or "
                                       "Hotmail servers are busy.\r\n Please try again. ");
// Short enough for a test, long enough for a loaded machine's loopback.
constexpr int TimeoutMs = 300;

const QByteArray MailText = "From: Bob <bob@example.com>\r\nSubject: Hello\r\n\r\nHi there.\r\n";
const QByteArray SecondText = "From: Carol <carol@example.com>\r\nSubject: Figures\r\n\r\n1, 2, 3.\r\n";

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

// Logs in to the three-mail inbox, replies waited for TimeoutMs, and lists
// every mail with the window's own Show.
bool loginAndShowAll(HotmailWindowFixture &f)
{
    f.server.setMails(kit::threeHotmailMails(MailText, SecondText, "yy"));
    f.w.setHttpMailTimeout(TimeoutMs);
    return f.started && f.login() && kit::showMails(f.w, 1, f.w.lblMails->text().toInt());
}

// One mail of an inbox listing written by hand; a null field is left out.
struct Entry
{
    QString href, read, from, subject, date, length;
};

QByteArray inboxXml(const QList<Entry> &entries)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                 "<D:multistatus xmlns:D=\"DAV:\" xmlns:hm=\"urn:schemas:httpmail:\" "
                                 "xmlns:m=\"urn:schemas:mailheader:\">\r\n");
    const auto field = [](const char *tag, const QString &value) {
        return value.isNull() ? QString()
                              : QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), value.toHtmlEscaped());
    };
    for (const Entry &e : entries)
        xml += QStringLiteral("<D:response>") + field("D:href", e.href)
               + QStringLiteral("<D:propstat><D:prop><D:isfolder>0</D:isfolder>") + field("hm:read", e.read)
               + field("m:from", e.from) + field("m:subject", e.subject) + field("m:date", e.date)
               + field("D:getcontentlength", e.length)
               + QStringLiteral("</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>\r\n");
    return (xml + QStringLiteral("</D:multistatus>\r\n")).toUtf8();
}

} // namespace

class TestHostileHttpMail : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void loginReplies_data();
    void loginReplies();
    void twentyThousandMails();
    void fieldValuesNoMailHas_data();
    void fieldValuesNoMailHas();
    void viewReplies_data();
    void viewReplies();
    void deletionReplies_data();
    void deletionReplies();
};

void TestHostileHttpMail::loginReplies_data()
{
    QTest::addColumn<CannedReply>("canned");
    QTest::addColumn<bool>("loggedIn");

    const QString login = HttpMailServer::endpointPath();
    const QString inbox = HttpMailServer::inboxPath();
    // Stand for the test server's own replies, which name its port.
    const QByteArray loginXml = "@login@";
    const QByteArray listing = "@inbox@";
    const QByteArray half = "@half@";

    const auto nested = [](int depth) {
        return QByteArray("<D:multistatus xmlns:D=\"DAV:\">") + QByteArray("<a>").repeated(depth)
               + QByteArray("</a>").repeated(depth) + "</D:multistatus>";
    };
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i)
        laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"" + QByteArray("&lol" + (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";").repeated(10) + "\">\n";
    laughs += "]>\n<D:multistatus xmlns:D=\"DAV:\" xmlns:hm=\"urn:schemas:httpmail:\" xmlns:m=\"urn:schemas:mailheader:\">"
              "<D:response><D:href>x</D:href><hm:read>0</hm:read><m:subject>&lol9;</m:subject></D:response>"
              "</D:multistatus>";

    QTest::newRow("login: XML cut in the middle")
        << CannedReply::reply("PROPFIND", login, 207, loginXml + half) << false;
    QTest::newRow("login: binary noise as text/xml") << CannedReply::reply("PROPFIND", login, 207, noise(8192, 7))
                                                     << false;
    QTest::newRow("login: empty body") << CannedReply::reply("PROPFIND", login, 200, QByteArray()) << false;
    QTest::newRow("login: folder list as image/png")
        << CannedReply::reply("PROPFIND", login, 207, loginXml, "image/png") << true;
    QTest::newRow("login: folder list with an unknown charset")
        << CannedReply::reply("PROPFIND", login, 207, loginXml, "text/xml; charset=x-klingon") << true;
    QTest::newRow("login: status 500 with the folder list")
        << CannedReply::reply("PROPFIND", login, 500, loginXml) << true;
    QTest::newRow("login: stalls") << CannedReply::stall("PROPFIND", login) << false;
    QTest::newRow("login: hangs up") << CannedReply::close("PROPFIND", login) << false;
    QTest::newRow("inbox: XML cut in the middle")
        << CannedReply::reply("PROPFIND", inbox, 207, listing + half) << false;
    QTest::newRow("inbox: HTML page with status 200")
        << CannedReply::reply("PROPFIND", inbox, 200, "<html><body>Mailbox locked<br></body></html>", "text/html")
        << false;
    QTest::newRow("inbox: listing as application/octet-stream")
        << CannedReply::reply("PROPFIND", inbox, 207, listing, "application/octet-stream") << true;
    QTest::newRow("inbox: status 500 with the listing") << CannedReply::reply("PROPFIND", inbox, 500, listing)
                                                        << true;
    QTest::newRow("inbox: 100,000 nested elements") << CannedReply::reply("PROPFIND", inbox, 207, nested(100000))
                                                    << false;
    QTest::newRow("inbox: entities that expand to a billion") << CannedReply::reply("PROPFIND", inbox, 207, laughs)
                                                              << false;
    QTest::newRow("inbox: stalls") << CannedReply::stall("PROPFIND", inbox) << false;
    QTest::newRow("inbox: hangs up") << CannedReply::close("PROPFIND", inbox) << false;
}

void TestHostileHttpMail::loginReplies()
{
    QFETCH(CannedReply, canned);
    QFETCH(bool, loggedIn);
    HotmailWindowFixture f;
    QVERIFY(f.started);
    f.server.setMails(kit::threeHotmailMails(MailText, SecondText, "yy"));
    if (canned.body.startsWith('@')) {
        const QByteArray xml = canned.body.startsWith("@login@") ? f.server.loginReplyXml() : f.server.inboxReplyXml();
        canned.body = canned.body.endsWith("@half@") ? xml.left(xml.size() / 2) : xml;
    }
    f.server.addCannedReply(canned);

    f.w.setHttpMailTimeout(TimeoutMs);
    QCOMPARE(f.login(), loggedIn);
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(f.w.lblProgress->isHidden());
    QCOMPARE(kit::enabledControls(f.w).first(), true);
    if (loggedIn) {
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QCOMPARE(clsHotmail::GetFieldSubject(kit::session(f.w).colHotmailIds().at(2)), QStringLiteral("Photos"));
        QVERIFY(kit::showMails(f.w, 1, f.w.lblMails->text().toInt()));
        QCOMPARE(f.w.grdMails->TextMatrix(3, 2), QStringLiteral("Figures"));
    } else {
        QCOMPARE(f.boxes.texts(), QStringList{NoLogin});
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.fraStats->isHidden());
        // Five attempts, each a new client that is challenged once.
        int attempts = 0;
        for (const HttpMailServer::Request &request : f.server.requests("PROPFIND"))
            attempts += !request.authorized && request.path == HttpMailServer::endpointPath();
        QCOMPARE(attempts, 5);
    }
    QCOMPARE(f.server.problems(), QStringList());
}

void TestHostileHttpMail::twentyThousandMails()
{
    constexpr int Count = 20000;
    HotmailWindowFixture f;
    QVERIFY(f.started);
    QList<HttpMailServer::Mail> mails;
    qint64 total = 0;
    for (int n = 1; n <= Count; ++n) {
        const QByteArray text = "Subject: mail " + QByteArray::number(n) + "\r\n\r\n" + QByteArray(n % 500, 'b');
        total += text.size();
        mails << HttpMailServer::makeMail(QStringLiteral("MSG%1.eml").arg(n), QStringLiteral("Sender %1").arg(n),
                                          QStringLiteral("Subject %1").arg(n),
                                          QStringLiteral("2004-08-03T10:%1:00Z").arg(n % 60, 2, 10, QLatin1Char('0')),
                                          text, n % 3 != 0);
    }
    f.server.setMails(mails);

    QVERIFY(f.login());
    QCOMPARE(f.w.lblMails->text(), QString::number(Count));
    QCOMPARE(f.w.lblMailSize->text(), QString::number(total));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("6666 new mail(s)"));
    QCOMPARE(f.w.cboTill->currentText(), QString::number(Count));
    QCOMPARE(f.w.cboDelFrom->count(), Count);

    f.w.cmdStats_Click();
    QCOMPARE(f.w.grdStats->Rows(), Count + 1);
    QCOMPARE(f.w.grdStats->TextMatrix(Count, 0), QString::number(Count));

    QVERIFY(kit::showMails(f.w, 1, f.w.lblMails->text().toInt()));
    QCOMPARE(f.w.grdMails->Rows(), Count + 2);
    QCOMPARE(f.w.grdMails->TextMatrix(Count + 1, 1), QStringLiteral("Sender %1").arg(Count));
    QCOMPARE(f.w.grdMails->TextMatrix(Count + 1, 3), QString::number(Count));
    QCOMPARE(f.w.grdMails->TextMatrix(Count + 1, 5),
             f.server.mailUrl(QStringLiteral("MSG%1.eml").arg(Count)).toString());
    QVERIFY(f.boxes.boxes.isEmpty());

    // The last mail, viewed and deleted, is the last mail.
    kit::viewMail(f.w, Count);
    QCOMPARE(kit::readFile(f.messageFile()), mails.last().text);
    QVERIFY(f.server.inbox().last().read);
    f.w.grdMails->SetRow(Count + 1);
    f.w.mnuDeleteMail_Click();
    QCOMPARE(f.server.inbox().size(), Count - 1);
    QCOMPARE(f.server.deletedItems().size(), 1);
    QCOMPARE(f.server.deletedItems().first().name, QStringLiteral("MSG%1.eml").arg(Count));
    QCOMPARE(f.w.grdMails->Rows(), Count + 1);
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QCOMPARE(f.server.problems(), QStringList());
}

void TestHostileHttpMail::fieldValuesNoMailHas_data()
{
    QTest::addColumn<QStringList>("lengths");
    QTest::addColumn<QString>("totalSize");
    QTest::newRow("sizes that are no numbers") << QStringList{"abc", "", "12abc"} << "12";
    QTest::newRow("negative sizes") << QStringList{"-5", "10", "0"} << "5";
    QTest::newRow("sizes beyond any integer") << QStringList{"1e300", "99999999999999999999", "1"}
                                              << "9223372036854775807";
    QTest::newRow("a sum beyond 64 bits") << QStringList{"9000000000000000000", "9000000000000000000", "1"}
                                          << "9223372036854775807";
    QTest::newRow("a negative sum beyond 64 bits")
        << QStringList{"-9000000000000000000", "-9000000000000000000", "-1e300"} << "-9223372036854775808";
}

void TestHostileHttpMail::fieldValuesNoMailHas()
{
    // Besides the sizes: a subject of a megabyte, control characters, a mail
    // without sender, subject and date, and a read flag that is no flag.
    QFETCH(QStringList, lengths);
    QFETCH(QString, totalSize);
    HotmailWindowFixture f;
    QVERIFY(f.started);
    f.server.setMails(kit::threeHotmailMails(MailText, SecondText, "yy"));
    const QString base = f.server.inboxUrl().toString();
    const QString megaSubject(1 << 20, QLatin1Char('s'));
    // Control characters XML lets through.
    const QString controls = QString::fromUtf8("Eve \t<eve@example.com>\x7f\xc2\x85\xc2\x9b");
    const QString subject = QString::fromUtf8("ctl \xc2\x9b" "31m red \xe2\x80\x8e");
    f.server.addCannedReply(CannedReply::reply(
        "PROPFIND", HttpMailServer::inboxPath(), 207,
        inboxXml({{base + "m1", "0", "Bob <bob@example.com>", megaSubject, "2004-08-03T10:11:12Z", lengths.at(0)},
                  {base + "m2", "yes", controls, subject, "not a date", lengths.at(1)},
                  {base + "m3", "0", QString(), QString(), QString(), lengths.at(2)}})));

    f.w.setHttpMailTimeout(TimeoutMs);
    QVERIFY(f.login());
    QCOMPARE(f.w.lblMails->text(), QStringLiteral("3"));
    QCOMPARE(f.w.lblMailSize->text(), totalSize);
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
    f.w.cmdStats_Click();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(f.w.grdStats->TextMatrix(n, 1), lengths.at(n - 1)); // shown as sent

    QVERIFY(kit::showMails(f.w, 1, f.w.lblMails->text().toInt()));
    QCOMPARE(f.w.grdMails->Rows(), 5);
    QCOMPARE(f.w.grdMails->TextMatrix(2, 2), megaSubject);
    QCOMPARE(f.w.grdMails->TextMatrix(3, 1), controls);
    QCOMPARE(f.w.grdMails->TextMatrix(3, 2), subject);
    QCOMPARE(f.w.grdMails->TextMatrix(3, 0), QStringLiteral("not a date"));
    QCOMPARE(f.w.grdMails->TextMatrix(4, 1), QString());
    QCOMPARE(f.w.grdMails->TextMatrix(4, 4), lengths.at(2));
    QCOMPARE(f.w.grdMails->TextMatrix(4, 5), base + "m3");

    // Filters run over these texts like any other.
    f.w.txtFrom->setText(QStringLiteral("eve"));
    QVERIFY(kit::showMails(f.w, 1, f.w.lblMails->text().toInt()));
    QCOMPARE(f.w.grdMails->Rows(), 3);
    QCOMPARE(f.w.grdMails->TextMatrix(2, 3), QStringLiteral("2"));
    QVERIFY(f.boxes.boxes.isEmpty());
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

void TestHostileHttpMail::viewReplies_data()
{
    QTest::addColumn<CannedReply>("canned");
    QTest::addColumn<QString>("report");      // the message shown; empty: none
    QTest::addColumn<QByteArray>("file");     // test.eml afterwards; empty: none written
    QTest::addColumn<bool>("markedRead");

    const QString mail = HttpMailServer::inboxPath() + QStringLiteral("m2");
    const QByteArray latin1 = "From: a@example.com\r\nSubject: caf\xe9\r\n\r\n\xe9t\xe9 \x80\xff\r\n";
    QByteArray binary = "Subject: binary\r\n\r\n" + noise(64 * 1024, 11);
    const QByteArray big = "Subject: big\r\n\r\n" + QByteArray(4 << 20, 'B');
    CannedReply cut = CannedReply::reply("GET", mail, 200, "From: a\r\n", "message/rfc822");
    cut.headers.append(qMakePair(QByteArray("Content-Length"), QByteArray("500")));
    cut.closeAfter = true;
    CannedReply proppatchStalls = CannedReply::stall("PROPPATCH", mail);
    proppatchStalls.times = 1;

    const QString notFetched = QStringLiteral("The mail could not be fetched from hotmail.\r\n");
    QTest::newRow("GET stalls") << CannedReply::stall("GET", mail) << notFetched + "The server did not answer in time"
                                << QByteArray() << false;
    QTest::newRow("GET hangs up") << CannedReply::close("GET", mail) << notFetched << QByteArray() << false;
    QTest::newRow("GET reply shorter than announced") << cut << notFetched << QByteArray() << false;
    QTest::newRow("GET as image/png") << CannedReply::reply("GET", mail, 200, MailText, "image/png") << QString()
                                      << MailText << true;
    QTest::newRow("GET Latin-1 bytes labelled UTF-8")
        << CannedReply::reply("GET", mail, 200, latin1, "text/plain; charset=utf-8") << QString() << latin1 << true;
    QTest::newRow("GET binary noise") << CannedReply::reply("GET", mail, 200, binary, "application/octet-stream")
                                      << QString() << binary << true;
    QTest::newRow("GET of 4 MiB") << CannedReply::reply("GET", mail, 200, big, "message/rfc822") << QString() << big
                                  << true;
    QTest::newRow("PROPPATCH stalls") << proppatchStalls
                                      << QStringLiteral("The mail could not be marked as read on hotmail.\r\n"
                                                        "The server did not answer in time")
                                      << SecondText << false;
}

void TestHostileHttpMail::viewReplies()
{
    QFETCH(CannedReply, canned);
    QFETCH(QString, report);
    QFETCH(QByteArray, file);
    QFETCH(bool, markedRead);
    HotmailWindowFixture f;
    QVERIFY(loginAndShowAll(f));
    f.server.addCannedReply(canned);

    f.w.grdMails->SetCol(1);
    f.w.grdMails->SetRow(3); // mail 2
    f.w.mnuCompleteMail_Click();

    QCOMPARE(f.boxes.boxes.size(), report.isEmpty() ? 1 : 2);
    QVERIFY(f.boxes.boxes.first().text.endsWith(QLatin1String("Want to View?")));
    if (!report.isEmpty()) {
        QVERIFY2(f.boxes.boxes.at(1).text.startsWith(report), qPrintable(f.boxes.boxes.at(1).text));
        QCOMPARE(f.boxes.boxes.at(1).icon, MsgIcon::Exclamation);
    }
    const QString path = f.messageFile();
    QCOMPARE(QFile::exists(path), !file.isEmpty());
    if (!file.isEmpty())
        QCOMPARE(kit::readFile(path), file);
    QCOMPARE(f.platform.count(QStringLiteral("startTextViewer")), file.isEmpty() ? 0 : 1);
    QCOMPARE(f.server.inbox().at(1).read, markedRead);
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QVERIFY(f.w.prgProgress->isHidden());

    // The session goes on: the next view of the same mail works.
    f.server.clearCannedReplies();
    f.boxes.clear();
    f.w.grdMails->SetRow(3);
    f.w.mnuCompleteMail_Click();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QCOMPARE(kit::readFile(path), SecondText);
    QVERIFY(f.server.inbox().at(1).read);
}

void TestHostileHttpMail::deletionReplies_data()
{
    QTest::addColumn<CannedReply>("canned");
    QTest::addColumn<bool>("deleted");  // the mail left the inbox
    QTest::addColumn<bool>("reported"); // a failure message was shown
    QTest::addColumn<int>("sends");     // BMOVE requests made

    const QString inbox = HttpMailServer::inboxPath();
    CannedReply stallOnce = CannedReply::stall("BMOVE", inbox, 1);
    CannedReply hangUpTwice = CannedReply::close("BMOVE", inbox, 2);
    QTest::newRow("BMOVE stalls every time") << CannedReply::stall("BMOVE", inbox) << false << true << 4;
    // Qt itself sends a request once more when a kept-alive connection
    // closes without an answer: four sends make five requests.
    QTest::newRow("BMOVE hangs up every time") << CannedReply::close("BMOVE", inbox) << false << true << 5;
    QTest::newRow("BMOVE stalls once") << stallOnce << true << false << 2;
    QTest::newRow("BMOVE hangs up twice") << hangUpTwice << true << false << 3;
    // The program does not read what BMOVE answers, only its status.
    QTest::newRow("BMOVE answers noise") << CannedReply::reply("BMOVE", inbox, 200, noise(4096, 5)) << false
                                         << false << 1;
}

void TestHostileHttpMail::deletionReplies()
{
    QFETCH(CannedReply, canned);
    QFETCH(bool, deleted);
    QFETCH(bool, reported);
    QFETCH(int, sends);
    HotmailWindowFixture f;
    QVERIFY(loginAndShowAll(f));
    f.server.addCannedReply(canned);
    f.server.clearRequests();

    f.w.grdMails->SetCol(1);
    f.w.grdMails->SetRow(3); // mail 2
    f.w.mnuDeleteMail_Click();

    QStringList texts{QStringLiteral("From:Carol <carol@example.com>\r\nSubject:Figures\r\nWant to delete?")};
    QCOMPARE(f.boxes.texts().size(), reported ? 2 : 1);
    QCOMPARE(f.boxes.texts().first(), texts.first());
    if (reported)
        QVERIFY2(f.boxes.texts().at(1).startsWith(QLatin1String("Mail 2 could not be deleted.\r\n")),
                 qPrintable(f.boxes.texts().at(1)));
    QCOMPARE(f.server.requests("BMOVE").size(), sends);
    QCOMPARE(f.server.inbox().size(), deleted ? 2 : 3);
    QCOMPARE(f.w.grdMails->Rows(), 4); // the row goes as the deletion starts
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
    QVERIFY(f.w.prgProgress->isHidden());

    // The session goes on: the next deletion works.
    f.server.clearCannedReplies();
    f.boxes.clear();
    f.w.grdMails->SetRow(2); // mail 1
    f.w.mnuDeleteMail_Click();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QCOMPARE(f.server.deletedItems().last().name, QStringLiteral("m1"));
    QCOMPARE(f.server.problems(), QStringList());
}

QTEST_MAIN(TestHostileHttpMail)
#include "test_hostile_httpmail.moc"
