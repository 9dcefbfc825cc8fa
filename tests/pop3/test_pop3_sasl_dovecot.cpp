// Signing in to a real Dovecot with each mechanism it can offer: the window
// chooses the strongest (SCRAM-SHA-256, SCRAM-SHA-1; on a plain connection
// CRAM-MD5, then APOP; USER and PASS where nothing better is offered), as
// Dovecot's log shows; passwords stored in plain form and as SCRAM hashes;
// a wrong password is refused once, with no second attempt on the wire
// (APOP aside: its refusal lets USER and PASS follow); a
// SCRAM server whose signature does not verify ends the login; a settings
// entry forces a method.

#include "DovecotServer.h"
#include "net/SignInSettings.h"
#include "net/TcpClientSocket.h"
#include "TestCertificates.h"
#include "WindowTestKit.h"

#include <QLabel>
#include <QMessageAuthenticationCode>
#include <QPasswordDigestor>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

const QString User = QStringLiteral("alice");
const QString Password = QStringLiteral("open sesame");

QSettings settings()
{
    return QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"));
}

// Dovecot's {SCRAM-SHA-256} entry (iterations, salt, StoredKey, ServerKey;
// RFC 5802). The ServerKey may come from another password: the server then
// takes the client's proof but cannot prove itself.
QString scramEntry(const QString &password, const QString &serverKeyPassword)
{
    const QByteArray salt = "mailvane-salt-16";
    const int iterations = 4096;
    const auto salted = [&](const QString &secret) {
        return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, secret.toUtf8(), salt, iterations, 32);
    };
    const auto hmac = [](const QByteArray &key, const QByteArray &text) {
        return QMessageAuthenticationCode::hash(text, key, QCryptographicHash::Sha256);
    };
    const QByteArray storedKey = QCryptographicHash::hash(hmac(salted(password), "Client Key"), QCryptographicHash::Sha256);
    const QByteArray serverKey = hmac(salted(serverKeyPassword), "Server Key");
    return QStringLiteral("{SCRAM-SHA-256}%1,%2,%3,%4")
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(storedKey.toBase64()),
             QString::fromLatin1(serverKey.toBase64()));
}

// The methods Dovecot logged for alice's logins (or for a session that
// never learnt her name), in order: "SCRAM-SHA-256"
// for a login, "CRAM-MD5 failed 1" for a session that ended after one
// refused attempt, "CRAM-MD5 ended" for one that ended otherwise.
QStringList loggedMethods(const QString &log)
{
    static const QRegularExpression method(QStringLiteral("user=<(?:alice)?>, method=([A-Z0-9-]+)"));
    static const QRegularExpression failed(QStringLiteral("auth failed, (\\d+) attempts"));
    QStringList methods;
    for (const QString &line : log.split(u'\n')) {
        const QRegularExpressionMatch named = method.match(line);
        if (!line.contains(QLatin1String("pop3-login: Info: ")) || !named.hasMatch())
            continue;
        const QRegularExpressionMatch refused = failed.match(line);
        if (line.contains(QLatin1String("pop3-login: Info: Login: ")))
            methods << named.captured(1);
        else if (refused.hasMatch())
            methods << named.captured(1) + QStringLiteral(" failed ") + refused.captured(1);
        else
            methods << named.captured(1) + QStringLiteral(" ended");
    }
    return methods;
}

std::unique_ptr<DovecotServer> startDovecot(const QString &mechanisms, const QString &stored,
                                            const TestCertificates *tls = nullptr)
{
    if (!DovecotServer::isAvailable()) {
        QTest::qSkip(qPrintable(DovecotServer::unavailableReason()), __FILE__, __LINE__);
        return {};
    }
    auto dovecot = std::make_unique<DovecotServer>();
    dovecot->setAuthMechanisms(mechanisms);
    const bool made = dovecot->addUserStored(User, stored) && dovecot->deliver(User, "Subject: one\r\n\r\nfirst\r\n")
                      && (!tls
                          || dovecot->enableTls(tls->path(QStringLiteral("good.pem")),
                                                tls->path(QStringLiteral("server.key"))))
                      && dovecot->start();
    if (!made) {
        QTest::qFail(qPrintable(dovecot->errorString() + dovecot->log()), __FILE__, __LINE__);
        return {};
    }
    return dovecot;
}

} // namespace

class TestPop3SaslDovecot : public QObject
{
    Q_OBJECT
private slots:
    void init() { settings().clear(); }

    void strongestOfferedMethodSignsIn_data()
    {
        QTest::addColumn<QString>("mechanisms");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("overTls");
        QTest::addColumn<QString>("method");
        const QString plain = QStringLiteral("{PLAIN}") + Password;
        const QString scram = scramEntry(Password, Password);
        const QString all = QStringLiteral("plain cram-md5 scram-sha-1 scram-sha-256 apop");
        QTest::newRow("SCRAM-SHA-256 first, plain password") << all << plain << false << "SCRAM-SHA-256";
        QTest::newRow("SCRAM-SHA-256, SCRAM hash") << all << scram << false << "SCRAM-SHA-256";
        QTest::newRow("SCRAM-SHA-1") << "plain cram-md5 scram-sha-1 apop" << plain << false << "SCRAM-SHA-1";
        QTest::newRow("CRAM-MD5 before APOP") << "plain cram-md5 apop" << plain << false << "CRAM-MD5";
        QTest::newRow("APOP where no SASL is better") << "plain apop" << plain << false << "APOP";
        QTest::newRow("USER and PASS where nothing better") << "plain" << plain << false << "PLAIN";
        QTest::newRow("over TLS, SCRAM still first") << all << plain << true << "SCRAM-SHA-256";
        QTest::newRow("over TLS, USER and PASS before CRAM-MD5 and APOP") << "plain cram-md5 apop" << plain << true
                                                                          << "PLAIN";
    }
    void strongestOfferedMethodSignsIn()
    {
        QFETCH(QString, mechanisms);
        QFETCH(QString, stored);
        QFETCH(bool, overTls);
        QFETCH(QString, method);
        TestCertificates certificates;
        if (overTls && !(QSslSocket::supportsSsl() && certificates.make()))
            QSKIP("No TLS here");
        std::unique_ptr<DovecotServer> dovecot = startDovecot(mechanisms, stored, overTls ? &certificates : nullptr);
        if (!dovecot)
            return;
        RecordedWindow f;
        if (overTls)
            f.w.sockPOP3->addCaCertificates(certificates.ca());
        QVERIFY2(kit::login(f.w, dovecot->port(), 10000, User, Password),
                 qPrintable(f.boxes.texts().join(u'|') + dovecot->log()));
        QCOMPARE(f.w.sockPOP3->isEncrypted(), overTls);
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("1"));
        QCOMPARE(f.boxes.texts(), QStringList());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_COMPARE(loggedMethods(dovecot->log()), QStringList{method});
    }

    void wrongPasswordIsRefusedOnce_data()
    {
        QTest::addColumn<QString>("mechanisms");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("method");
        const QString plain = QStringLiteral("{PLAIN}") + Password;
        const QString all = QStringLiteral("plain cram-md5 scram-sha-256 apop");
        QTest::newRow("SCRAM-SHA-256") << all << plain << "SCRAM-SHA-256";
        QTest::newRow("SCRAM-SHA-256 against a SCRAM hash") << all << scramEntry(Password, Password)
                                                            << "SCRAM-SHA-256";
        QTest::newRow("CRAM-MD5") << "plain cram-md5 apop" << plain << "CRAM-MD5";
        QTest::newRow("USER and PASS") << "plain" << plain << "PLAIN";
    }
    void wrongPasswordIsRefusedOnce()
    {
        QFETCH(QString, mechanisms);
        QFETCH(QString, stored);
        QFETCH(QString, method);
        std::unique_ptr<DovecotServer> dovecot = startDovecot(mechanisms, stored);
        if (!dovecot)
            return;
        RecordedWindow f;
        kit::fillLogin(f.w, dovecot->port(), User, QStringLiteral("guess"));
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Server error\r\n-ERR [AUTH] Authentication failed.\r\n")});
        // As after a refused PASS: Logout closes the open connection.
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY2(loggedMethods(dovecot->log()) == QStringList{method + QStringLiteral(" failed 1")},
                     qPrintable(dovecot->log()));
    }

    void serverSignatureThatDoesNotVerifyEndsTheLogin()
    {
        std::unique_ptr<DovecotServer> dovecot =
            startDovecot(QStringLiteral("plain cram-md5 scram-sha-256 apop"), scramEntry(Password, QStringLiteral("another")));
        if (!dovecot)
            return;
        RecordedWindow f;
        kit::fillLogin(f.w, dovecot->port(), User, Password);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.texts(),
                 QStringList{QStringLiteral("The mail server could not prove that it knows your password.\r\n"
                                            "The login has been stopped; your password was not sent.")});
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        // Nothing weaker was tried after it.
        QTRY_VERIFY2(!loggedMethods(dovecot->log()).isEmpty(), qPrintable(dovecot->log()));
        const QStringList methods = loggedMethods(dovecot->log());
        QCOMPARE(methods.size(), 1);
        QVERIFY2(methods.first().startsWith(QLatin1String("SCRAM-SHA-256 ")), qPrintable(dovecot->log()));
    }

    void settingsEntryForcesTheMethod_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("method");
        QTest::newRow("CRAM-MD5 although SCRAM is offered") << "CRAM-MD5" << "CRAM-MD5";
        QTest::newRow("USER, in any letter case") << "user" << "PLAIN";
        QTest::newRow("the first of a list the server takes") << "XOAUTH2, APOP" << "APOP";
    }
    void settingsEntryForcesTheMethod()
    {
        QFETCH(QString, entry);
        QFETCH(QString, method);
        std::unique_ptr<DovecotServer> dovecot =
            startDovecot(QStringLiteral("plain cram-md5 scram-sha-256 apop"), QStringLiteral("{PLAIN}") + Password);
        if (!dovecot)
            return;
        settings().setValue(SignInSettings::methodsGroup() + QStringLiteral("/127.0.0.1:")
                                + QString::number(dovecot->port()),
                            entry);
        RecordedWindow f;
        QVERIFY2(kit::login(f.w, dovecot->port(), 10000, User, Password),
                 qPrintable(f.boxes.texts().join(u'|') + dovecot->log()));
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_COMPARE(loggedMethods(dovecot->log()), QStringList{method});
    }
};

QTEST_MAIN(TestPop3SaslDovecot)
#include "test_pop3_sasl_dovecot.moc"
