// The sign-in in the browser and the token requests, end to end without
// the window: the flow object, the fake browser (the script a test puts on
// PATH as xdg-open, here called directly) and the local authorization
// server in a process of its own. Tokens, a client secret sent only where
// the settings name one, refresh with rotation, revoked
// and rotated-away refresh tokens, refused consent, a forged state, a
// browser that never comes back or cannot start, cancelling, and a token
// endpoint that errs, is silent or sends what cannot be used.

#include "net/OAuthAuthorization.h"
#include "net/OAuthTokenEndpoint.h"
#include "OAuthServer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Outcome
{
    bool done = false;
    OAuthTokens tokens;
    OAuthError error;
    bool failed = false;
};

template<typename Source>
void collect(Source *source, Outcome *outcome)
{
    QObject::connect(source, &Source::succeeded, [outcome](const OAuthTokens &tokens) {
        outcome->tokens = tokens;
        outcome->done = true;
    });
    QObject::connect(source, &Source::failed, [outcome](const OAuthError &error) {
        outcome->error = error;
        outcome->failed = true;
        outcome->done = true;
    });
}

} // namespace

class TestOAuthFlow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(m_dir.isValid());
        qputenv("MAILVANE_FAKE_BROWSER_PAGE", QFile::encodeName(m_dir.filePath(QStringLiteral("page.html"))));
    }

    void init()
    {
        for (const char *key : {"consent", "state", "token", "rotate", "access_lifetime", "user", "client_secret"})
            m_server.set(QString::fromLatin1(key), QString());
        qputenv("MAILVANE_FAKE_BROWSER", "follow");
        QFile::remove(m_dir.filePath(QStringLiteral("page.html")));
    }

    void signsInInTheBrowser()
    {
        const int before = m_server.log(QStringLiteral("/token")).size();
        const Outcome outcome = signIn();
        QVERIFY2(!outcome.failed, qPrintable(outcome.error.message));
        QVERIFY(outcome.tokens.accessToken.startsWith(QLatin1String("at-")));
        QVERIFY(outcome.tokens.refreshToken.startsWith(QLatin1String("rt-")));
        QCOMPARE(outcome.tokens.expiresIn, qint64(3600));
        // The code went back with its verifier and nothing secret; the
        // server checked the verifier against the challenge.
        const QStringList token = m_server.log(QStringLiteral("/token")).mid(before);
        QCOMPARE(token, QStringList{QStringLiteral(
                            "POST /token grant_type=authorization_code code redirect_uri client_id code_verifier")});
        QVERIFY(m_server.log(QStringLiteral("/authorize")).last().contains(QLatin1String("code_challenge_method=S256")));
        QTRY_VERIFY(page().contains("sign-in done"));
    }

    void refreshRotatesTheRefreshToken()
    {
        const Outcome first = signIn();
        QVERIFY2(!first.failed, qPrintable(first.error.message));
        const Outcome second = refresh(first.tokens.refreshToken);
        QVERIFY2(!second.failed, qPrintable(second.error.message));
        QVERIFY(second.tokens.accessToken != first.tokens.accessToken);
        QVERIFY(second.tokens.refreshToken.startsWith(QLatin1String("rt-")));
        QVERIFY(second.tokens.refreshToken != first.tokens.refreshToken);
        QCOMPARE(m_server.log(QStringLiteral("/token")).last(),
                 QStringLiteral("POST /token grant_type=refresh_token refresh_token client_id"));

        // The rotated-away token is dead; the new one works.
        const Outcome stale = refresh(first.tokens.refreshToken);
        QVERIFY(stale.failed);
        QCOMPARE(int(stale.error.kind), int(OAuthError::Kind::InvalidGrant));
        QVERIFY2(!refresh(second.tokens.refreshToken).failed, "the rotated refresh token was refused");
    }

    void refreshWithoutRotationKeepsTheOldToken()
    {
        const Outcome first = signIn();
        m_server.set(QStringLiteral("rotate"), QStringLiteral("no"));
        const Outcome second = refresh(first.tokens.refreshToken);
        QVERIFY2(!second.failed, qPrintable(second.error.message));
        QCOMPARE(second.tokens.refreshToken, QString());
        QVERIFY(!refresh(first.tokens.refreshToken).failed);
    }

    void revokedRefreshTokenIsInvalidGrant()
    {
        const Outcome first = signIn();
        QVERIFY2(!first.failed, qPrintable(first.error.message));
        m_server.post(QStringLiteral("revoke"), "token=" + QUrl::toPercentEncoding(first.tokens.refreshToken));
        const Outcome revoked = refresh(first.tokens.refreshToken);
        QVERIFY(revoked.failed);
        QCOMPARE(int(revoked.error.kind), int(OAuthError::Kind::InvalidGrant));
        QCOMPARE(revoked.error.message,
                 QStringLiteral("The sign-in service at 127.0.0.1:%1 refused: invalid_grant (refresh token unknown, used "
                                "or revoked)")
                     .arg(m_server.port()));
    }

    // Google's desktop clients must show their (public) client secret; a
    // service that demands none never sees one.
    void clientSecretOnlyWhereTheSettingsNameOne()
    {
        m_server.set(QStringLiteral("client_secret"), QStringLiteral("GOCSPX-not-secret"));
        const Outcome without = signIn();
        QVERIFY(without.failed);
        QCOMPARE(without.error.message,
                 QStringLiteral("The sign-in service at 127.0.0.1:%1 refused: invalid_request (client_secret is missing.)")
                     .arg(m_server.port()));

        OAuthProvider google = m_server.provider();
        google.clientSecret = QStringLiteral("GOCSPX-not-secret");
        const Outcome with = signIn(OAuthTokenEndpoint::DefaultTimeoutMs, google);
        QVERIFY2(!with.failed, qPrintable(with.error.message));
        QVERIFY2(!refresh(with.tokens.refreshToken, google).failed, "the refresh left the client secret out");
        QCOMPARE(m_server.log(QStringLiteral("/token")).mid(m_server.log(QStringLiteral("/token")).size() - 2),
                 (QStringList{QStringLiteral("POST /token grant_type=authorization_code code redirect_uri client_id "
                                             "code_verifier client_secret"),
                              QStringLiteral("POST /token grant_type=refresh_token refresh_token client_id client_secret")}));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("kind");
        // %1 the service's port.
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("page");

        QTest::newRow("consent refused")
            << "consent" << "deny" << int(OAuthError::Kind::ConsentRefused)
            << "The sign-in with Test was refused in the browser: Mailvane was not allowed to read the mailbox."
            << QByteArray("the sign-in failed");
        QTest::newRow("state mismatch") << "state" << "wrong" << int(OAuthError::Kind::StateMismatch)
                                        << "The browser came back with the answer to another sign-in request (its "
                                           "state does not match this one), so Mailvane did not use it. Please log in "
                                           "again."
                                        << QByteArray("the sign-in failed");
        QTest::newRow("token endpoint errs") << "token" << "error" << int(OAuthError::Kind::Service)
                                             << "The sign-in service at 127.0.0.1:%1 refused: server_error (down for "
                                                "tests)"
                                             << QByteArray("sign-in done");
        QTest::newRow("token endpoint silent") << "token" << "silent" << int(OAuthError::Kind::Service)
                                               << "The sign-in service at 127.0.0.1:%1 did not answer within 1 second."
                                               << QByteArray("sign-in done");
        QTest::newRow("malformed JSON") << "token" << "malformed" << int(OAuthError::Kind::Service)
                                        << "The sign-in service at 127.0.0.1:%1 sent an answer that Mailvane cannot "
                                           "read (no JSON object)."
                                        << QByteArray("sign-in done");
        QTest::newRow("an answer of a megabyte") << "token" << "huge" << int(OAuthError::Kind::Service)
                                                 << "The sign-in service at 127.0.0.1:%1 sent an answer larger than "
                                                    "64 KB."
                                                 << QByteArray("sign-in done");
        QTest::newRow("no access token") << "token" << "no_access_token" << int(OAuthError::Kind::Service)
                                         << "The sign-in service at 127.0.0.1:%1 sent no access token."
                                         << QByteArray("sign-in done");
        QTest::newRow("code refused") << "token" << "invalid_grant" << int(OAuthError::Kind::InvalidGrant)
                                      << "The sign-in service at 127.0.0.1:%1 refused: invalid_grant (told to refuse)"
                                      << QByteArray("sign-in done");
    }
    void failures()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QByteArray, page);
        m_server.set(key, value);
        const Outcome outcome = signIn(1000);
        QVERIFY(outcome.failed);
        QCOMPARE(int(outcome.error.kind), kind);
        QCOMPARE(outcome.error.message, message.contains(u'%') ? message.arg(m_server.port()) : message);
        QTRY_VERIFY2(this->page().contains(page), this->page().constData());
    }

    // The browser never comes back: the flow gives up, or the user cancels;
    // either way nobody listens for the redirect any more.
    void browserNeverReturns_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("time-out") << false << int(OAuthError::Kind::BrowserSilent)
                                  << "Nobody signed in in the browser within 1 second; Mailvane gave up waiting.";
        QTest::newRow("cancelled") << true << int(OAuthError::Kind::Cancelled) << "The sign-in was cancelled.";
    }
    void browserNeverReturns()
    {
        QFETCH(bool, cancel);
        QFETCH(int, kind);
        QFETCH(QString, message);
        qputenv("MAILVANE_FAKE_BROWSER", "ignore");
        OAuthAuthorization flow(m_server.provider(), QStringLiteral("alice"));
        flow.setBrowserTimeout(cancel ? 60000 : 300);
        Outcome outcome;
        collect(&flow, &outcome);
        connect(&flow, &OAuthAuthorization::openBrowser, &flow, [&](const QUrl &url) {
            QVERIFY(openInFakeBrowser(url));
            if (cancel)
                QTimer::singleShot(100, &flow, &OAuthAuthorization::cancel);
        });
        flow.start();
        QVERIFY(flow.isRunning());
        const quint16 port = QUrl(flow.redirectUri()).port();
        QTRY_VERIFY(outcome.done);
        QVERIFY(!flow.isRunning());
        QCOMPARE(int(outcome.error.kind), kind);
        QCOMPARE(outcome.error.message, message);
        QTcpServer probe;
        QVERIFY2(probe.listen(QHostAddress::LocalHost, port), "the listener still holds its port");
    }

    void browserCannotStart()
    {
        qputenv("MAILVANE_FAKE_BROWSER", "fail");
        OAuthAuthorization flow(m_server.provider(), QStringLiteral("alice"));
        Outcome outcome;
        collect(&flow, &outcome);
        // As the window does: it tries, and says when that failed.
        connect(&flow, &OAuthAuthorization::openBrowser, &flow, [&](const QUrl &url) {
            if (!openInFakeBrowser(url))
                flow.browserNotStarted();
        });
        flow.start();
        QVERIFY(outcome.done);
        QCOMPARE(int(outcome.error.kind), int(OAuthError::Kind::BrowserNotStarted));
        QCOMPARE(outcome.error.message, QStringLiteral("The web browser could not be started to sign in with Test."));
        QVERIFY(!flow.isRunning());
    }

    void tokenServiceUnreachable()
    {
        OAuthProvider provider = m_server.provider();
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        provider.tokenUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(port));
        OAuthTokenEndpoint endpoint;
        Outcome outcome;
        collect(&endpoint, &outcome);
        endpoint.refresh(provider, QStringLiteral("rt-x"));
        QTRY_VERIFY(outcome.done);
        QCOMPARE(int(outcome.error.kind), int(OAuthError::Kind::Service));
        QCOMPARE(outcome.error.message,
                 QStringLiteral("Cannot reach the sign-in service at 127.0.0.1:%1: Connection refused").arg(port));
    }

private:
    // The script is what the window's platform runs as xdg-open.
    static bool openInFakeBrowser(const QUrl &url)
    {
        return QProcess::execute(OAuthServer::fakeBrowser(), {url.toString(QUrl::FullyEncoded)}) == 0;
    }

    Outcome signIn(int tokenTimeoutMs = OAuthTokenEndpoint::DefaultTimeoutMs, const OAuthProvider &provider = {})
    {
        OAuthAuthorization flow(provider.isNull() ? m_server.provider() : provider, QStringLiteral("alice@example.com"));
        flow.setTokenTimeout(tokenTimeoutMs);
        flow.setBrowserTimeout(20000);
        Outcome outcome;
        collect(&flow, &outcome);
        connect(&flow, &OAuthAuthorization::openBrowser, &flow, [](const QUrl &url) { QVERIFY(openInFakeBrowser(url)); });
        flow.start();
        if (!QTest::qWaitFor([&] { return outcome.done; }, 30000))
            outcome.error.message = QStringLiteral("<no outcome>");
        return outcome;
    }

    Outcome refresh(const QString &refreshToken, const OAuthProvider &provider = {})
    {
        OAuthTokenEndpoint endpoint;
        Outcome outcome;
        collect(&endpoint, &outcome);
        endpoint.refresh(provider.isNull() ? m_server.provider() : provider, refreshToken);
        if (!QTest::qWaitFor([&] { return outcome.done; }, 30000))
            outcome.error.message = QStringLiteral("<no outcome>");
        return outcome;
    }

    QByteArray page() const
    {
        QFile file(m_dir.filePath(QStringLiteral("page.html")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    OAuthServer m_server;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestOAuthFlow)
#include "test_oauth_flow.moc"
