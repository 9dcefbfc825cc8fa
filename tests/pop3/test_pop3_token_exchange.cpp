// The AUTH exchange that carries an access token, reply by reply: the token
// always after the "+" (also one that would fit on the AUTH line), a
// refusal's "+ <json>" answered so that the -ERR comes, and the replies
// that have no place in the exchange.

#include "pop3/Pop3TokenExchange.h"

#include <QtTest>

namespace {

using Outcome = Pop3TokenExchange::Outcome;
using Method = Pop3SignIn::Method;

QString base64(const QByteArray &octets)
{
    return QString::fromLatin1(octets.toBase64());
}

} // namespace

Q_DECLARE_METATYPE(Pop3SignIn::Method)
Q_DECLARE_METATYPE(Pop3TokenExchange::Outcome)

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
        Pop3TokenExchange exchange(method, QStringLiteral("alice@outlook.com"), QStringLiteral("pop.example.com"), 995,
                                   token);
        QCOMPARE(exchange.authLine(), line);
        const Pop3TokenExchange::Step step = exchange.reply(QStringLiteral("+ \r\n"));
        QCOMPARE(step.outcome, Outcome::Send);
        const QByteArray message = method == Method::XOAuth2
                                       ? "user=alice@outlook.com\x01" "auth=Bearer " + token.toLatin1() + "\x01\x01"
                                       : "n,a=alice@outlook.com,\x01host=pop.example.com\x01port=995\x01"
                                         "auth=Bearer " + token.toLatin1() + "\x01\x01";
        QCOMPARE(step.line, base64(message) + QStringLiteral("\r\n"));
    }

    // Each row: the server's replies after the AUTH line, the lines the
    // client sends in between, and how the exchange ends.
    void exchanges_data()
    {
        QTest::addColumn<Method>("method");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("answers"); // after the token's line
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
                                               << QStringList() << Outcome::NotSupported;
        QTest::newRow("+OK before the token went") << Method::XOAuth2 << QStringList{"+OK\r\n"} << QStringList()
                                                   << Outcome::Broken;
        QTest::newRow("garbage after the token") << Method::XOAuth2 << QStringList{"+ \r\n", "* what\r\n"}
                                                 << QStringList() << Outcome::Broken;
        QTest::newRow("+OK after the refusal was answered")
            << Method::XOAuth2 << QStringList{"+ \r\n", "+ e30=\r\n", "+OK\r\n"} << QStringList{"\r\n"}
            << Outcome::Broken;
        QTest::newRow("a second challenge after the answer")
            << Method::XOAuth2 << QStringList{"+ \r\n", "+ e30=\r\n", "+ e30=\r\n"} << QStringList{"\r\n"}
            << Outcome::Broken;
    }
    void exchanges()
    {
        QFETCH(Method, method);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, answers);
        QFETCH(Outcome, outcome);
        Pop3TokenExchange exchange(method, QStringLiteral("alice"), QStringLiteral("127.0.0.1"), 110,
                                   QStringLiteral("at-token"));
        QStringList sent;
        Pop3TokenExchange::Step step{Outcome::Send, QString()};
        for (const QString &reply : replies) {
            QCOMPARE(step.outcome, Outcome::Send);
            step = exchange.reply(reply);
            if (step.outcome == Outcome::Send)
                sent << step.line;
        }
        QCOMPARE(step.outcome, outcome);
        // The first line sent is the token's; the rest answer the server.
        QCOMPARE(sent.mid(1), answers);
        // The exchange has ended: whatever comes next has no place in it.
        QCOMPARE(exchange.reply(QStringLiteral("+OK\r\n")).outcome, Outcome::Broken);
    }
};

QTEST_GUILESS_MAIN(TestPop3TokenExchange)
#include "test_pop3_token_exchange.moc"
