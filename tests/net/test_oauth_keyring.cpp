// Sign-ins kept in the desktop's keyring, run once per keyring state by
// tests/support/keyring-session (MAILVANE_KEYRING): unlocked, the refresh
// token survives into a fresh OAuthSignIn (a second run of the program) and
// rotated tokens replace it at once; locked, absent, or locked under a
// display where a job waits for a password prompt, every keyring job ends
// in bounded time, "cannot keep the sign-in" comes once, and the user signs
// in per run. Never is a token written to a plain file. The sign-ins go
// through the fake browser to the local authorization server.

#include "net/OAuthSignIn.h"
#include "net/OAuthTokenStore.h"
#include "OAuthServer.h"

#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int KeyringTimeoutMs = 1000;

// What one OAuthSignIn said.
struct Session
{
    explicit Session(const OAuthServer &server)
        : server(server)
    {
        signIn.setKeyringTimeout(KeyringTimeoutMs);
        signIn.setBrowserTimeout(20000);
        QObject::connect(&signIn, &OAuthSignIn::openBrowser, [this](const QUrl &url) {
            ++browserOpened;
            QProcess::execute(OAuthServer::fakeBrowser(), {url.toString(QUrl::FullyEncoded)});
        });
        QObject::connect(&signIn, &OAuthSignIn::tokenReady, [this](const QString &token) {
            accessToken = token;
            done = true;
        });
        QObject::connect(&signIn, &OAuthSignIn::failed, [this](const OAuthError &failure) {
            error = failure;
            failed = true;
            done = true;
        });
        QObject::connect(&signIn, &OAuthSignIn::keyringUnavailable,
                         [this](const QString &message) { keyringMessages << message; });
    }

    // Asks for a token and waits for the answer; false when none came.
    bool request(OAuthSignIn::Mode mode = OAuthSignIn::Mode::Interactive, const QString &user = QStringLiteral("alice"))
    {
        done = failed = false;
        accessToken.clear();
        signIn.requestToken(server.provider(), user, mode);
        return QTest::qWaitFor([this] { return done; }, 30000);
    }

    const OAuthServer &server;
    OAuthSignIn signIn;
    int browserOpened = 0;
    bool done = false;
    bool failed = false;
    QString accessToken;
    OAuthError error;
    QStringList keyringMessages;
};

QString keyringState()
{
    return qEnvironmentVariable("MAILVANE_KEYRING");
}

bool keeps()
{
    return keyringState() == QLatin1String("unlocked");
}

} // namespace

class TestOAuthKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (keyringState().isEmpty())
            QSKIP("runs through ctest only: tests/support/keyring-session gives it a keyring of its own");
        if (keyringState() == QLatin1String("locked") && qEnvironmentVariableIsSet("MAILVANE_KEYRING_PROMPTS"))
            m_state = QStringLiteral("prompting");
        else
            m_state = keyringState();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        qputenv("MAILVANE_FAKE_BROWSER", "follow");
    }

    void init()
    {
        for (const char *key : {"consent", "token", "access_lifetime"})
            m_server.set(QString::fromLatin1(key), QString());
    }

    // The store alone: each job answers in bounded time, and only an
    // unlocked keyring gives back what was written.
    void storeRoundTrip()
    {
        OAuthTokenStore store;
        store.setTimeout(KeyringTimeoutMs);
        QSignalSpy unusable(&store, &OAuthTokenStore::unusable);
        const OAuthProvider provider = m_server.provider(QStringLiteral("RoundTrip"));
        QObject context;
        int kept = -1;
        store.write(provider, QStringLiteral("bob"), QStringLiteral("rt-round-trip-1"), &context,
                    [&](bool ok) { kept = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(kept >= 0, 2 * KeyringTimeoutMs + 5000);
        QCOMPARE(bool(kept), keeps());
        QString read = QStringLiteral("<none>");
        store.read(provider, QStringLiteral("bob"), &context, [&](const QString &token) { read = token; });
        QTRY_VERIFY_WITH_TIMEOUT(read != QLatin1String("<none>"), 2 * KeyringTimeoutMs + 5000);
        QCOMPARE(read, keeps() ? QStringLiteral("rt-round-trip-1") : QString());
        int removed = -1;
        store.remove(provider, QStringLiteral("bob"), &context, [&](bool ok, const QString &) { removed = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(removed >= 0, 2 * KeyringTimeoutMs + 5000);
        QCOMPARE(bool(removed), keeps());

        QCOMPARE(unusable.size(), keeps() ? 0 : 1);
        if (!keeps()) {
            QVERIFY2(unusable.at(0).at(0).toString().startsWith(
                         QLatin1String("Mailvane cannot keep the sign-in in the desktop's keyring (")),
                     qPrintable(unusable.at(0).at(0).toString()));
            QVERIFY(!store.isUsable());
        }
        if (m_state == QLatin1String("prompting"))
            QVERIFY(unusable.at(0).at(0).toString().contains(QLatin1String("(it did not answer within 1 second)")));
    }

    // Entries are per provider and user, and only for the token URL and
    // client id they were issued for.
    void storeKeepsEntriesApart()
    {
        if (!keeps())
            QSKIP("needs a keyring that keeps entries");
        OAuthTokenStore store;
        const OAuthProvider first = m_server.provider(QStringLiteral("First"));
        const OAuthProvider second = m_server.provider(QStringLiteral("Second"));
        QVERIFY(write(store, first, QStringLiteral("carol"), QStringLiteral("rt-first-carol")));
        QVERIFY(write(store, second, QStringLiteral("carol"), QStringLiteral("rt-second-carol")));
        QVERIFY(write(store, first, QStringLiteral("dave"), QStringLiteral("rt-first-dave")));
        QVERIFY(write(store, first, QStringLiteral("carol"), QStringLiteral("rt-first-carol-2")));
        QCOMPARE(read(store, first, QStringLiteral("carol")), QStringLiteral("rt-first-carol-2"));
        QCOMPARE(read(store, second, QStringLiteral("carol")), QStringLiteral("rt-second-carol"));
        QCOMPARE(read(store, first, QStringLiteral(" dave ")), QStringLiteral("rt-first-dave"));
        QCOMPARE(read(store, first, QStringLiteral("erin")), QString());

        OAuthProvider moved = first;
        moved.tokenUrl = QUrl(QStringLiteral("https://elsewhere.example.com/token"));
        QCOMPARE(read(store, moved, QStringLiteral("carol")), QString());
        OAuthProvider otherClient = first;
        otherClient.clientId = QStringLiteral("another-client");
        QCOMPARE(read(store, otherClient, QStringLiteral("carol")), QString());
    }

    // The first run signs in in the browser; a second run (a fresh
    // OAuthSignIn) signs in silently where the keyring kept the refresh
    // token, else in the browser again. Within one run it is silent always.
    void secondRun()
    {
        Session first(m_server);
        QVERIFY(first.request());
        QVERIFY2(!first.failed, qPrintable(first.error.message));
        QCOMPARE(first.browserOpened, 1);
        const QString firstToken = first.accessToken;
        const int tokenRequests = m_server.log(QStringLiteral("/token")).size();
        QVERIFY(first.request());
        QCOMPARE(first.accessToken, firstToken);
        QCOMPARE(first.browserOpened, 1);
        QCOMPARE(m_server.log(QStringLiteral("/token")).size(), tokenRequests);
        QCOMPARE(first.keyringMessages.size(), keeps() ? 0 : 1);

        Session second(m_server);
        QVERIFY(second.request());
        QVERIFY2(!second.failed, qPrintable(second.error.message));
        QCOMPARE(second.browserOpened, keeps() ? 0 : 1);
        QVERIFY(second.accessToken != firstToken);
        QCOMPARE(m_server.log(QStringLiteral("/token")).last().contains(QLatin1String("grant_type=refresh_token")),
                 keeps());
        QCOMPARE(second.keyringMessages.size(), keeps() ? 0 : 1);
        if (!keeps())
            QVERIFY(second.keyringMessages.first().contains(QLatin1String("cannot keep the sign-in")));
    }

    // An access token about to expire is refreshed before the login; the
    // rotated refresh token replaces the kept one at once, so the next run
    // still signs in silently (the old one is dead at the service).
    void expiringAccessTokenIsRefreshed()
    {
        m_server.set(QStringLiteral("access_lifetime"), QStringLiteral("30"));
        Session first(m_server);
        QVERIFY(first.request(OAuthSignIn::Mode::Interactive, QStringLiteral("frank")));
        const QString firstToken = first.accessToken;
        QVERIFY(first.request(OAuthSignIn::Mode::Silent, QStringLiteral("frank")));
        QVERIFY2(!first.failed, qPrintable(first.error.message));
        QVERIFY(first.accessToken != firstToken);
        QCOMPARE(first.browserOpened, 1);
        QVERIFY(m_server.log(QStringLiteral("/token")).last().contains(QLatin1String("grant_type=refresh_token")));

        m_server.set(QStringLiteral("access_lifetime"), QString());
        Session second(m_server);
        QVERIFY(second.request(OAuthSignIn::Mode::Silent, QStringLiteral("frank")));
        QCOMPARE(second.failed, !keeps());
        if (!keeps())
            QCOMPARE(int(second.error.kind), int(OAuthError::Kind::SignInNeeded));
    }

    // A token the mail server refused is refreshed, not used again.
    void refusedAccessTokenIsRefreshed()
    {
        Session session(m_server);
        QVERIFY(session.request(OAuthSignIn::Mode::Interactive, QStringLiteral("gina")));
        const QString refused = session.accessToken;
        session.signIn.tokenRefused(m_server.provider(), QStringLiteral("gina"));
        QVERIFY(session.request(OAuthSignIn::Mode::Silent, QStringLiteral("gina")));
        QVERIFY2(!session.failed, qPrintable(session.error.message));
        QVERIFY(session.accessToken != refused);
        QCOMPARE(session.browserOpened, 1);
    }

    // A revoked refresh token: the browser again, or in Silent mode (the
    // tray) a sign-in needed, and the dead token is gone from the keyring.
    void revokedRefreshToken_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("interactive") << false;
        QTest::newRow("silent") << true;
    }
    void revokedRefreshToken()
    {
        if (!keeps())
            QSKIP("needs a keyring that keeps the refresh token into the next run");
        QFETCH(bool, silent);
        const QString user = QStringLiteral("henry");
        {
            Session first(m_server);
            QVERIFY(first.request(OAuthSignIn::Mode::Interactive, user));
        }
        OAuthTokenStore store;
        const QString kept = read(store, m_server.provider(), user);
        QVERIFY(!kept.isEmpty());
        m_server.post(QStringLiteral("revoke"), "token=" + QUrl::toPercentEncoding(kept));

        Session second(m_server);
        QVERIFY(second.request(silent ? OAuthSignIn::Mode::Silent : OAuthSignIn::Mode::Interactive, user));
        QCOMPARE(second.failed, silent);
        QCOMPARE(second.browserOpened, silent ? 0 : 1);
        const QString now = read(store, m_server.provider(), user);
        QVERIFY(now != kept);
        if (silent) {
            QCOMPARE(int(second.error.kind), int(OAuthError::Kind::SignInNeeded));
            QVERIFY2(second.error.message.contains(QLatin1String("invalid_grant")), qPrintable(second.error.message));
            QCOMPARE(now, QString());
        } else {
            QVERIFY(!now.isEmpty());
        }
    }

    // The tray's check never opens the browser.
    void silentWithNothingKept()
    {
        Session session(m_server);
        QVERIFY(session.request(OAuthSignIn::Mode::Silent, QStringLiteral("ivy")));
        QVERIFY(session.failed);
        QCOMPARE(int(session.error.kind), int(OAuthError::Kind::SignInNeeded));
        QCOMPARE(session.error.message,
                 QStringLiteral("ivy needs you to sign in with Test again: no sign-in is kept for this user. Log in "
                                "from Mailvane's window to sign in in the browser."));
        QCOMPARE(session.browserOpened, 0);
    }

    // Refused consent or a failing token service: an error, nothing kept.
    void failedSignInKeepsNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("kind");
        QTest::newRow("consent refused") << "consent" << "deny" << int(OAuthError::Kind::ConsentRefused);
        QTest::newRow("token service errs") << "token" << "error" << int(OAuthError::Kind::Service);
    }
    void failedSignInKeepsNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, kind);
        m_server.set(key, value);
        const QString user = QStringLiteral("jack-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        Session session(m_server);
        QVERIFY(session.request(OAuthSignIn::Mode::Interactive, user));
        QVERIFY(session.failed);
        QCOMPARE(int(session.error.kind), kind);
        m_server.set(key, QString());
        QVERIFY(session.request(OAuthSignIn::Mode::Silent, user));
        QCOMPARE(int(session.error.kind), int(OAuthError::Kind::SignInNeeded));
        if (keeps()) {
            OAuthTokenStore store;
            QCOMPARE(read(store, m_server.provider(), user), QString());
        }
    }

    void forgetting()
    {
        const QString user = QStringLiteral("kim");
        Session first(m_server);
        QVERIFY(first.request(OAuthSignIn::Mode::Interactive, user));
        QSignalSpy forgotten(&first.signIn, &OAuthSignIn::forgotten);
        first.signIn.forget(m_server.provider(), user);
        QTRY_COMPARE_WITH_TIMEOUT(forgotten.size(), 1, 2 * KeyringTimeoutMs + 5000);
        QCOMPARE(forgotten.at(0).at(0).toBool(), keeps());
        const QString message = forgotten.at(0).at(1).toString();
        if (keeps())
            QCOMPARE(message, QStringLiteral("Mailvane has forgotten the sign-in of kim with Test."));
        else
            QVERIFY2(message.contains(QLatin1String("the desktop's keyring could not remove it")), qPrintable(message));
        // Neither this run nor the next one signs in silently any more.
        QVERIFY(first.request(OAuthSignIn::Mode::Silent, user));
        QCOMPARE(int(first.error.kind), int(OAuthError::Kind::SignInNeeded));
        Session second(m_server);
        QVERIFY(second.request(OAuthSignIn::Mode::Silent, user));
        QCOMPARE(int(second.error.kind), int(OAuthError::Kind::SignInNeeded));
    }

    // Whatever the keyring did, no token reached a file of ours.
    void noTokenInAnyFile()
    {
        Session session(m_server);
        QVERIFY(session.request(OAuthSignIn::Mode::Interactive, QStringLiteral("lena")));
        OAuthTokenStore store;
        const QString refresh = read(store, m_server.provider(), QStringLiteral("lena"));
        const QByteArray access = session.accessToken.toLatin1();
        QVERIFY(!access.isEmpty());
        for (const QString &root : {QDir::homePath(), qEnvironmentVariable("XDG_CONFIG_HOME"),
                                    qEnvironmentVariable("XDG_DATA_HOME"), QDir::currentPath()}) {
            if (root.isEmpty())
                continue;
            QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile file(files.next());
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QByteArray content = file.readAll();
                QVERIFY2(!content.contains(access), qPrintable(file.fileName()));
                QVERIFY2(refresh.isEmpty() || !content.contains(refresh.toLatin1()), qPrintable(file.fileName()));
                QVERIFY2(!content.contains("rt-"), qPrintable(file.fileName()));
            }
        }
    }

private:
    bool write(OAuthTokenStore &store, const OAuthProvider &provider, const QString &user, const QString &token)
    {
        int kept = -1;
        QObject context;
        store.write(provider, user, token, &context, [&](bool ok) { kept = ok; });
        return QTest::qWaitFor([&] { return kept >= 0; }, 10000) && kept == 1;
    }

    QString read(OAuthTokenStore &store, const OAuthProvider &provider, const QString &user)
    {
        QString token = QStringLiteral("<none>");
        QObject context;
        store.setTimeout(KeyringTimeoutMs);
        store.read(provider, user, &context, [&](const QString &stored) { token = stored; });
        if (!QTest::qWaitFor([&] { return token != QLatin1String("<none>"); }, 10000))
            return QStringLiteral("<no answer>");
        return token;
    }

    OAuthServer m_server;
    QString m_state;
};

QTEST_GUILESS_MAIN(TestOAuthKeyring)
#include "test_oauth_keyring.moc"
