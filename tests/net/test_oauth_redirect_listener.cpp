// The loopback listener that the browser is redirected to after a sign-in:
// what a request means (the code decoded, the state checked, consent
// refused), and what it does with real connections, hostile ones included.

#include "net/LoopbackRedirectListener.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

using Kind = LoopbackRedirectListener::Redirect::Kind;

// One connection to the listener, driven by the event loop (the listener
// lives in this thread, so nothing here may block).
struct Peer
{
    explicit Peer(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { answer += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                refused = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    void get(const QByteArray &target) { send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); }
    QByteArray status() const { return answer.left(answer.indexOf("\r\n")); }

    QTcpSocket socket;
    QByteArray answer;
    bool closed = false;
    bool refused = false;
};

} // namespace

class TestOAuthRedirectListener : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<LoopbackRedirectListener::Redirect>(); }

    void readsRequests_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("detail");
        QTest::newRow("Google's code with an encoded slash")
            << QByteArray("/?state=S1&code=4%2F0AeaYSHBx-y_z&scope=https%3A%2F%2Fmail.google.com%2F") << int(Kind::Code)
            << "4/0AeaYSHBx-y_z" << "";
        QTest::newRow("Microsoft's code") << QByteArray("/?code=M.C507_BAY.2.U.1a2b-3c4d&state=S1") << int(Kind::Code)
                                          << "M.C507_BAY.2.U.1a2b-3c4d" << "";
        QTest::newRow("an encoded plus and a fragment") << QByteArray("/?code=a%2Bb&state=S1#_=_") << int(Kind::Code)
                                                        << "a+b" << "";
        QTest::newRow("another request's state") << QByteArray("/?code=a&state=S2") << int(Kind::StateMismatch) << ""
                                                  << "";
        QTest::newRow("no state") << QByteArray("/?code=a") << int(Kind::StateMismatch) << "" << "";
        QTest::newRow("the state twice") << QByteArray("/?state=S1&code=a&state=S2") << int(Kind::StateMismatch)
                                         << "" << "";
        QTest::newRow("consent refused") << QByteArray("/?error=access_denied&error_description=The+user+said+no&state=S1")
                                         << int(Kind::ConsentRefused) << "" << "access_denied (The user said no)";
        QTest::newRow("a refusal with another state") << QByteArray("/?error=access_denied&state=S2")
                                                      << int(Kind::StateMismatch) << "" << "";
        QTest::newRow("another error, its line ends defused")
            << QByteArray("/?error=server_error&error_description=down%0D%0AClick+here&state=S1") << int(Kind::Error)
            << "" << "server_error (down??Click here)";
        QTest::newRow("no code") << QByteArray("/?state=S1") << int(Kind::Error) << "" << "no authorization code";
        QTest::newRow("an empty code") << QByteArray("/?code=&state=S1") << int(Kind::Error) << ""
                                       << "no single authorization code";
        QTest::newRow("two codes") << QByteArray("/?code=a&code=b&state=S1") << int(Kind::Error) << ""
                                   << "no single authorization code";
        QTest::newRow("the tab's icon") << QByteArray("/favicon.ico") << int(Kind::NotRedirect) << "" << "";
        QTest::newRow("the bare root") << QByteArray("/") << int(Kind::NotRedirect) << "" << "";
        QTest::newRow("other fields only") << QByteArray("/?utm=1") << int(Kind::NotRedirect) << "" << "";
        QTest::newRow("another path") << QByteArray("/callback?code=a&state=S1") << int(Kind::NotRedirect) << "" << "";
    }
    void readsRequests()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, kind);
        QFETCH(QString, code);
        QFETCH(QString, detail);
        const LoopbackRedirectListener::Redirect redirect = LoopbackRedirectListener::read(target, "S1");
        QCOMPARE(int(redirect.kind), kind);
        QCOMPARE(redirect.code, code);
        QCOMPARE(redirect.detail, detail);
    }

    // The tab's icon first, then the redirect: one answer each, the
    // redirect reported once, and then nobody listens any more.
    void servesExactlyOneRedirect()
    {
        LoopbackRedirectListener listener;
        QVERIFY(listener.listen("S1"));
        QSignalSpy redirected(&listener, &LoopbackRedirectListener::redirected);
        const quint16 port = QUrl(listener.redirectUri()).port();
        QCOMPARE(listener.redirectUri(), QStringLiteral("http://127.0.0.1:%1/").arg(port));

        Peer icon(port);
        icon.get("/favicon.ico");
        QTRY_VERIFY(icon.closed);
        QCOMPARE(icon.status(), QByteArray("HTTP/1.1 404 Not Found"));
        QVERIFY(listener.isListening());

        Peer browser(port);
        browser.get("/?code=4%2Fabc&state=S1");
        QTRY_VERIFY(browser.closed);
        QCOMPARE(browser.status(), QByteArray("HTTP/1.1 200 OK"));
        QVERIFY(browser.answer.contains("Content-Type: text/html; charset=utf-8\r\n"));
        QVERIFY(browser.answer.contains("sign-in done. You can close this tab"));
        QCOMPARE(redirected.size(), 1);
        const auto redirect = redirected.at(0).at(0).value<LoopbackRedirectListener::Redirect>();
        QCOMPARE(int(redirect.kind), int(Kind::Code));
        QCOMPARE(redirect.code, QStringLiteral("4/abc"));

        QVERIFY(!listener.isListening());
        Peer late(port);
        QTRY_VERIFY(late.refused);
        QCOMPARE(redirected.size(), 1);
    }

    void answersAFailureWithAFailurePage()
    {
        LoopbackRedirectListener listener;
        QVERIFY(listener.listen("S1"));
        QSignalSpy redirected(&listener, &LoopbackRedirectListener::redirected);
        Peer browser(QUrl(listener.redirectUri()).port());
        browser.get("/?code=a&state=forged");
        QTRY_VERIFY(browser.closed);
        QVERIFY(browser.answer.contains("the sign-in failed. You can close this tab"));
        QCOMPARE(redirected.size(), 1);
        QCOMPARE(int(redirected.at(0).at(0).value<LoopbackRedirectListener::Redirect>().kind), int(Kind::StateMismatch));
    }

    // What a hostile or confused peer sends ends that connection only; the
    // browser's redirect still gets through afterwards.
    void boundsEachConnection_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("a head without end") << QByteArray("GET /?code=") + QByteArray(9000, 'a')
                                            << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        QTest::newRow("a POST") << QByteArray("POST /?code=a&state=S1 HTTP/1.1\r\n\r\n")
                                << QByteArray("HTTP/1.1 405 Method Not Allowed");
        QTest::newRow("not HTTP") << QByteArray("HELO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("silence") << QByteArray("GET /?code=a&state=S1 HTTP/1.1\r\n") << QByteArray();
    }
    void boundsEachConnection()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        LoopbackRedirectListener listener;
        listener.setConnectionTimeout(300);
        QVERIFY(listener.listen("S1"));
        QSignalSpy redirected(&listener, &LoopbackRedirectListener::redirected);
        const quint16 port = QUrl(listener.redirectUri()).port();
        Peer hostile(port);
        hostile.send(request);
        QTRY_VERIFY(hostile.closed || hostile.refused);
        QCOMPARE(hostile.status(), status);
        QCOMPARE(redirected.size(), 0);

        Peer browser(port);
        browser.get("/?code=c&state=S1");
        QTRY_COMPARE(redirected.size(), 1);
        QCOMPARE(redirected.at(0).at(0).value<LoopbackRedirectListener::Redirect>().code, QStringLiteral("c"));
    }

    void boundsTheNumberOfConnections()
    {
        LoopbackRedirectListener listener;
        listener.setConnectionTimeout(500);
        QVERIFY(listener.listen("S1"));
        QSignalSpy redirected(&listener, &LoopbackRedirectListener::redirected);
        const quint16 port = QUrl(listener.redirectUri()).port();
        std::vector<std::unique_ptr<Peer>> silent;
        for (int i = 0; i < LoopbackRedirectListener::MaxConnections; ++i) {
            silent.push_back(std::make_unique<Peer>(port));
            QTRY_COMPARE(silent.back()->socket.state(), QAbstractSocket::ConnectedState);
        }
        Peer oneTooMany(port);
        QTRY_VERIFY(oneTooMany.closed || oneTooMany.refused);
        QVERIFY(!silent.front()->closed);
        // Once the silent ones are cut off there is room again.
        QTRY_VERIFY(silent.back()->closed);
        Peer browser(port);
        browser.get("/?code=c&state=S1");
        QTRY_COMPARE(redirected.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOAuthRedirectListener)
#include "test_oauth_redirect_listener.moc"
