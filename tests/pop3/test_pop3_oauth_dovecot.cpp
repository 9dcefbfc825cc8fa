// Logging in to a real Dovecot with OAuth 2.0 tokens, spoken directly on
// the wire: Dovecot's oauth2 passdb asks the local authorization server (a
// process of its own) by RFC 7662 introspection about each token Mailvane's
// sign-in got from it through the fake browser. XOAUTH2 and OAUTHBEARER
// sign in; a token that is expired, revoked or another user's is answered
// with a "+" challenge first, and only the client's answer to it brings the
// "-ERR"; a 2 KB token goes after the "+", never on the AUTH line.

#include "net/OAuthAuthorization.h"
#include "pop3/Pop3SignIn.h"
#include "DovecotServer.h"
#include "OAuthServer.h"
#include "RawPop3.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

class TestPop3OAuthDovecot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        QVERIFY2(m_oauth.start(), qPrintable(m_oauth.errorString()));
        m_dovecot.enableOAuth(m_oauth.url(QStringLiteral("introspect")));
        for (const char *user : {"alice", "bob"}) {
            QVERIFY(m_dovecot.addUser(QString::fromLatin1(user), QStringLiteral("unused-password")));
            QVERIFY(m_dovecot.deliver(QString::fromLatin1(user), "Subject: hi\r\n\r\nbody\r\n"));
        }
        QVERIFY2(m_dovecot.start(), qPrintable(m_dovecot.errorString()));
        qputenv("MAILVANE_FAKE_BROWSER", "follow");
    }

    void init()
    {
        for (const char *key : {"access_lifetime", "access_length"})
            m_oauth.set(QString::fromLatin1(key), QString());
    }

    void signsIn_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("tokenLength");
        QTest::addColumn<bool>("onTheAuthLine");
        QTest::newRow("XOAUTH2") << int(Pop3SignIn::Method::XOAuth2) << 40 << true;
        QTest::newRow("OAUTHBEARER") << int(Pop3SignIn::Method::OAuthBearer) << 40 << true;
        QTest::newRow("XOAUTH2, a 2 KB token after the +") << int(Pop3SignIn::Method::XOAuth2) << 2048 << false;
        QTest::newRow("OAUTHBEARER, a 2 KB token after the +") << int(Pop3SignIn::Method::OAuthBearer) << 2048 << false;
    }
    void signsIn()
    {
        QFETCH(int, method);
        QFETCH(int, tokenLength);
        QFETCH(bool, onTheAuthLine);
        m_oauth.set(QStringLiteral("access_length"), QString::number(tokenLength));
        const QString token = accessToken(QStringLiteral("alice"));
        QCOMPARE(token.size(), tokenLength);
        const QList<QByteArray> replies = login(Pop3SignIn::Method(method), QStringLiteral("alice"), token, onTheAuthLine);
        QVERIFY2(replies.value(replies.size() - 2).startsWith("+OK"), replies.join(" | ").constData());
        QVERIFY2(replies.last().startsWith("+OK 1 "), replies.join(" | ").constData());
    }

    void refusedTokens_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("why");
        for (const auto method : {Pop3SignIn::Method::XOAuth2, Pop3SignIn::Method::OAuthBearer}) {
            for (const char *why : {"expired", "revoked", "another user's"}) {
                QTest::addRow("%s, %s", qPrintable(Pop3SignIn::methodName(method)), why)
                    << int(method) << QString::fromLatin1(why);
            }
        }
    }
    void refusedTokens()
    {
        QFETCH(int, method);
        QFETCH(QString, why);
        if (why == QLatin1String("expired"))
            m_oauth.set(QStringLiteral("access_lifetime"), QStringLiteral("0"));
        const QString token = accessToken(why == QLatin1String("another user's") ? QStringLiteral("bob")
                                                                               : QStringLiteral("alice"));
        if (why == QLatin1String("revoked"))
            m_oauth.post(QStringLiteral("revoke"), "token=" + QUrl::toPercentEncoding(token));

        // The refusal is a challenge with the status in JSON; the client's
        // answer (an empty line, or AQ== for OAUTHBEARER) brings the -ERR.
        const QByteArray answer = Pop3SignIn::Method(method) == Pop3SignIn::Method::OAuthBearer ? "AQ==" : "";
        const QList<QByteArray> replies =
            RawPop3Dialogue(m_dovecot.port(), {authLine(Pop3SignIn::Method(method), QStringLiteral("alice"), token), answer});
        QCOMPARE(replies.size(), 3);
        QVERIFY2(replies.at(1).startsWith("+ "), replies.join(" | ").constData());
        bool valid = false;
        const QByteArray json = Pop3SignIn::challengeOf(QString::fromLatin1(replies.at(1)), &valid);
        QVERIFY(valid);
        QVERIFY2(QJsonDocument::fromJson(json).object().contains(QStringLiteral("status")), json.constData());
        QVERIFY2(replies.last().startsWith("-ERR"), replies.join(" | ").constData());
    }

private:
    QByteArray message(Pop3SignIn::Method method, const QString &user, const QString &token) const
    {
        return method == Pop3SignIn::Method::OAuthBearer
                   ? Pop3SignIn::oauthBearerMessage(user, QStringLiteral("127.0.0.1"), m_dovecot.port(), token)
                   : Pop3SignIn::xoauth2Message(user, token);
    }

    QByteArray authLine(Pop3SignIn::Method method, const QString &user, const QString &token) const
    {
        bool onLine = false;
        return Pop3SignIn::authLine(method, message(method, user, token), &onLine).trimmed().toLatin1();
    }

    // AUTH (with the response on the line, or after the "+"), then STAT.
    QList<QByteArray> login(Pop3SignIn::Method method, const QString &user, const QString &token, bool expectOnLine)
    {
        bool onLine = false;
        const QString line = Pop3SignIn::authLine(method, message(method, user, token), &onLine);
        if (onLine != expectOnLine)
            return {"<the response was " + QByteArray(onLine ? "on" : "off") + " the AUTH line>"};
        QList<QByteArray> lines{line.trimmed().toLatin1()};
        if (!onLine)
            lines << Pop3SignIn::responseLine(message(method, user, token)).trimmed().toLatin1();
        lines << "STAT";
        return RawPop3Dialogue(m_dovecot.port(), lines);
    }

    // A token for the user, through the browser sign-in.
    QString accessToken(const QString &user)
    {
        OAuthAuthorization flow(m_oauth.provider(), user);
        QString token;
        connect(&flow, &OAuthAuthorization::openBrowser, &flow, [](const QUrl &url) {
            QProcess::execute(OAuthServer::fakeBrowser(), {url.toString(QUrl::FullyEncoded)});
        });
        connect(&flow, &OAuthAuthorization::succeeded, &flow, [&](const OAuthTokens &tokens) { token = tokens.accessToken; });
        flow.start();
        if (!QTest::qWaitFor([&] { return !flow.isRunning(); }, 30000))
            return QStringLiteral("<no token>");
        return token;
    }

    OAuthServer m_oauth;
    DovecotServer m_dovecot;
};

QTEST_GUILESS_MAIN(TestPop3OAuthDovecot)
#include "test_pop3_oauth_dovecot.moc"
