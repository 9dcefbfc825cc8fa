// Where an HTTPMail login's password may go: challenges are answered only
// for the service's own host (or its domain), Basic never over plain HTTP,
// and a reply body that never ends is cut off. The real window logs in
// against the in-process HTTPMail service and hostile hosts beside it; the
// challenge reader and the Digest answer are checked on their own in tables.

#include "httpmail/HttpAuthentication.h"
#include "HttpMailServer.h"
#include "WindowTestKit.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using CannedReply = HttpMailServer::CannedReply;
using HttpAuthentication::Challenge;

namespace {

const QString NoLogin = QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or "
                                       "Hotmail servers are busy.\r\n Please try again. ");

QStringList authorizationsSeen(const HttpMailServer &server)
{
    QStringList seen;
    for (const HttpMailServer::Request &request : server.requests()) {
        if (request.hasHeader("Authorization"))
            seen << QString::fromLatin1(request.method + ' ' + request.target + ": " + request.header("Authorization"));
    }
    return seen;
}

// An HTTP server whose every reply body goes on for ever (or announces a
// size beyond any cap); it counts what it wrote to each connection before
// the client hung up.
class FloodServer : public QObject
{
public:
    explicit FloodServer(const QByteArray &head)
        : m_head(head)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/svcs/hotmail/httpmail.asp").arg(m_server.serverPort())); }
    // Octets written per connection, once each connection has ended.
    QList<qint64> writtenPerConnection() const { return m_ended; }
    int connections() const { return m_connections; }

private:
    void serve(QTcpSocket *socket)
    {
        ++m_connections;
        auto *written = new qint64(0);
        const QByteArray piece(256 * 1024, 'x');
        const auto more = [socket, written, piece] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * piece.size()) {
                socket->write(piece);
                *written += piece.size();
            }
        };
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, written, more] {
            socket->readAll();
            if (*written == 0) {
                socket->write(m_head);
                more();
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, written] {
            m_ended.append(*written - socket->bytesToWrite());
            delete written;
            socket->deleteLater();
        });
    }

    QTcpServer m_server;
    QByteArray m_head;
    QList<qint64> m_ended;
    int m_connections = 0;
};

} // namespace

Q_DECLARE_METATYPE(CannedReply)

class TestHttpMailCredentials : public QObject
{
    Q_OBJECT
private slots:
    void basicOverPlainHttpIsNeverAnswered()
    {
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setAuthScheme(HttpMailServer::AuthScheme::Basic);
        f.server.setMails(kit::threeHotmailMails("a", "b", "c"));
        QVERIFY(!f.login());
        QCOMPARE(f.boxes.texts(), QStringList{NoLogin});
        // Five attempts, each asked once and never answered.
        QCOMPARE(f.server.requests().size(), 5);
        QCOMPARE(authorizationsSeen(f.server), QStringList());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    }

    void digestIsAnsweredOnlyForTheServiceHost_data()
    {
        QTest::addColumn<bool>("redirect");
        QTest::newRow("the folder list names an inbox on another host") << false;
        QTest::newRow("the service sends the login to another host") << true;
    }
    void digestIsAnsweredOnlyForTheServiceHost()
    {
        QFETCH(bool, redirect);
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails(kit::threeHotmailMails("a", "b", "c"));
        // Another host: the same machine by another name, with a Digest
        // challenge of its own and the same user, as a thief would set it up.
        HttpMailServer elsewhere;
        QVERIFY(elsewhere.start());
        elsewhere.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        elsewhere.setMails(kit::threeHotmailMails("a", "b", "c"));
        QUrl otherInbox = elsewhere.inboxUrl();
        otherInbox.setHost(QStringLiteral("localhost"));
        if (redirect) {
            QUrl otherEndpoint = elsewhere.endpointUrl();
            otherEndpoint.setHost(QStringLiteral("localhost"));
            CannedReply moved = CannedReply::reply("PROPFIND", HttpMailServer::endpointPath(), 307, QByteArray());
            moved.reason = "Temporary Redirect";
            moved.headers.append({"Location", otherEndpoint.toEncoded()});
            moved.beforeAuth = true;
            f.server.addCannedReply(moved);
        } else {
            QByteArray folders = f.server.loginReplyXml();
            folders.replace(f.server.inboxUrl().toEncoded(), otherInbox.toEncoded());
            f.server.addCannedReply(CannedReply::reply("PROPFIND", HttpMailServer::endpointPath(), 207, folders));
        }

        QVERIFY(!f.login());
        QCOMPARE(f.boxes.texts(), QStringList{NoLogin});
        // The other host was asked, and got no answer to its challenge.
        QVERIFY(!elsewhere.requests().isEmpty());
        QCOMPARE(authorizationsSeen(elsewhere), QStringList());
        QCOMPARE(elsewhere.problems(), QStringList());
    }

    void endlessReplyBodyEndsTheRequest_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("a body that never ends")
            << QByteArray("HTTP/1.1 207 Multi-Status\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n");
        QTest::newRow("a body announced bigger than any listing")
            << QByteArray("HTTP/1.1 207 Multi-Status\r\nContent-Type: text/xml\r\nContent-Length: 1500000000\r\n\r\n");
    }
    void endlessReplyBodyEndsTheRequest()
    {
        QFETCH(QByteArray, head);
        FloodServer flood(head);
        WindowRecorders recorders;
        frmMain w(flood.url().toString());
        w.setProgramFolder(recorders.programDir.path());
        QVERIFY(!kit::loginHotmail(w));
        QCOMPARE(recorders.boxes.texts(), QStringList{NoLogin});
        QCOMPARE(flood.connections(), 5);
        QTRY_COMPARE_WITH_TIMEOUT(flood.writtenPerConnection().size(), 5, 30000);
        // Each attempt was cut off at the cap, not at the time-out (by which a
        // loopback flood is gigabytes long). What the server wrote also fills
        // the sockets' buffers on both sides, so it may pass the cap a little.
        constexpr qint64 Cap = 64 * 1024 * 1024;
        for (qint64 written : flood.writtenPerConnection())
            QVERIFY2(written < 2 * Cap, qPrintable(QString::number(written)));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
    }

    void readsChallenges_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QStringList>("schemes");
        QTest::addColumn<QString>("digestRealm");
        QTest::newRow("one Digest") << QByteArray("Digest realm=\"mail\", qop=\"auth\", nonce=\"n1\"")
                                    << QStringList{"digest"} << "mail";
        QTest::newRow("Basic and Digest joined by Qt")
            << QByteArray("Basic realm=\"a, Digest b\", Digest realm=\"x\", nonce=\"n\"")
            << QStringList{"basic", "digest"} << "x";
        QTest::newRow("on two lines") << QByteArray("Basic realm=\"a\"\nDigest nonce=\"n\", realm=\"y\"")
                                      << QStringList{"basic", "digest"} << "y";
        QTest::newRow("escaped quote in a realm")
            << QByteArray("Digest realm=\"say \\\"hi\\\"\", nonce=n") << QStringList{"digest"} << "say \"hi\"";
        QTest::newRow("an unending quote drops the rest")
            << QByteArray("Basic realm=\"a\", Digest realm=\"oops") << QStringList{"basic", "digest"} << "";
        QTest::newRow("empty") << QByteArray() << QStringList() << "";
    }
    void readsChallenges()
    {
        QFETCH(QByteArray, header);
        QFETCH(QStringList, schemes);
        QFETCH(QString, digestRealm);
        const QList<Challenge> challenges = HttpAuthentication::parseChallenges(header);
        QStringList names;
        QString realm;
        for (const Challenge &challenge : challenges) {
            names << QString::fromLatin1(challenge.scheme);
            if (challenge.scheme == "digest")
                realm = QString::fromUtf8(challenge.params.value("realm"));
        }
        QCOMPARE(names, schemes);
        QCOMPARE(realm, digestRealm);
    }

    void serviceHosts_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("answered");
        QTest::newRow("the service's host") << "http://services.msn.com/x" << true;
        QTest::newRow("letter case") << "http://Services.MSN.com/x" << true;
        QTest::newRow("another port of it") << "http://services.msn.com:8080/x" << true;
        QTest::newRow("a host of its domain") << "http://law1.oe.msn.com/folders/" << true;
        QTest::newRow("the domain itself") << "http://msn.com/" << true;
        QTest::newRow("another domain") << "http://evil.example/x" << false;
        QTest::newRow("the domain as a prefix") << "http://msn.com.evil.example/" << false;
        QTest::newRow("a name ending like it") << "http://evilmsn.com/" << false;
        QTest::newRow("no host") << "file:///etc/passwd" << false;
    }
    void serviceHosts()
    {
        QFETCH(QString, url);
        QFETCH(bool, answered);
        QCOMPARE(HttpAuthentication::isServiceHost(QUrl(url), QUrl(QStringLiteral("http://services.msn.com/svcs/"))),
                 answered);
        // An address stands for itself alone.
        QVERIFY(!HttpAuthentication::isServiceHost(QUrl(QStringLiteral("http://127.0.0.2/")),
                                                   QUrl(QStringLiteral("http://127.0.0.1/"))));
    }

    void digestAnswer_data()
    {
        QTest::addColumn<QByteArray>("challenge");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("cnonce");
        QTest::addColumn<QByteArray>("expected");
        // RFC 2617, section 3.5, and RFC 7616, section 3.9.1.
        QTest::newRow("MD5 of RFC 2617")
            << QByteArray("Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                          "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"")
            << "Circle Of Life" << QByteArray("0a4f113b") << QByteArray("6629fae49393a05397450978507c4ef1");
        QTest::newRow("SHA-256 of RFC 7616")
            << QByteArray("Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=SHA-256, "
                          "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
                          "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"")
            << "Circle of Life" << QByteArray("f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ")
            << QByteArray("753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    }
    void digestAnswer()
    {
        QFETCH(QByteArray, challenge);
        QFETCH(QString, password);
        QFETCH(QByteArray, cnonce);
        QFETCH(QByteArray, expected);
        const QList<Challenge> challenges = HttpAuthentication::parseChallenges(challenge);
        QCOMPARE(challenges.size(), 1);
        HttpAuthentication::DigestState state;
        QVERIFY(HttpAuthentication::readDigest(challenges.first(), &state));
        const QByteArray answer = HttpAuthentication::digestAuthorization(state, QStringLiteral("Mufasa"), password,
                                                                          "GET", "/dir/index.html", cnonce);
        QVERIFY2(answer.contains("response=\"" + expected + '"'), answer.constData());
        QVERIFY(answer.contains("nc=00000001"));
        // The next request counts the nonce on.
        QVERIFY(HttpAuthentication::digestAuthorization(state, QStringLiteral("u"), QStringLiteral("p"), "GET", "/",
                                                        "c")
                    .contains("nc=00000002"));
    }

    void refusesDigestItCannotAnswer_data()
    {
        QTest::addColumn<QByteArray>("challenge");
        QTest::newRow("no nonce") << QByteArray("Digest realm=\"r\"");
        QTest::newRow("unknown algorithm") << QByteArray("Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256");
        QTest::newRow("auth-int only") << QByteArray("Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"");
        QTest::newRow("not Digest") << QByteArray("Basic realm=\"r\", nonce=\"n\"");
    }
    void refusesDigestItCannotAnswer()
    {
        QFETCH(QByteArray, challenge);
        const QList<Challenge> challenges = HttpAuthentication::parseChallenges(challenge);
        QCOMPARE(challenges.size(), 1);
        HttpAuthentication::DigestState state;
        QVERIFY(!HttpAuthentication::readDigest(challenges.first(), &state));
    }
};

QTEST_MAIN(TestHttpMailCredentials)
#include "test_httpmail_credentials.moc"
