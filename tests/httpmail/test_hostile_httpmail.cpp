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
#include <QTemporaryDir>
#include <QtTest>

using CannedReply = HttpMailServer::CannedReply;

Q_DECLARE_METATYPE(HttpMailServer::CannedReply)

namespace {

const QString User = QStringLiteral("alice@hotmail.com");
const QString Password = QStringLiteral("secret");
const QString NoLogin = QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or "
                                       "Hotmail servers are busy.\r\n Please try again. ");
// Short enough for a test, long enough for a loaded machine's loopback.
constexpr int TimeoutMs = 300;

const QByteArray MailText = "From: Bob <bob@example.com>\r\nSubject: Hello\r\n\r\nHi there.\r\n";
const QByteArray SecondText = "From: Carol <carol@example.com>\r\nSubject: Figures\r\n\r\n1, 2, 3.\r\n";

void fillMailbox(HttpMailServer &server)
{
    server.setCredentials(User, Password);
    server.setMails({
        HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", MailText, true),
        HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z", SecondText, false),
        HttpMailServer::makeMail("m3", "Dave <dave@example.com>", "Photos", "2004-08-05T08:30:00Z", "yy", false),
    });
}

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

// Which action controls are enabled, in a fixed order.
QList<bool> enabledControls(const frmMain &w)
{
    return {w.cmdLogin->isEnabled(), w.cmdStats->isEnabled(), w.cmdLoad->isEnabled(), w.cmdSave->isEnabled(),
            w.cmdDelete->isEnabled(), w.cmdShow->isEnabled(), w.ckAutoLogin->isEnabled()};
}
const QList<bool> AllEnabled{true, true, true, true, true, true, true};

bool login(frmMain &w)
{
    return kit::loginHotmail(w, User, Password);
}

// Lists every mail in the grid with the window's own Show.
bool showAll(frmMain &w)
{
    w.cboFrom->setEditText(QStringLiteral("1"));
    w.cboTill->setEditText(w.lblMails->text());
    w.cmdShow_Click(); // no network: done inside the click
    return w.cmdShow->text() == QLatin1String("Show") && w.prgProgress->isHidden();
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
        QVERIFY(m_programDir.isValid());
        QFile::remove(QDir(m_programDir.path()).filePath(QStringLiteral("test.eml")));
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

private:
    QTemporaryDir m_programDir;
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
    MessageBoxRecorder boxes;
    HttpMailServer server;
    QVERIFY(server.start());
    fillMailbox(server);
    if (canned.body.startsWith('@')) {
        const QByteArray xml = canned.body.startsWith("@login@") ? server.loginReplyXml() : server.inboxReplyXml();
        canned.body = canned.body.endsWith("@half@") ? xml.left(xml.size() / 2) : xml;
    }
    server.addCannedReply(canned);

    frmMain w(server.endpointUrl().toString());
    w.setHttpMailTimeout(TimeoutMs);
    QCOMPARE(login(w), loggedIn);
    QVERIFY(w.prgProgress->isHidden());
    QVERIFY(w.lblProgress->isHidden());
    QCOMPARE(enabledControls(w).first(), true);
    if (loggedIn) {
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QCOMPARE(clsHotmail::GetFieldSubject(kit::session(w).colHotmailIds().at(2)), QStringLiteral("Photos"));
        QVERIFY(showAll(w));
        QCOMPARE(w.grdMails->TextMatrix(3, 2), QStringLiteral("Figures"));
    } else {
        QCOMPARE(boxes.texts(), QStringList{NoLogin});
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(w.fraStats->isHidden());
        // Five attempts, each a new client that is challenged once.
        int attempts = 0;
        for (const HttpMailServer::Request &request : server.requests("PROPFIND"))
            attempts += !request.authorized && request.path == HttpMailServer::endpointPath();
        QCOMPARE(attempts, 5);
    }
    QCOMPARE(server.problems(), QStringList());
}

void TestHostileHttpMail::twentyThousandMails()
{
    constexpr int Count = 20000;
    MessageBoxRecorder boxes;
    PlatformRecorder platform;
    HttpMailServer server;
    QVERIFY(server.start());
    server.setCredentials(User, Password);
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
    server.setMails(mails);

    frmMain w(server.endpointUrl().toString());
    w.setProgramFolder(m_programDir.path());
    QVERIFY(login(w));
    QCOMPARE(w.lblMails->text(), QString::number(Count));
    QCOMPARE(w.lblMailSize->text(), QString::number(total));
    QCOMPARE(w.lblNewMails->text(), QStringLiteral("6666 new mail(s)"));
    QCOMPARE(w.cboTill->currentText(), QString::number(Count));
    QCOMPARE(w.cboDelFrom->count(), Count);

    w.cmdStats_Click();
    QCOMPARE(w.grdStats->Rows(), Count + 1);
    QCOMPARE(w.grdStats->TextMatrix(Count, 0), QString::number(Count));

    QVERIFY(showAll(w));
    QCOMPARE(w.grdMails->Rows(), Count + 2);
    QCOMPARE(w.grdMails->TextMatrix(Count + 1, 1), QStringLiteral("Sender %1").arg(Count));
    QCOMPARE(w.grdMails->TextMatrix(Count + 1, 3), QString::number(Count));
    QCOMPARE(w.grdMails->TextMatrix(Count + 1, 5), server.mailUrl(QStringLiteral("MSG%1.eml").arg(Count)).toString());
    QVERIFY(boxes.boxes.isEmpty());

    // The last mail, viewed and deleted, is the last mail.
    w.grdMails->SetCol(1);
    w.grdMails->SetRow(Count + 1);
    w.mnuCompleteMail_Click();
    QCOMPARE(kit::readFile(QDir(m_programDir.path()).filePath(QStringLiteral("test.eml"))), mails.last().text);
    QVERIFY(server.inbox().last().read);
    w.grdMails->SetRow(Count + 1);
    w.mnuDeleteMail_Click();
    QCOMPARE(server.inbox().size(), Count - 1);
    QCOMPARE(server.deletedItems().size(), 1);
    QCOMPARE(server.deletedItems().first().name, QStringLiteral("MSG%1.eml").arg(Count));
    QCOMPARE(w.grdMails->Rows(), Count + 1);
    QCOMPARE(enabledControls(w), AllEnabled);
    QCOMPARE(server.problems(), QStringList());
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
    MessageBoxRecorder boxes;
    HttpMailServer server;
    QVERIFY(server.start());
    fillMailbox(server);
    const QString base = server.inboxUrl().toString();
    const QString megaSubject(1 << 20, QLatin1Char('s'));
    // Control characters XML lets through.
    const QString controls = QString::fromUtf8("Eve \t<eve@example.com>\x7f\xc2\x85\xc2\x9b");
    const QString subject = QString::fromUtf8("ctl \xc2\x9b" "31m red \xe2\x80\x8e");
    server.addCannedReply(CannedReply::reply(
        "PROPFIND", HttpMailServer::inboxPath(), 207,
        inboxXml({{base + "m1", "0", "Bob <bob@example.com>", megaSubject, "2004-08-03T10:11:12Z", lengths.at(0)},
                  {base + "m2", "yes", controls, subject, "not a date", lengths.at(1)},
                  {base + "m3", "0", QString(), QString(), QString(), lengths.at(2)}})));

    frmMain w(server.endpointUrl().toString());
    w.setHttpMailTimeout(TimeoutMs);
    QVERIFY(login(w));
    QCOMPARE(w.lblMails->text(), QStringLiteral("3"));
    QCOMPARE(w.lblMailSize->text(), totalSize);
    QCOMPARE(w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
    w.cmdStats_Click();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(w.grdStats->TextMatrix(n, 1), lengths.at(n - 1)); // shown as sent

    QVERIFY(showAll(w));
    QCOMPARE(w.grdMails->Rows(), 5);
    QCOMPARE(w.grdMails->TextMatrix(2, 2), megaSubject);
    QCOMPARE(w.grdMails->TextMatrix(3, 1), controls);
    QCOMPARE(w.grdMails->TextMatrix(3, 2), subject);
    QCOMPARE(w.grdMails->TextMatrix(3, 0), QStringLiteral("not a date"));
    QCOMPARE(w.grdMails->TextMatrix(4, 1), QString());
    QCOMPARE(w.grdMails->TextMatrix(4, 4), lengths.at(2));
    QCOMPARE(w.grdMails->TextMatrix(4, 5), base + "m3");

    // Filters run over these texts like any other.
    w.txtFrom->setText(QStringLiteral("eve"));
    QVERIFY(showAll(w));
    QCOMPARE(w.grdMails->Rows(), 3);
    QCOMPARE(w.grdMails->TextMatrix(2, 3), QStringLiteral("2"));
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(enabledControls(w), AllEnabled);
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
    MessageBoxRecorder boxes;
    PlatformRecorder platform;
    HttpMailServer server;
    QVERIFY(server.start());
    fillMailbox(server);
    frmMain w(server.endpointUrl().toString());
    w.setProgramFolder(m_programDir.path());
    w.setHttpMailTimeout(TimeoutMs);
    QVERIFY(login(w));
    QVERIFY(showAll(w));
    server.addCannedReply(canned);

    w.grdMails->SetCol(1);
    w.grdMails->SetRow(3); // mail 2
    w.mnuCompleteMail_Click();

    QCOMPARE(boxes.boxes.size(), report.isEmpty() ? 1 : 2);
    QVERIFY(boxes.boxes.first().text.endsWith(QLatin1String("Want to View?")));
    if (!report.isEmpty()) {
        QVERIFY2(boxes.boxes.at(1).text.startsWith(report), qPrintable(boxes.boxes.at(1).text));
        QCOMPARE(boxes.boxes.at(1).icon, MsgIcon::Exclamation);
    }
    const QString path = QDir(m_programDir.path()).filePath(QStringLiteral("test.eml"));
    QCOMPARE(QFile::exists(path), !file.isEmpty());
    if (!file.isEmpty())
        QCOMPARE(kit::readFile(path), file);
    QCOMPARE(platform.count(QStringLiteral("startTextViewer")), file.isEmpty() ? 0 : 1);
    QCOMPARE(server.inbox().at(1).read, markedRead);
    QCOMPARE(enabledControls(w), AllEnabled);
    QVERIFY(w.prgProgress->isHidden());

    // The session goes on: the next view of the same mail works.
    server.clearCannedReplies();
    boxes.clear();
    w.grdMails->SetRow(3);
    w.mnuCompleteMail_Click();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(kit::readFile(path), SecondText);
    QVERIFY(server.inbox().at(1).read);
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
    MessageBoxRecorder boxes;
    HttpMailServer server;
    QVERIFY(server.start());
    fillMailbox(server);
    frmMain w(server.endpointUrl().toString());
    w.setHttpMailTimeout(TimeoutMs);
    QVERIFY(login(w));
    QVERIFY(showAll(w));
    server.addCannedReply(canned);
    server.clearRequests();

    w.grdMails->SetCol(1);
    w.grdMails->SetRow(3); // mail 2
    w.mnuDeleteMail_Click();

    QStringList texts{QStringLiteral("From:Carol <carol@example.com>\r\nSubject:Figures\r\nWant to delete?")};
    QCOMPARE(boxes.texts().size(), reported ? 2 : 1);
    QCOMPARE(boxes.texts().first(), texts.first());
    if (reported)
        QVERIFY2(boxes.texts().at(1).startsWith(QLatin1String("Mail 2 could not be deleted.\r\n")),
                 qPrintable(boxes.texts().at(1)));
    QCOMPARE(server.requests("BMOVE").size(), sends);
    QCOMPARE(server.inbox().size(), deleted ? 2 : 3);
    QCOMPARE(w.grdMails->Rows(), 4); // the row goes as the deletion starts
    QCOMPARE(enabledControls(w), AllEnabled);
    QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
    QVERIFY(w.prgProgress->isHidden());

    // The session goes on: the next deletion works.
    server.clearCannedReplies();
    boxes.clear();
    w.grdMails->SetRow(2); // mail 1
    w.mnuDeleteMail_Click();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(server.deletedItems().last().name, QStringLiteral("m1"));
    QCOMPARE(server.problems(), QStringList());
}

QTEST_MAIN(TestHostileHttpMail)
#include "test_hostile_httpmail.moc"
