// clsHotmail against an in-process HTTPMail server: what goes over the wire
// (bodies, headers, authentication), what the client makes of the replies,
// and how failures, time-outs and retries come out.

#include "httpmail/clsHotmail.h"
#include "HttpMailServer.h"

#include <QTcpServer>
#include <memory>
#include <QtTest>

using MailList = clsHotmail::MailList;
using Request = HttpMailServer::Request;
using CannedReply = HttpMailServer::CannedReply;
using HeaderList = HttpMailServer::HeaderList;

Q_DECLARE_METATYPE(HttpMailServer::AuthScheme)
Q_DECLARE_METATYPE(HttpMailServer::CannedReply)

namespace {

const QString User = QStringLiteral("someone@hotmail.com");
const QString Password = QStringLiteral("pa:ss word");

const QByteArray LoginBody =
    "<?xml version='1.0'?><D:propfind xmlns:D='DAV:' xmlns:h='http://schemas.microsoft.com/hotmail/' "
    "xmlns:hm='urn:schemas:httpmail:'><D:prop><h:adbar/><hm:contacts/><hm:inbox/><hm:outbox/>"
    "<hm:sendmsg/><hm:sentitems/><hm:deleteditems/><hm:drafts/><hm:msgfolderroot/><h:maxpoll/>"
    "<h:sig/></D:prop></D:propfind>";

const QByteArray InboxBody =
    "<?xml version='1.0'?><D:propfind xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:' "
    "xmlns:m='urn:schemas:mailheader:'><D:prop><D:isfolder/><hm:read/><m:hasattachment/><m:to/>"
    "<m:from/><m:subject/><m:date/><D:getcontentlength/></D:prop></D:propfind>";

const QByteArray MarkReadBody =
    "<?xml version='1.0'?><D:propertyupdate xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
    "<D:set><D:prop><hm:read>1</hm:read></D:prop></D:set></D:propertyupdate>";

const QByteArray MarkUnreadBody =
    "<?xml version='1.0'?><D:propertyupdate xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
    "<D:set><D:prop><hm:read>0</hm:read></D:prop></D:set></D:propertyupdate>";

QByteArray MoveBody(const QByteArray &name)
{
    return "<?xml version='1.0'?>\r\n<D:move xmlns:D='DAV:'>\r\n<D:target>\r\n<D:href>" + name
           + "</D:href></D:target>\r\n</D:move>";
}

const int ShortTimeoutMs = 500;

QList<Request> Authorized(const QList<Request> &requests)
{
    QList<Request> result;
    for (const Request &r : requests) {
        if (r.authorized)
            result.append(r);
    }
    return result;
}

QStringList MethodsAndPaths(const QList<Request> &requests)
{
    QStringList result;
    for (const Request &r : requests)
        result.append(QString::fromLatin1(r.method) + QLatin1Char(' ') + r.path);
    return result;
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestHotmailRequests : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginAndListing();
    void authenticationSchemes_data();
    void authenticationSchemes();
    void mailRequests();
    void completeMailText_data();
    void completeMailText();
    void deleteMailNames_data();
    void deleteMailNames();
    void wrongPassword();
    void noCredentialsAfterCloseConnection();
    void loginReplies_data();
    void loginReplies();
    void inboxReplies_data();
    void inboxReplies();
    void unreachableEndpoint();
    void timeouts_data();
    void timeouts();
    void mailRequestFailures_data();
    void mailRequestFailures();
    void deleteMailRetries_data();
    void deleteMailRetries();
    void deleteMailWithoutDeletedItems();
    void closeConnectionDuringRequest();
    void destroyedDuringRequest();

private:
    clsHotmail *loggedIn();

    HttpMailServer *m_server = nullptr;
    clsHotmail *m_hotmail = nullptr;
};

void TestHotmailRequests::init()
{
    m_server = new HttpMailServer(this);
    QVERIFY(m_server->start());
    m_server->setCredentials(User, Password);
    m_server->setMails({
        HttpMailServer::makeMail(QStringLiteral("MSG1001.eml"), QStringLiteral("Ann <ann@example.org>"),
                                 QStringLiteral("Hello"), QStringLiteral("2002-08-01T10:15:00"),
                                 "From: ann@example.org\r\nSubject: Hello\r\n\r\nHi!\r\n"),
        HttpMailServer::makeMail(QStringLiteral("MSG1002.eml"), QStringLiteral("bob@example.org"),
                                 QStringLiteral("Minutes & <notes>"), QStringLiteral("2002-08-02T08:00:00"),
                                 "Subject: Minutes\r\n\r\nSee attached.\r\n", true),
        HttpMailServer::makeMail(QStringLiteral("MSG1003.eml"), QStringLiteral("carol@example.org"),
                                 QString(), QStringLiteral("2002-08-03T23:59:59"),
                                 "Subject:\r\n\r\nNo subject.\r\n"),
    });
}

void TestHotmailRequests::cleanup()
{
    delete m_hotmail;
    m_hotmail = nullptr;
    // Every Digest answer the client gave was computed as the server expects.
    if (m_server)
        QCOMPARE(m_server->problems(), QStringList());
    delete m_server;
    m_server = nullptr;
}

clsHotmail *TestHotmailRequests::loggedIn()
{
    m_hotmail = new clsHotmail(m_server->endpointUrl());
    m_hotmail->DoLogin(User, Password);
    return m_hotmail;
}

void TestHotmailRequests::loginAndListing()
{
    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    QCOMPARE(hotmail->inboxURL(), m_server->inboxUrl().toString());
    QCOMPARE(hotmail->deletedItemsURL(), m_server->deletedItemsUrl().toString());

    const QString inbox = m_server->inboxUrl().toString();
    const MailList expected{
        {QStringLiteral("0"), QStringLiteral("Ann <ann@example.org>"), QStringLiteral("Hello"),
         QStringLiteral("2002-08-01T10:15:00"), QStringLiteral("46"), inbox + QStringLiteral("MSG1001.eml")},
        {QStringLiteral("1"), QStringLiteral("bob@example.org"), QStringLiteral("Minutes & <notes>"),
         QStringLiteral("2002-08-02T08:00:00"), QStringLiteral("35"), inbox + QStringLiteral("MSG1002.eml")},
        {QStringLiteral("0"), QStringLiteral("carol@example.org"), QString(),
         QStringLiteral("2002-08-03T23:59:59"), QStringLiteral("25"), inbox + QStringLiteral("MSG1003.eml")},
    };
    QCOMPARE(hotmail->GetInboxMails(), expected);
    QCOMPARE(hotmail->GetError(), QString());
    QCOMPARE(hotmail->GetTotalCount(), 3);
    QCOMPARE(hotmail->GetNewCount(), 2);

    const QList<Request> requests = m_server->requests();
    const QList<Request> authorized = Authorized(requests);
    QCOMPARE(MethodsAndPaths(authorized),
             (QStringList{QStringLiteral("PROPFIND /svcs/hotmail/httpmail.asp"),
                          QStringLiteral("PROPFIND /folders/inbox/")}));
    // Only the first request went out before the server had challenged.
    for (const Request &r : requests) {
        if (!r.authorized)
            QCOMPARE(r.path, HttpMailServer::endpointPath());
    }
    QCOMPARE(authorized.at(0).body, LoginBody);
    QCOMPARE(authorized.at(1).body, InboxBody);
    for (const Request &r : requests) {
        QVERIFY(!r.hasHeader("Depth"));
        QVERIFY(!r.hasHeader("Destination"));
        QCOMPARE(r.header("Content-Type"), QByteArray("text/xml"));
    }
}

void TestHotmailRequests::authenticationSchemes_data()
{
    QTest::addColumn<HttpMailServer::AuthScheme>("scheme");
    QTest::addColumn<QByteArray>("prefix");

    QTest::newRow("digest") << HttpMailServer::AuthScheme::Digest << QByteArray("Digest ");
    // Basic over plain HTTP is never answered: test_httpmail_credentials.
}

void TestHotmailRequests::authenticationSchemes()
{
    QFETCH(HttpMailServer::AuthScheme, scheme);
    QFETCH(QByteArray, prefix);

    m_server->setAuthScheme(scheme);
    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    const MailList mails = hotmail->GetInboxMails();
    QCOMPARE(mails.size(), 3);

    // Later requests pass no credentials of their own; the login's carry them.
    bool ok = false;
    QCOMPARE(hotmail->GetCompleteMail(clsHotmail::GetFieldURL(mails.at(0)), &ok),
             QString::fromLatin1(m_server->inbox().at(0).text));
    QVERIFY(ok);
    QVERIFY(hotmail->MarkAsRead(clsHotmail::GetFieldURL(mails.at(2))));
    QVERIFY(hotmail->DeleteMail(clsHotmail::GetFieldURL(mails.at(1))));

    const QList<Request> authorized = Authorized(m_server->requests());
    QCOMPARE(MethodsAndPaths(authorized),
             (QStringList{QStringLiteral("PROPFIND /svcs/hotmail/httpmail.asp"),
                          QStringLiteral("PROPFIND /folders/inbox/"), QStringLiteral("GET /folders/inbox/MSG1001.eml"),
                          QStringLiteral("PROPPATCH /folders/inbox/MSG1003.eml"),
                          QStringLiteral("BMOVE /folders/inbox/")}));
    for (const Request &r : authorized)
        QVERIFY2(r.header("Authorization").startsWith(prefix), r.header("Authorization").constData());
    QCOMPARE(m_server->inbox().size(), 2);
    QVERIFY(m_server->inbox().at(1).read);
}

void TestHotmailRequests::mailRequests()
{
    clsHotmail *hotmail = loggedIn();
    const MailList mails = hotmail->GetInboxMails();
    QCOMPARE(mails.size(), 3);
    const QString first = clsHotmail::GetFieldURL(mails.at(0));
    m_server->clearRequests();

    QVERIFY(hotmail->MarkAsRead(first));
    QVERIFY(m_server->inbox().at(0).read);
    QVERIFY(hotmail->MarkAsUnRead(first));
    QVERIFY(!m_server->inbox().at(0).read);
    QCOMPARE(hotmail->GetLastRequestError(), QString());

    QVERIFY(hotmail->DeleteMail(first));
    QCOMPARE(hotmail->GetLastRequestError(), QString());
    QCOMPARE(m_server->inbox().size(), 2);
    QCOMPARE(m_server->deletedItems().size(), 1);
    QCOMPARE(m_server->deletedItems().at(0).name, QStringLiteral("MSG1001.eml"));

    const QList<Request> authorized = Authorized(m_server->requests());
    QCOMPARE(MethodsAndPaths(authorized),
             (QStringList{QStringLiteral("PROPPATCH /folders/inbox/MSG1001.eml"),
                          QStringLiteral("PROPPATCH /folders/inbox/MSG1001.eml"),
                          QStringLiteral("BMOVE /folders/inbox/")}));
    QCOMPARE(authorized.at(0).body, MarkReadBody);
    QCOMPARE(authorized.at(1).body, MarkUnreadBody);
    QVERIFY(!authorized.at(0).hasHeader("Destination"));

    const Request &move = authorized.at(2);
    QCOMPARE(move.body, MoveBody("MSG1001.eml"));
    // The four headers the move sets, in the order it sets them.
    HeaderList moveHeaders;
    for (const auto &h : move.headers) {
        if (h.first == "Destination" || h.first == "Content-Type" || h.first == "Allow-Rename"
            || h.first == "User-Agent")
            moveHeaders.append(h);
    }
    const HeaderList expected{
        {"Destination", m_server->deletedItemsUrl().toString().toUtf8()},
        {"Content-Type", "text/xml"},
        {"Allow-Rename", "t"},
        {"User-Agent", "Outlook-Express/6.0 (MSIE 6.0;Windows NT 5.1; .NET CLR 1.0.3705; TmstmpExt)"},
    };
    QCOMPARE(moveHeaders, expected);
}

void TestHotmailRequests::completeMailText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("Subject: Hi\r\n\r\nbody\r\n.\r\n")
                           << QStringLiteral("Subject: Hi\r\n\r\nbody\r\n.\r\n");
    QTest::newRow("utf-8") << QByteArray("Subject: caf\xc3\xa9\r\n\r\n\xe2\x82\xac\r\n")
                           << QStringLiteral("Subject: caf\u00e9\r\n\r\n\u20ac\r\n");
    // Not UTF-8: every octet must come through as it was.
    QTest::newRow("8-bit") << QByteArray("Subject: caf\xe9\r\n\r\n\xe9t\xe9 \xff\r\n")
                           << QString::fromLatin1("Subject: caf\xe9\r\n\r\n\xe9t\xe9 \xff\r\n");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestHotmailRequests::completeMailText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    m_server->setMails({HttpMailServer::makeMail(QStringLiteral("M.eml"), QStringLiteral("a@b"),
                                                 QStringLiteral("s"), QStringLiteral("d"), bytes)});
    clsHotmail *hotmail = loggedIn();
    bool ok = false;
    QCOMPARE(hotmail->GetCompleteMail(m_server->mailUrl(QStringLiteral("M.eml")).toString(), &ok), text);
    QVERIFY(ok);
    QCOMPARE(hotmail->GetLastStatus(), 200);
    const QList<Request> gets = Authorized(m_server->requests("GET"));
    QCOMPARE(gets.size(), 1);
    QCOMPARE(gets.at(0).body, QByteArray());
}

void TestHotmailRequests::deleteMailNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("moved");

    QTest::newRow("name after the last slash") << QStringLiteral("%1MSG1002.eml") << QByteArray("MSG1002.eml") << 1;
    QTest::newRow("URL ending in a slash sends an empty name") << QStringLiteral("%1") << QByteArray() << 0;
    QTest::newRow("no slash: the whole text") << QStringLiteral("MSG1003.eml") << QByteArray("MSG1003.eml") << 1;
    QTest::newRow("name not escaped") << QStringLiteral("%1a&b") << QByteArray("a&b") << 0;
}

void TestHotmailRequests::deleteMailNames()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, name);
    QFETCH(int, moved);

    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    m_server->clearRequests();
    const QString sURL = url.contains(QLatin1String("%1")) ? url.arg(m_server->inboxUrl().toString()) : url;
    hotmail->DeleteMail(sURL);

    const QList<Request> moves = Authorized(m_server->requests("BMOVE"));
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.at(0).path, HttpMailServer::inboxPath());
    QCOMPARE(moves.at(0).body, MoveBody(name));
    QCOMPARE(m_server->deletedItems().size(), moved);
}

void TestHotmailRequests::wrongPassword()
{
    m_hotmail = new clsHotmail(m_server->endpointUrl());
    m_hotmail->DoLogin(User, QStringLiteral("wrong"));
    // The refusal is an HTML page: no error text, no mails, which the window
    // counts as a failed attempt.
    QCOMPARE(m_hotmail->GetError(), QString());
    QCOMPARE(m_hotmail->GetInboxMails(), MailList());
    QCOMPARE(m_hotmail->GetTotalCount(), 0);
    QCOMPARE(m_hotmail->GetLastStatus(), 401);
    QVERIFY(!m_server->requests().isEmpty());
    QCOMPARE(Authorized(m_server->requests()).size(), 0);
    QCOMPARE(m_server->requests(QByteArrayLiteral("PROPFIND")).size(), m_server->requests().size());
    for (const Request &r : m_server->requests())
        QCOMPARE(r.path, HttpMailServer::endpointPath());
}

void TestHotmailRequests::noCredentialsAfterCloseConnection()
{
    clsHotmail *hotmail = loggedIn();
    const MailList mails = hotmail->GetInboxMails();
    QCOMPARE(mails.size(), 3);
    const QString url = clsHotmail::GetFieldURL(mails.at(0));
    bool ok = false;
    hotmail->GetCompleteMail(url, &ok);
    QVERIFY(ok);

    hotmail->CloseConnection();
    m_server->clearRequests();

    const QString text = hotmail->GetCompleteMail(url, &ok);
    QVERIFY(!ok);
    QCOMPARE(hotmail->GetLastStatus(), 401);
    QVERIFY(!hotmail->GetLastRequestError().isEmpty());
    QVERIFY(text.contains(QLatin1String("401 Unauthorized")));   // the page, as the server sent it
    QVERIFY(!hotmail->MarkAsRead(url));
    QVERIFY(!m_server->inbox().at(0).read);

    const QList<Request> requests = m_server->requests();
    QCOMPARE(MethodsAndPaths(requests),
             (QStringList{QStringLiteral("GET /folders/inbox/MSG1001.eml"),
                          QStringLiteral("PROPPATCH /folders/inbox/MSG1001.eml")}));
    for (const Request &r : requests) {
        QVERIFY(!r.authorized);
        QVERIFY(!r.hasHeader("Authorization"));
    }
}

void TestHotmailRequests::loginReplies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("reply");     // %1 = the server's base URL
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("folderTags");
    QTest::addColumn<bool>("inboxRequested");

    QTest::newRow("html page") << 200 << QByteArray("text/html")
                               << QStringLiteral("<html><body>We are busy<br>Try later</body></html>")
                               << QString() << QStringList() << false;
    QTest::newRow("server error, not xml") << 500 << QByteArray("text/plain")
                                           << QStringLiteral("Internal Server Error") << QString()
                                           << QStringList() << false;
    QTest::newRow("xml without folder elements")
        << 207 << QByteArray("text/xml")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:'><D:response><D:href>%1/x</D:href></D:response>"
                          "</D:multistatus>")
        << QStringLiteral("Unable to access inbox") << QStringList{QStringLiteral("<D:href>%1/x")} << false;
    QTest::newRow("httpmail namespace under another prefix")
        << 207 << QByteArray("text/xml")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:x='urn:schemas:httpmail:'>"
                          "<x:inbox>%1/folders/inbox/</x:inbox><x:deleteditems>%1/folders/deleted/"
                          "</x:deleteditems></D:multistatus>")
        << QStringLiteral("Unable to access inbox")
        << QStringList{QStringLiteral("<x:inbox>%1/folders/inbox/"),
                       QStringLiteral("<x:deleteditems>%1/folders/deleted/")}
        << false;
    QTest::newRow("relative inbox URL")
        << 207 << QByteArray("text/xml")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
                          "<hm:inbox>/folders/inbox/</hm:inbox></D:multistatus>")
        << QStringLiteral("Unable to access inbox") << QStringList{QStringLiteral("<hm:inbox>/folders/inbox/")}
        << false;
    QTest::newRow("inbox at a closed port")
        << 207 << QByteArray("text/xml")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
                          "<hm:inbox>http://127.0.0.1:%2/folders/inbox/</hm:inbox></D:multistatus>")
        << QStringLiteral("Unable to access inbox")
        << QStringList{QStringLiteral("<hm:inbox>http://127.0.0.1:%2/folders/inbox/")} << false;
    QTest::newRow("inbox URL is the last text")
        << 207 << QByteArray("text/xml")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
                          "<hm:deleteditems>%1/folders/deleted/</hm:deleteditems>"
                          "<hm:inbox>%1/folders/inbox/</hm:inbox></D:multistatus>")
        << QString()
        << QStringList{QStringLiteral("<hm:deleteditems>%1/folders/deleted/"),
                       QStringLiteral("<hm:inbox>%1/folders/inbox/")}
        << true;
}

void TestHotmailRequests::loginReplies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, reply);
    QFETCH(QString, error);
    QFETCH(QStringList, folderTags);
    QFETCH(bool, inboxRequested);

    const QString base = m_server->baseUrl().toString();
    const QString closedPort = QString::number(ClosedPort());
    const auto fill = [&](QString text) {
        return text.replace(QLatin1String("%1"), base).replace(QLatin1String("%2"), closedPort);
    };
    for (QString &tag : folderTags)
        tag = fill(tag);
    m_server->addCannedReply(CannedReply::reply("PROPFIND", HttpMailServer::endpointPath(), status,
                                                fill(reply).toUtf8(), contentType));

    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), error);
    QCOMPARE(hotmail->folderTags(), folderTags);
    QCOMPARE(!m_server->requests("PROPFIND").isEmpty()
                 && m_server->requests("PROPFIND").last().path == HttpMailServer::inboxPath(),
             inboxRequested);
    const MailList mails = hotmail->GetInboxMails();
    QCOMPARE(mails.size(), inboxRequested ? 3 : 0);
}

void TestHotmailRequests::inboxReplies_data()
{
    QTest::addColumn<CannedReply>("canned");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("mails");

    QTest::newRow("not xml") << CannedReply::reply("PROPFIND", HttpMailServer::inboxPath(), 200,
                                                   "<html>Mailbox locked<br></html>", "text/html")
                             << QString() << 0;
    QTest::newRow("error status with a listing")
        << CannedReply::reply("PROPFIND", HttpMailServer::inboxPath(), 500,
                              "<D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:' "
                              "xmlns:m='urn:schemas:mailheader:'><D:response><D:href>u</D:href>"
                              "<hm:read>0</hm:read><m:from>f</m:from><m:subject>s</m:subject>"
                              "<m:date>d</m:date><D:getcontentlength>1</D:getcontentlength>"
                              "</D:response></D:multistatus>")
        << QString() << 1;
    QTest::newRow("connection closed") << CannedReply::close("PROPFIND", HttpMailServer::inboxPath())
                                       << QStringLiteral("Unable to access inbox") << 0;
}

void TestHotmailRequests::inboxReplies()
{
    QFETCH(CannedReply, canned);
    QFETCH(QString, error);
    QFETCH(int, mails);

    m_server->addCannedReply(canned);
    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), error);
    QCOMPARE(hotmail->GetInboxMails().size(), mails);
}

void TestHotmailRequests::unreachableEndpoint()
{
    const QString endpoint =
        QStringLiteral("http://127.0.0.1:%1/svcs/hotmail/httpmail.asp").arg(ClosedPort());
    m_hotmail = new clsHotmail(QUrl(endpoint));
    m_hotmail->DoLogin(User, Password);
    QCOMPARE(m_hotmail->GetError(), QStringLiteral("Unable to connect to Hotmail"));
    QCOMPARE(m_hotmail->inboxURL(), QString());
    QCOMPARE(m_hotmail->GetInboxMails(), MailList());
    QCOMPARE(m_hotmail->GetTotalCount(), 0);
}

void TestHotmailRequests::timeouts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");

    QTest::newRow("login request") << HttpMailServer::endpointPath() << QStringLiteral("Unable to connect to Hotmail");
    QTest::newRow("inbox request") << HttpMailServer::inboxPath() << QStringLiteral("Unable to access inbox");
}

void TestHotmailRequests::timeouts()
{
    QFETCH(QString, path);
    QFETCH(QString, error);

    m_server->addCannedReply(CannedReply::stall("PROPFIND", path));
    m_hotmail = new clsHotmail(m_server->endpointUrl());
    m_hotmail->setTimeout(ShortTimeoutMs);
    m_hotmail->DoLogin(User, Password);
    QCOMPARE(m_hotmail->GetError(), error);
    QCOMPARE(m_hotmail->GetInboxMails(), MailList());
}

void TestHotmailRequests::mailRequestFailures_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<CannedReply>("canned");

    // Each canned reply serves one request; the one after it is answered normally.
    const auto once = [](CannedReply canned) {
        canned.times = 1;
        return canned;
    };
    QTest::newRow("GET times out") << QByteArray("GET") << once(CannedReply::stall("GET", QString()));
    QTest::newRow("PROPPATCH times out") << QByteArray("PROPPATCH")
                                         << once(CannedReply::stall("PROPPATCH", QString()));
    CannedReply cut = CannedReply::reply("GET", QString(), 200, "From: a\r\n", "message/rfc822");
    cut.headers.append(qMakePair(QByteArray("Content-Length"), QByteArray("500")));
    cut.closeAfter = true;
    QTest::newRow("GET reply cut off") << QByteArray("GET") << once(cut);
    QTest::newRow("GET error status")
        << QByteArray("GET") << once(CannedReply::reply("GET", QString(), 404, "<html>gone</html>", "text/html"));
    QTest::newRow("PROPPATCH error status")
        << QByteArray("PROPPATCH") << once(CannedReply::reply("PROPPATCH", QString(), 403, "no", "text/plain"));
    QTest::newRow("BMOVE bad request")
        << QByteArray("BMOVE") << once(CannedReply::reply("BMOVE", QString(), 400, "bad", "text/plain"));
    QTest::newRow("BMOVE server error")
        << QByteArray("BMOVE") << once(CannedReply::reply("BMOVE", QString(), 500, "busy", "text/plain"));
}

void TestHotmailRequests::mailRequestFailures()
{
    QFETCH(QByteArray, method);
    QFETCH(CannedReply, canned);

    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    hotmail->setTimeout(ShortTimeoutMs);
    m_server->addCannedReply(canned);
    const QString url = m_server->mailUrl(QStringLiteral("MSG1001.eml")).toString();

    bool ok = true;
    if (method == "GET")
        hotmail->GetCompleteMail(url, &ok);
    else if (method == "PROPPATCH")
        ok = hotmail->MarkAsRead(url);
    else
        ok = hotmail->DeleteMail(url);
    QVERIFY(!ok);
    QVERIFY(!hotmail->GetLastRequestError().isEmpty());
    // These failures are the caller's to report; the login's error text stays.
    QCOMPARE(hotmail->GetError(), QString());

    // The next request of the same object works again.
    QVERIFY(hotmail->MarkAsUnRead(url));
    QCOMPARE(hotmail->GetLastRequestError(), QString());
}

void TestHotmailRequests::deleteMailRetries_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("sends");
    QTest::addColumn<bool>("moved");

    QTest::newRow("first send succeeds") << 0 << 1 << true;
    QTest::newRow("second send succeeds") << 1 << 2 << true;
    QTest::newRow("fourth send succeeds") << 3 << 4 << true;
    QTest::newRow("all four sends fail") << 4 << 4 << false;
    QTest::newRow("no fifth send") << 6 << 4 << false;
}

void TestHotmailRequests::deleteMailRetries()
{
    QFETCH(int, failures);
    QFETCH(int, sends);
    QFETCH(bool, moved);

    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    hotmail->setTimeout(ShortTimeoutMs);
    if (failures > 0)
        m_server->addCannedReply(CannedReply::stall("BMOVE", HttpMailServer::inboxPath(), failures));
    m_server->clearRequests();

    QCOMPARE(hotmail->DeleteMail(m_server->mailUrl(QStringLiteral("MSG1002.eml")).toString()), moved);
    QCOMPARE(hotmail->GetLastRequestError().isEmpty(), moved);

    const QList<Request> moves = Authorized(m_server->requests("BMOVE"));
    QCOMPARE(moves.size(), sends);
    for (const Request &r : moves) {
        QCOMPARE(r.body, MoveBody("MSG1002.eml"));
        QCOMPARE(r.header("Destination"), m_server->deletedItemsUrl().toString().toUtf8());
    }
    QCOMPARE(m_server->deletedItems().size(), moved ? 1 : 0);
    QCOMPARE(m_server->inbox().size(), moved ? 2 : 3);
}

void TestHotmailRequests::deleteMailWithoutDeletedItems()
{
    const QString base = m_server->baseUrl().toString();
    m_server->addCannedReply(CannedReply::reply(
        "PROPFIND", HttpMailServer::endpointPath(), 207,
        QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:'>"
                       "<hm:inbox>%1/folders/inbox/</hm:inbox></D:multistatus>")
            .arg(base)
            .toUtf8()));
    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    QCOMPARE(hotmail->deletedItemsURL(), QString());

    QVERIFY(!hotmail->DeleteMail(m_server->mailUrl(QStringLiteral("MSG1001.eml")).toString()));
    QVERIFY(!hotmail->GetLastRequestError().isEmpty());
    QCOMPARE(m_server->requests("BMOVE").size(), 0);
    QCOMPARE(m_server->inbox().size(), 3);
}

void TestHotmailRequests::closeConnectionDuringRequest()
{
    clsHotmail *hotmail = loggedIn();
    QCOMPARE(hotmail->GetError(), QString());
    m_server->addCannedReply(CannedReply::stall("GET", QString(), 1));
    // Something the event loop runs while the request waits (a timer of the
    // window, say) ends the session.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(m_server, &HttpMailServer::requestReceived, hotmail, [hotmail, once](const Request &r) {
        if (r.method == "GET") {
            QObject::disconnect(*once);
            hotmail->CloseConnection();
        }
    });
    const QString url = m_server->mailUrl(QStringLiteral("MSG1001.eml")).toString();
    bool ok = true;
    QCOMPARE(hotmail->GetCompleteMail(url, &ok), QString());
    QVERIFY(!ok);
    QVERIFY(!hotmail->GetLastRequestError().isEmpty());

    m_server->clearRequests();
    hotmail->GetCompleteMail(url, &ok);
    QVERIFY(!ok);
    QCOMPARE(hotmail->GetLastStatus(), 401);
    QCOMPARE(Authorized(m_server->requests()).size(), 0);
}

void TestHotmailRequests::destroyedDuringRequest()
{
    auto *hotmail = new clsHotmail(m_server->endpointUrl());
    hotmail->DoLogin(User, Password);
    QCOMPARE(hotmail->GetError(), QString());
    m_server->addCannedReply(CannedReply::stall("GET", QString(), 1));
    connect(m_server, &HttpMailServer::requestReceived, hotmail, [hotmail](const Request &r) {
        if (r.method == "GET")
            delete hotmail;
    });
    const QPointer<clsHotmail> guard(hotmail);
    bool ok = true;
    QCOMPARE(hotmail->GetCompleteMail(m_server->mailUrl(QStringLiteral("MSG1001.eml")).toString(), &ok),
             QString());
    QVERIFY(!ok);
    QVERIFY(!guard);
}

QTEST_GUILESS_MAIN(TestHotmailRequests)
#include "test_hotmail_requests.moc"
