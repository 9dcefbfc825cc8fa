// The AUTH exchange that carries an access token (the token mechanisms in
// a Pop3AuthExchange), reply by reply: the token always after the "+" (also
// one that would fit on the AUTH line), a refusal's "+ <json>" answered so
// that the -ERR comes, and the replies that have no place in the exchange.

#include "pop3/Pop3TokenMechanism.h"

#include <QtTest>

namespace {

using Outcome = Pop3AuthExchange::Outcome;
using Method = Pop3SignIn::Method;

QString base64(const QByteArray &octets)
{
    return QString::fromLatin1(octets.toBase64());
}

} // namespace

Q_DECLARE_METATYPE(Pop3SignIn::Method)
Q_DECLARE_METATYPE(Pop3AuthExchange::Outcome)

class TestPop3TokenExchange : public QObject
{
    Q_OBJECT
private slots:
    void authLineNamesTheMechanismAlone_data()
    {
        QTest::addColumn<Method>("method");
        QTest::addColumn<int>("tokenLength");
        QTest::addColumn<QString>("line");
        QTest::newRow("XOAUTH2, a short token") << Method::XOAuth2 << 20 << "AUTH XOAUTH2\r\n";
        QTest::newRow("XOAUTH2, a 2 KB token") << Method::XOAuth2 << 2048 << "AUTH XOAUTH2\r\n";
        QTest::newRow("OAUTHBEARER, a short token") << Method::OAuthBearer << 20 << "AUTH OAUTHBEARER\r\n";
        QTest::newRow("OAUTHBEARER, a 2 KB token") << Method::OAuthBearer << 2048 << "AUTH OAUTHBEARER\r\n";
    }
    void authLineNamesTheMechanismAlone()
    {
        QFETCH(Method, method);
        QFETCH(int, tokenLength);
        QFETCH(QString, line);
        const QString token(tokenLength, u'x');
        Pop3AuthExchange exchange(method, Pop3TokenMechanism::make(method, QStringLiteral("alice@outlook.com"),
                                                                   QStringLiteral("pop.example.com"), 995, token));
        QCOMPARE(exchange.start(), line);
        const QByteArray message = method == Method::XOAuth2
                                       ? "user=alice@outlook.com\x01" "auth=Bearer " + token.toLatin1() + "\x01\x01"
                                       : "n,a=alice@outlook.com,\x01host=pop.example.com\x01port=995\x01"
                                         "auth=Bearer " + token.toLatin1() + "\x01\x01";
        QCOMPARE(exchange.handleReply(QStringLiteral("+ \r\n")), base64(message) + QStringLiteral("\r\n"));
        QCOMPARE(exchange.outcome(), Outcome::Going);
    }

    // Each row: the server's replies after the AUTH line, the lines the
    // client sends after the token's, and how the exchange ends.
    void exchanges_data()
    {
        QTest::addColumn<Method>("method");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("signed in") << Method::XOAuth2 << QStringList{"+ \r\n", "+OK Logged in.\r\n"} << QStringList()
                                   << Outcome::SignedIn;
        QTest::newRow("XOAUTH2 refused: the challenge answered with an empty line")
            << Method::XOAuth2
            << QStringList{"+ \r\n", "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n", "-ERR [AUTH] Authentication failed.\r\n"}
            << QStringList{"\r\n"} << Outcome::Refused;
        QTest::newRow("OAUTHBEARER refused: the challenge answered with %x01")
            << Method::OAuthBearer
            << QStringList{"+ \r\n", "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n", "-ERR [AUTH] Authentication failed.\r\n"}
            << QStringList{"AQ==\r\n"} << Outcome::Refused;
        QTest::newRow("refused without a challenge")
            << Method::XOAuth2 << QStringList{"+ \r\n", "-ERR Authentication failed.\r\n"} << QStringList()
            << Outcome::Refused;
        QTest::newRow("mechanism not offered") << Method::XOAuth2
                                               << QStringList{"-ERR Unrecognized authentication type.\r\n"}
                                               << QStringList() << Outcome::Unsupported;
        QTest::newRow("+OK before the token went") << Method::XOAuth2 << QStringList{"+OK\r\n"} << QStringList()
                                                   << Outcome::Unproven;
        QTest::newRow("garbage after the token: cancelled")
            << Method::XOAuth2 << QStringList{"+ \r\n", "* what\r\n", "-ERR Cancelled.\r\n"} << QStringList{"*\r\n"}
            << Outcome::Broken;
    }
    void exchanges()
    {
        QFETCH(Method, method);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, answers);
        QFETCH(Outcome, outcome);
        Pop3AuthExchange exchange(method, Pop3TokenMechanism::make(method, QStringLiteral("alice"),
                                                                   QStringLiteral("127.0.0.1"), 110,
                                                                   QStringLiteral("at-token")));
        QCOMPARE(exchange.start(), QStringLiteral("AUTH ") + Pop3SignIn::methodName(method) + QStringLiteral("\r\n"));
        QStringList sent;
        for (const QString &reply : replies) {
            QCOMPARE(exchange.outcome(), Outcome::Going);
            const QString line = exchange.handleReply(reply);
            if (!line.isEmpty())
                sent << line;
        }
        QCOMPARE(exchange.outcome(), outcome);
        // The first line sent after a "+" is the token's; the rest answer the server.
        QCOMPARE(replies.first() == QLatin1String("+ \r\n") ? sent.mid(1) : sent, answers);
    }
};

QTEST_GUILESS_MAIN(TestPop3TokenExchange)
#include "test_pop3_token_exchange.moc"
