// Signing in with OAuth 2.0 the whole way a user goes, through the real
// window on an X server of its own: the browser is the fake one on PATH
// (opened by the desktop's own opener), the authorization server and
// Dovecot (its oauth2 passdb asking that server) run in processes of their
// own, and the sign-in is kept in a real keyring on a private session bus.
// The test runs once per keyring state (MAILVANE_KEYRING): unlocked,
// locked (a job waits for a password prompt) and absent. Two windows one
// after another are two runs of the program: only the keyring joins them.

#include "frmMainTestAccess.h"
#include "OAuthServer.h"
#include "WindowTestKit.h"
#include "base/SettingsStore.h"
#include "net/OAuthTokenStore.h"
#include "window/frmAlertWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int SignInMs = 30000;

QString keyringState()
{
    return qEnvironmentVariable("MAILVANE_KEYRING", QStringLiteral("unlocked"));
}

bool keyringKeeps()
{
    return keyringState() == QLatin1String("unlocked");
}

// A job of a locked keyring waits for a prompt nobody answers: bounded short.
int keyringTimeoutMs()
{
    return keyringKeeps() ? 15000 : 1000;
}

const QString CannotKeep = QStringLiteral("Mailvane cannot keep the sign-in in the desktop's keyring");

// The boxes but the keyring's (said once per run where it cannot keep).
// An XOAUTH2 line made readable, the token cut after its "at-".
QString xoauth2Shown(const QByteArray &line)
{
    const QByteArray message = QByteArray::fromBase64(line.trimmed());
    return QString::fromLatin1(message.left(message.indexOf("at-") + 3)).replace(u'\x01', u' ');
}

QStringList boxesButKeyrings(const MessageBoxRecorder &boxes)
{
    QStringList texts = boxes.texts();
    texts.removeIf([](const QString &text) { return text.startsWith(CannotKeep); });
    return texts;
}

// The texts of the alerts shown while it lives, each taken when it appears.
class AlertWatcher : public QObject
{
public:
    QStringList shown;

    AlertWatcher() { qApp->installEventFilter(this); }
    ~AlertWatcher() override
    {
        qApp->removeEventFilter(this);
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<frmAlertWindow *>(widget))
                delete widget;
        }
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *alert = qobject_cast<frmAlertWindow *>(object);
        if (alert && event->type() == QEvent::Show && !alert->property("mvWatched").toBool()) {
            alert->setProperty("mvWatched", true);
            shown << alert->motion().labelText();
        }
        return false;
    }
};

} // namespace

// A window as the user has it: the desktop's own opener for web pages
// (the fake browser), every box recorded.
struct SignInWindow : RecordedWindow
{
    SignInWindow(int browserMs = SignInMs, int tokenMs = SignInMs)
    {
        useRealPlatform();
        w.setSignInTimeouts(browserMs, tokenMs, keyringTimeoutMs());
    }
};

class TestOAuthWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void firstSignInThenSecondRun();
    void serverEndsTheSignIn_data();
    void serverEndsTheSignIn();
    void signInFails_data();
    void signInFails();
    void browserCannotStart();
    void browserNeverReturns_data();
    void browserNeverReturns();
    void trayNeedsSignIn();
    void hotmailNames_data();
    void hotmailNames();
    void longTokenNeverOnTheAuthLine();
    void tokenRefusedTwice();
    void forgetSignIn();

private:
    // [OAuth-Test] for the local servers, for every server at 127.0.0.1:port.
    void useTestProvider(quint16 port, const QMap<QString, QString> &changes = {});
    void writeSection(const QString &section, const QMap<QString, QString> &keys);
    void fill(frmMain &w, const QString &user, quint16 port, const QString &server = QStringLiteral("127.0.0.1"));
    // Clicks Login and waits until the window is logged in and idle.
    bool login(frmMain &w, const QString &user, quint16 port);
    int browserOpenings() const;
    QStringList tokenRequests() const;
    // What the keyring keeps for the user with the test's service.
    QString kept(const QString &user);
    QString settingsText() const;

    OAuthServer m_oauth;
    DovecotServer m_dovecot;
    QTemporaryDir m_dir;
    QString m_settingsFile;
};

void TestOAuthWindow::initTestCase()
{
    if (!DovecotServer::isAvailable())
        QSKIP(qPrintable(DovecotServer::unavailableReason()));
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_oauth.start(), qPrintable(m_oauth.errorString()));
    m_dovecot.enableOAuth(m_oauth.url(QStringLiteral("introspect")));
    for (const char *user : {"first", "expiry", "revoked", "refused", "cancelled", "timed-out", "tray", "alice@hotmail.com",
                             "forget"}) {
        QVERIFY(m_dovecot.addUser(QString::fromLatin1(user), QStringLiteral("unused-password")));
        QVERIFY(m_dovecot.deliver(QString::fromLatin1(user), "Subject: hi\r\n\r\nbody\r\n"));
    }
    QVERIFY2(m_dovecot.start(), qPrintable(m_dovecot.errorString()));
    // The desktop's opener finds the fake browser first.
    qputenv("PATH", QFile::encodeName(OAuthServer::fakeBrowserFolder()) + ':' + qgetenv("PATH"));
    qputenv("MAILVANE_FAKE_BROWSER_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("browser.log"))));
    m_settingsFile = SettingsStore::open()->fileName();
}

void TestOAuthWindow::init()
{
    for (const char *key : {"consent", "state", "token", "rotate", "access_lifetime", "access_length", "user"})
        m_oauth.set(QString::fromLatin1(key), QString());
    qputenv("MAILVANE_FAKE_BROWSER", "follow");
    const auto store = SettingsStore::open();
    store->clear();
    store->sync();
    useTestProvider(m_dovecot.port());
}

void TestOAuthWindow::writeSection(const QString &section, const QMap<QString, QString> &keys)
{
    const auto store = SettingsStore::open();
    store->remove(section);
    store->beginGroup(section);
    for (auto key = keys.cbegin(); key != keys.cend(); ++key) {
        if (!key.value().isNull())
            store->setValue(key.key(), key.value());
    }
    store->endGroup();
    store->sync();
}

void TestOAuthWindow::useTestProvider(quint16 port, const QMap<QString, QString> &changes)
{
    QMap<QString, QString> keys{{QStringLiteral("AuthorizationUrl"), m_oauth.url(QStringLiteral("authorize"))},
                                {QStringLiteral("TokenUrl"), m_oauth.url(QStringLiteral("token"))},
                                {QStringLiteral("ClientId"), QStringLiteral("mailvane-test")},
                                {QStringLiteral("Scope"), QStringLiteral("mail offline_access")},
                                {QStringLiteral("Servers"), QStringLiteral("127.0.0.1:%1").arg(port)}};
    for (auto change = changes.cbegin(); change != changes.cend(); ++change)
        keys[change.key()] = change.value();
    writeSection(QStringLiteral("OAuth-Test"), keys);
}

void TestOAuthWindow::fill(frmMain &w, const QString &user, quint16 port, const QString &server)
{
    w.txtUser->setText(user);
    w.txtPwd->clear();
    w.txtMailServer->setText(server);
    w.cboPort->setEditText(QString::number(port));
}

bool TestOAuthWindow::login(frmMain &w, const QString &user, quint16 port)
{
    fill(w, user, port);
    w.cmdLogin->click();
    return QTest::qWaitFor([&] { return kit::loggedInAndIdle(w); }, SignInMs);
}

int TestOAuthWindow::browserOpenings() const
{
    QFile log(m_dir.filePath(QStringLiteral("browser.log")));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return int(log.readAll().count('\n'));
}

QStringList TestOAuthWindow::tokenRequests() const
{
    return m_oauth.log(QStringLiteral("/token"));
}

QString TestOAuthWindow::kept(const QString &user)
{
    OAuthTokenStore store;
    store.setTimeout(keyringTimeoutMs());
    QString refreshToken;
    bool done = false;
    store.read(m_oauth.provider(), user, this, [&](const QString &stored) {
        refreshToken = stored;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, keyringTimeoutMs() + 5000))
        return QStringLiteral("<the keyring did not answer>");
    return refreshToken;
}

QString TestOAuthWindow::settingsText() const
{
    QFile file(m_settingsFile);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The first login signs in in the browser; the second in the same window
// uses the token in memory; a second run of the program signs in silently
// with the keyring's refresh token, or (without a keyring) in the browser
// again, after it was said once that the sign-in cannot be kept.
void TestOAuthWindow::firstSignInThenSecondRun()
{
    const QString user = QStringLiteral("first");
    const int openedBefore = browserOpenings();
    {
        SignInWindow first;
        QVERIFY2(login(first.w, user, m_dovecot.port()), qPrintable(first.boxes.texts().join(u'|')));
        QCOMPARE(browserOpenings(), openedBefore + 1);
        QCOMPARE(first.w.lblMails->text(), QStringLiteral("1"));
        QVERIFY(kit::logout(first.w, first.boxes));

        const int tokensBefore = int(tokenRequests().size());
        QVERIFY2(login(first.w, user, m_dovecot.port()), qPrintable(first.boxes.texts().join(u'|')));
        QCOMPARE(browserOpenings(), openedBefore + 1);
        QCOMPARE(tokenRequests().size(), tokensBefore);
        QVERIFY(kit::logout(first.w, first.boxes));

        QCOMPARE(first.boxes.texts().size() - boxesButKeyrings(first.boxes).size(), keyringKeeps() ? 0 : 1);
    }
    QCOMPARE(kept(user).startsWith(QLatin1String("rt-")), keyringKeeps());
    // Tokens never go to the settings file.
    QVERIFY(!settingsText().contains(QLatin1String("rt-")));
    QVERIFY(!settingsText().contains(QLatin1String("at-")));

    SignInWindow second;
    QVERIFY2(login(second.w, user, m_dovecot.port()), qPrintable(second.boxes.texts().join(u'|')));
    QCOMPARE(browserOpenings(), openedBefore + (keyringKeeps() ? 1 : 2));
    if (keyringKeeps())
        QVERIFY(tokenRequests().last().startsWith(QLatin1String("POST /token grant_type=refresh_token")));
    QVERIFY(kit::logout(second.w, second.boxes));
}

// The service ends what the window still holds. An access token the server
// refuses is refreshed once and the login runs again, without the browser;
// a sign-in withdrawn altogether (the refresh is refused) sends the user
// back to the browser.
void TestOAuthWindow::serverEndsTheSignIn_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("what");
    QTest::addColumn<int>("browserOpenings");
    QTest::addColumn<QString>("lastTokenRequest");
    QTest::newRow("access token expired: refreshed")
        << "expiry" << QByteArray("access") << 0 << "POST /token grant_type=refresh_token refresh_token client_id";
    QTest::newRow("sign-in revoked: the browser again")
        << "revoked" << QByteArray("grants") << 1
        << "POST /token grant_type=authorization_code code redirect_uri client_id code_verifier";
}

void TestOAuthWindow::serverEndsTheSignIn()
{
    QFETCH(QString, user);
    QFETCH(QByteArray, what);
    QFETCH(int, browserOpenings);
    QFETCH(QString, lastTokenRequest);
    SignInWindow f;
    QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
    QVERIFY(kit::logout(f.w, f.boxes));
    const int openedBefore = this->browserOpenings();

    m_oauth.post(QStringLiteral("end-all"), "what=" + what);
    QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
    QCOMPARE(this->browserOpenings(), openedBefore + browserOpenings);
    QCOMPARE(tokenRequests().last(), lastTokenRequest);
    // The refusal went by without a box.
    for (const QString &text : f.boxes.texts())
        QVERIFY2(!text.contains(QLatin1String("Server error")), qPrintable(text));
    QVERIFY(kit::logout(f.w, f.boxes));
}

// Each failure: its message in a box, nothing kept, the window logged out.
void TestOAuthWindow::signInFails_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message"); // %1 the service's port, %2 the settings file
    QTest::newRow("consent refused")
        << "consent" << "deny"
        << "The sign-in with Test was refused in the browser: Mailvane was not allowed to read the mailbox.";
    QTest::newRow("state mismatch") << "state" << "wrong"
                                    << "The browser came back with the answer to another sign-in request (its state "
                                       "does not match this one), so Mailvane did not use it. Please log in again.";
    QTest::newRow("token endpoint errs") << "token" << "error"
                                         << "The sign-in service at 127.0.0.1:%1 refused: server_error (down for tests)";
    QTest::newRow("token endpoint silent") << "token" << "silent"
                                           << "The sign-in service at 127.0.0.1:%1 did not answer within 1 second.";
    QTest::newRow("no client id")
        << "ClientId" << ""
        << "Mailvane has no client id for signing in with Test. Register Mailvane with Test as a desktop app (the "
           "README, \"Outlook.com, Hotmail and Gmail\", says how), then enter its client id as ClientId in section "
           "[OAuth-Test] of %2.";
}

void TestOAuthWindow::signInFails()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const QString user = QStringLiteral("refused");
    if (key == QLatin1String("ClientId"))
        useTestProvider(m_dovecot.port(), {{key, QString()}});
    else
        m_oauth.set(key, value);
    const int tokensBefore = int(tokenRequests().size());
    SignInWindow f(SignInMs, 1000);
    fill(f.w, user, m_dovecot.port());
    f.w.cmdLogin->click();
    const QString expected = QString(message)
                                 .replace(QLatin1String("%1"), QString::number(m_oauth.port()))
                                 .replace(QLatin1String("%2"), m_settingsFile);
    QTRY_VERIFY_WITH_TIMEOUT(f.boxes.texts().contains(expected), SignInMs);
    QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    if (key == QLatin1String("ClientId"))
        QCOMPARE(tokenRequests().size(), tokensBefore);
    // Nothing kept: no sign-in, no store of the mailbox's ids.
    QCOMPARE(kept(user), QString());
    QVERIFY(!QFile::exists(user + QStringLiteral("_127.0.0.1.uidl")));
}

// The desktop says it cannot open the page: the window says so and the
// login stops. (The desktop's own opener reports only a missing opener, so
// this answer comes from the platform recorder.)
void TestOAuthWindow::browserCannotStart()
{
    RecordedWindow f;
    f.platform.openUrlResult = false;
    f.w.setSignInTimeouts(SignInMs, SignInMs, keyringTimeoutMs());
    fill(f.w, QStringLiteral("refused"), m_dovecot.port());
    f.w.cmdLogin->click();
    QTRY_VERIFY_WITH_TIMEOUT(f.boxes.texts().contains(QStringLiteral("The web browser could not be started to sign in "
                                                                     "with Test.")),
                             SignInMs);
    QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
    const QList<PlatformRecorder::Call> opened = f.platform.callsTo(QStringLiteral("openUrl"));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(kept(QStringLiteral("refused")), QString());
}

// Nobody comes back from the browser: while the window waits it says so
// and its Login button cancels; or the wait ends by itself.
void TestOAuthWindow::browserNeverReturns_data()
{
    QTest::addColumn<QString>("user"); // each row its own: the row signs in at its end
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("cancelled") << "cancelled" << true << QStringList();
    QTest::newRow("time-out") << "timed-out" << false
                              << QStringList{"Nobody signed in in the browser within 5 seconds; Mailvane gave up "
                                             "waiting."};
}

void TestOAuthWindow::browserNeverReturns()
{
    QFETCH(QString, user);
    QFETCH(bool, cancel);
    QFETCH(QStringList, boxes);
    qputenv("MAILVANE_FAKE_BROWSER", "ignore");
    const int openedBefore = browserOpenings();
    SignInWindow f(cancel ? SignInMs : 5000);
    fill(f.w, user, m_dovecot.port());
    f.w.cmdLogin->click();
    QTRY_COMPARE_WITH_TIMEOUT(f.w.lblProgress->text(),
                              QStringLiteral("Waiting for you to sign in with Test in your browser.."), SignInMs);
    // The opener runs on its own; its log line comes when it does.
    QTRY_COMPARE_WITH_TIMEOUT(browserOpenings(), openedBefore + 1, SignInMs);
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Cancel"));
    QVERIFY(f.w.cmdLogin->isEnabled());
    if (cancel)
        f.w.cmdLogin->click();
    QTRY_VERIFY_WITH_TIMEOUT(kit::loggedOutAndIdle(f.w), SignInMs);
    QCOMPARE(boxesButKeyrings(f.boxes), boxes);
    QCOMPARE(kept(user), QString());

    // The window is as before: the next login signs in.
    qputenv("MAILVANE_FAKE_BROWSER", "follow");
    QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
    QVERIFY(kit::logout(f.w, f.boxes));
}

// Minimised, the automatic check runs on its own timer (shortened from its
// minute) and never opens the browser or a box: when the service withdraws
// the sign-in, the pop-up says once that a sign-in is needed and the check
// pauses. Signed in again from the window, the check signs in silently.
void TestOAuthWindow::trayNeedsSignIn()
{
    const QString user = QStringLiteral("tray");
    AlertWatcher alerts;
    SignInWindow f;
    f.w.setAutoLoginInterval(200);
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
    const int openedBefore = browserOpenings();

    // Minimising a logged-in window switches the check on; its ticks log out
    // and in again with the token kept in memory.
    f.w.showMinimized();
    QTRY_VERIFY(kit::session(f.w).bMinimized());
    QVERIFY(f.w.ckAutoLogin->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(alerts.shown.size(), 1, SignInMs);
    QVERIFY2(alerts.shown.last().endsWith(QLatin1String(" new mail(s)")), qPrintable(alerts.shown.last()));

    m_oauth.post(QStringLiteral("end-all"), "what=access");
    m_oauth.post(QStringLiteral("end-all"), "what=grants");
    QTRY_COMPARE_WITH_TIMEOUT(alerts.shown.size(), 2, SignInMs);
    QCOMPARE(alerts.shown.last(), QStringLiteral("Mailvane\r\nMailbox of tray\r\nSign in again from the window"));
    QTRY_VERIFY_WITH_TIMEOUT(kit::loggedOutAndIdle(f.w), SignInMs);
    QVERIFY(!f.w.timLogin->isActive()); // paused: no tick, so no second pop-up
    QCOMPARE(browserOpenings(), openedBefore);
    QCOMPARE(boxesButKeyrings(f.boxes), QStringList());

    // Back in the window, the user signs in in the browser; minimised again,
    // the check signs in without it.
    f.w.showNormal();
    QTRY_VERIFY(!kit::session(f.w).bMinimized());
    QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
    QCOMPARE(browserOpenings(), openedBefore + 1);
    f.w.showMinimized();
    QTRY_VERIFY(kit::session(f.w).bMinimized());
    QTRY_COMPARE_WITH_TIMEOUT(alerts.shown.size(), 3, SignInMs);
    QVERIFY2(alerts.shown.last().endsWith(QLatin1String(" new mail(s)")), qPrintable(alerts.shown.last()));
    QCOMPARE(browserOpenings(), openedBefore + 1);
    QCOMPARE(boxesButKeyrings(f.boxes), QStringList());
    f.w.showNormal();
    QTRY_VERIFY(!f.w.ckAutoLogin->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!kit::session(f.w).bMinimized() && (kit::loggedInAndIdle(f.w) || kit::loggedOutAndIdle(f.w)),
                             SignInMs);
    if (kit::loggedInAndIdle(f.w))
        QVERIFY(kit::logout(f.w, f.boxes));
}

// Microsoft's section lists the local Dovecot as one of its servers (as an
// Outlook.com server would be typed): a Hotmail name typed with it goes to
// POP3 and signs in with OAuth 2.0; with any other server, to HTTPMail.
void TestOAuthWindow::hotmailNames_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("pop3");
    QTest::newRow("the Microsoft server typed: POP3") << "127.0.0.1" << true;
    QTest::newRow("another server: HTTPMail") << "pop.example.com" << false;
}

void TestOAuthWindow::hotmailNames()
{
    QFETCH(QString, server);
    QFETCH(bool, pop3);
    SettingsStore::open()->remove(QStringLiteral("OAuth-Test"));
    writeSection(QStringLiteral("OAuth-Microsoft"),
                 {{QStringLiteral("AuthorizationUrl"), m_oauth.url(QStringLiteral("authorize"))},
                  {QStringLiteral("TokenUrl"), m_oauth.url(QStringLiteral("token"))},
                  {QStringLiteral("ClientId"), QStringLiteral("mailvane-test")},
                  {QStringLiteral("Servers"), QStringLiteral("127.0.0.1:%1").arg(m_dovecot.port())}});
    HotmailWindowFixture f;
    QVERIFY(f.started);
    f.server.setMails(kit::threeHotmailMails("Subject: Hello\r\n\r\nHi\r\n", "b", "c"));
    f.useRealPlatform();
    f.w.setSignInTimeouts(SignInMs, SignInMs, keyringTimeoutMs());
    const int openedBefore = browserOpenings();
    const QString user = QStringLiteral("alice@hotmail.com");
    fill(f.w, user, m_dovecot.port(), server);
    // The password box holds the HTTPMail password: Microsoft's servers take none.
    f.w.txtPwd->setText(QStringLiteral("secret"));
    f.w.cmdLogin->click();
    // HTTPMail shows no size list at login.
    QTRY_VERIFY_WITH_TIMEOUT(pop3 ? kit::loggedInAndIdle(f.w) : f.w.cmdLogin->text() == QLatin1String("Logout"),
                             SignInMs);
    QCOMPARE(kit::session(f.w).bPOP3Mode(), pop3);
    QCOMPARE(kit::session(f.w).bHotmailMode(), !pop3);
    QCOMPARE(browserOpenings(), openedBefore + (pop3 ? 1 : 0));
    if (pop3) {
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("1"));
        QVERIFY(m_oauth.log(QStringLiteral("/authorize")).last().contains(QLatin1String("login_hint")));
    }
    QVERIFY(kit::logout(f.w, f.boxes));
}

// A 2 KB token goes after the "+": the scripted server, as Outlook does,
// takes the AUTH line only without it.
void TestOAuthWindow::longTokenNeverOnTheAuthLine()
{
    m_oauth.set(QStringLiteral("access_length"), QStringLiteral("2048"));
    SignInWindow f;
    ScriptedPop3Server server;
    useTestProvider(server.port());
    Pop3Scripts::greetingWithCapa(server, {"USER", "SASL PLAIN XOAUTH2"});
    server.reply("AUTH XOAUTH2\r\n", "+ \r\n");
    server.expectAnyLine().send("+OK Logged in.\r\n");
    Pop3Scripts::stat(server, 1, 100);
    Pop3Scripts::uidl(server, {QStringLiteral("a1")});
    Pop3Scripts::list(server, {100});
    Pop3Scripts::logout(server);
    fill(f.w, QStringLiteral("long"), server.port());
    f.w.cmdLogin->click();
    QTRY_VERIFY_WITH_TIMEOUT(kit::loggedInAndIdle(f.w), SignInMs);
    QVERIFY(kit::logout(f.w, f.boxes));
    QTRY_VERIFY(server.isFinished());
    QCOMPARE(server.mismatches(), QStringList());
    const QList<QByteArray> lines = server.receivedLines();
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines.at(1), QByteArray("AUTH XOAUTH2\r\n"));
    const QByteArray message = QByteArray::fromBase64(lines.at(2).trimmed());
    QVERIFY2(message.startsWith("user=long\x01" "auth=Bearer at-"), message.left(40).constData());
    QVERIFY(message.endsWith("\x01\x01"));
    QCOMPARE(message.size(), int(qstrlen("user=long\x01" "auth=Bearer ")) + 2048 + 2);
}

// The server refuses the token: the refusal's challenge is answered, a
// fresh token is fetched once and the login runs again; refused again, it
// ends as a refused password does, the server's line in a box and the
// Login button reading "Logout".
void TestOAuthWindow::tokenRefusedTwice()
{
    SignInWindow f;
    ScriptedPop3Server server;
    useTestProvider(server.port());
    Pop3Scripts::greetingWithCapa(server, {"USER", "SASL XOAUTH2"});
    server.reply("AUTH XOAUTH2\r\n", "+ \r\n");
    server.expectAnyLine().send("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n");
    server.reply("\r\n", "-ERR [AUTH] Authentication failed.\r\n");
    server.expectClientClose().acceptConnection();
    Pop3Scripts::greetingWithCapa(server, {"USER", "SASL XOAUTH2"});
    server.reply("AUTH XOAUTH2\r\n", "+ \r\n");
    server.expectAnyLine().send("-ERR [AUTH] Authentication failed.\r\n");
    Pop3Scripts::quit(server);
    const int openedBefore = browserOpenings();
    fill(f.w, QStringLiteral("twice"), server.port());
    f.w.cmdLogin->click();
    QTRY_COMPARE_WITH_TIMEOUT(f.w.cmdLogin->text(), QStringLiteral("Logout"), SignInMs);
    QTRY_VERIFY(f.w.cmdLogin->isEnabled());
    QCOMPARE(boxesButKeyrings(f.boxes), QStringList{QStringLiteral("Server error\r\n-ERR [AUTH] Authentication failed.\r\n")});
    QCOMPARE(browserOpenings(), openedBefore + 1);
    QCOMPARE(tokenRequests().last(), QStringLiteral("POST /token grant_type=refresh_token refresh_token client_id"));
    QVERIFY(kit::logout(f.w, f.boxes));
    QTRY_VERIFY(server.isFinished());
    QCOMPARE(server.mismatches(), QStringList());
    const QList<QByteArray> lines = server.receivedLines();
    QCOMPARE(lines.size(), 8);
    QVERIFY2(lines.at(2) != lines.at(6), "the same token was sent again");
    QCOMPARE(xoauth2Shown(lines.at(2)), QStringLiteral("user=twice auth=Bearer at-"));
    QCOMPARE(xoauth2Shown(lines.at(6)), QStringLiteral("user=twice auth=Bearer at-"));
}

// The Login button's menu forgets a kept sign-in: the next login asks in
// the browser again, in this run and the next.
void TestOAuthWindow::forgetSignIn()
{
    const QString user = QStringLiteral("forget");
    const int openedBefore = browserOpenings();
    {
        SignInWindow f;
        QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
        QVERIFY(kit::logout(f.w, f.boxes));
        QCOMPARE(f.w.cmdLogin->contextMenuPolicy(), Qt::CustomContextMenu);
        QAction *forget = nullptr;
        for (QAction *action : f.w.findChildren<QAction *>()) {
            if (action->text() == QLatin1String("Forget Sign-in"))
                forget = action;
        }
        QVERIFY(forget);
        f.boxes.clear();
        forget->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(f.boxes.boxes.size(), 2, keyringTimeoutMs() + 5000);
        QCOMPARE(f.boxes.boxes.at(0).text,
                 QStringLiteral("Forget the sign-in of forget with Test? The next login asks in the browser again."));
        const QString done = QStringLiteral("Mailvane has forgotten the sign-in of forget with Test.");
        if (keyringKeeps())
            QCOMPARE(f.boxes.boxes.at(1).text, done);
        else
            QVERIFY2(f.boxes.boxes.at(1).text.startsWith(done.chopped(1) + QStringLiteral(" for this run")),
                     qPrintable(f.boxes.boxes.at(1).text));
        QCOMPARE(kept(user), QString());

        QVERIFY2(login(f.w, user, m_dovecot.port()), qPrintable(f.boxes.texts().join(u'|')));
        QCOMPARE(browserOpenings(), openedBefore + 2);
        QVERIFY(kit::logout(f.w, f.boxes));
        forget->trigger();
    }
    SignInWindow next;
    QVERIFY2(login(next.w, user, m_dovecot.port()), qPrintable(next.boxes.texts().join(u'|')));
    QCOMPARE(browserOpenings(), openedBefore + 3);
    QVERIFY(kit::logout(next.w, next.boxes));
}

QTEST_MAIN(TestOAuthWindow)
#include "test_oauth_window.moc"
