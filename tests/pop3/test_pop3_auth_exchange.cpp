// One AUTH exchange, whatever the mechanism: the AUTH line and its
// 255-octet rule, "+" challenges answered through the mechanism, and how
// each ending is told apart (signed in, refused, unsupported, broken on
// protocol grounds, a server that cannot prove itself). The mechanism is
// scripted here; SaslClient's own exchanges are test_sasl_client's, and the
// window runs real ones against Dovecot in test_pop3_sasl_dovecot.

#include "pop3/Pop3AuthExchange.h"

#include <QtTest>

using Answer = Pop3AuthExchange::Answer;
using Outcome = Pop3AuthExchange::Outcome;
using Pop3SignIn::Method;

namespace {

struct Step
{
    Answer answer;
    QByteArray message;
};

QString b64(const QByteArray &octets)
{
    return QString::fromLatin1(octets.toBase64());
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(Method)
Q_DECLARE_METATYPE(Outcome)

class TestPop3AuthExchange : public QObject
{
    Q_OBJECT
private slots:
    void exchanges_data()
    {
        QTest::addColumn<Method>("method");
        QTest::addColumn<QList<Step>>("steps");        // the mechanism's answers, in turn
        QTest::addColumn<QStringList>("replies");      // the server's, one per line sent
        QTest::addColumn<QStringList>("lines");        // what the client sends
        QTest::addColumn<QList<QByteArray>>("challenges"); // what the mechanism was given
        QTest::addColumn<Outcome>("outcome");

        const QByteArray plain("\0bob\0pw", 7);
        const QByteArray first = "n,,n=bob,r=abc";
        const QByteArray serverFirst = "r=abcdef,s=c2FsdA==,i=4096";
        const QByteArray final = "c=biws,r=abcdef,p=cHJvb2Y=";
        const QByteArray verifier = "v=c2lnbmF0dXJl";
        const QString crlf = QStringLiteral("\r\n");
        const QStringList scramLines{"AUTH SCRAM-SHA-256 " + b64(first) + crlf, b64(final) + crlf, crlf};

        QTest::newRow("PLAIN on the AUTH line")
            << Method::Plain << QList<Step>{{Answer::Done, plain}} << QStringList{"+OK Logged in."}
            << QStringList{"AUTH PLAIN " + b64(plain) + crlf} << QList<QByteArray>{""} << Outcome::SignedIn;
        const QByteArray longResponse(300, 'a');
        QTest::newRow("a response over 255 octets waits for the +")
            << Method::Plain << QList<Step>{{Answer::Done, longResponse}} << QStringList{"+ ", "+OK"}
            << QStringList{"AUTH PLAIN" + crlf, b64(longResponse) + crlf} << QList<QByteArray>{""}
            << Outcome::SignedIn;
        QTest::newRow("CRAM-MD5 waits for the server's challenge")
            << Method::CramMd5 << QList<Step>{{Answer::Respond, ""}, {Answer::Done, "bob 0123abcd"}}
            << QStringList{"+ " + b64("<1896.697170952@postoffice.example.net>"), "+OK"}
            << QStringList{"AUTH CRAM-MD5" + crlf, b64("bob 0123abcd") + crlf}
            << QList<QByteArray>{"", "<1896.697170952@postoffice.example.net>"} << Outcome::SignedIn;
        QTest::newRow("SCRAM: three rounds, the signature verified")
            << Method::ScramSha256
            << QList<Step>{{Answer::Respond, first}, {Answer::Respond, final}, {Answer::Done, ""}}
            << QStringList{"+ " + b64(serverFirst), "+ " + b64(verifier), "+OK"} << scramLines
            << QList<QByteArray>{"", serverFirst, verifier} << Outcome::SignedIn;
        QTest::newRow("SCRAM: a server that skips its signature")
            << Method::ScramSha256 << QList<Step>{{Answer::Respond, first}, {Answer::Respond, final}}
            << QStringList{"+ " + b64(serverFirst), "+OK"} << scramLines.mid(0, 2)
            << QList<QByteArray>{"", serverFirst} << Outcome::Unproven;
        QTest::newRow("SCRAM: a signature that does not verify is cancelled")
            << Method::ScramSha256
            << QList<Step>{{Answer::Respond, first}, {Answer::Respond, final}, {Answer::Unproven, ""}}
            << QStringList{"+ " + b64(serverFirst), "+ " + b64(verifier), "-ERR [AUTH] Cancelled"}
            << QStringList{scramLines.at(0), scramLines.at(1), "*" + crlf}
            << QList<QByteArray>{"", serverFirst, verifier} << Outcome::Unproven;
        QTest::newRow("SCRAM: wrong password")
            << Method::ScramSha256 << QList<Step>{{Answer::Respond, first}, {Answer::Respond, final}}
            << QStringList{"+ " + b64(serverFirst), "-ERR [AUTH] Authentication failed."} << scramLines.mid(0, 2)
            << QList<QByteArray>{"", serverFirst} << Outcome::Refused;
        QTest::newRow("a + that is not base64 is cancelled")
            << Method::ScramSha256 << QList<Step>{{Answer::Respond, first}}
            << QStringList{"+ this is *not* base64", "-ERR Cancelled."}
            << QStringList{scramLines.at(0), "*" + crlf} << QList<QByteArray>{""} << Outcome::Broken;
        QTest::newRow("a challenge the mechanism cannot read is cancelled")
            << Method::ScramSha256 << QList<Step>{{Answer::Respond, first}, {Answer::Garbled, ""}}
            << QStringList{"+ " + b64("nonsense"), "-ERR Cancelled."}
            << QStringList{scramLines.at(0), "*" + crlf} << QList<QByteArray>{"", "nonsense"} << Outcome::Broken;
        QTest::newRow("a line that is no reply is cancelled")
            << Method::CramMd5 << QList<Step>{{Answer::Respond, ""}} << QStringList{"hello there", "-ERR"}
            << QStringList{"AUTH CRAM-MD5" + crlf, "*" + crlf} << QList<QByteArray>{""} << Outcome::Broken;
        QTest::newRow("a cancelled exchange that the server accepts")
            << Method::CramMd5 << QList<Step>{{Answer::Respond, ""}} << QStringList{"+ ###", "+OK"}
            << QStringList{"AUTH CRAM-MD5" + crlf, "*" + crlf} << QList<QByteArray>{""} << Outcome::Unproven;
        QTest::newRow("mechanism unknown to the server")
            << Method::ScramSha256 << QList<Step>{{Answer::Respond, first}}
            << QStringList{"-ERR Unsupported authentication mechanism."} << scramLines.mid(0, 1)
            << QList<QByteArray>{""} << Outcome::Unsupported;
        QTest::newRow("CRAM-MD5 refused bare: not supported")
            << Method::CramMd5 << QList<Step>{{Answer::Respond, ""}} << QStringList{"-ERR Unknown command"}
            << QStringList{"AUTH CRAM-MD5" + crlf} << QList<QByteArray>{""} << Outcome::Unsupported;
        QTest::newRow("PLAIN refused with [AUTH]")
            << Method::Plain << QList<Step>{{Answer::Done, plain}}
            << QStringList{"-ERR [AUTH] Authentication failed."} << QStringList{"AUTH PLAIN " + b64(plain) + crlf}
            << QList<QByteArray>{""} << Outcome::Refused;
        QTest::newRow("PLAIN refused in plain words is the password's refusal")
            << Method::Plain << QList<Step>{{Answer::Done, plain}} << QStringList{"-ERR Authentication failed."}
            << QStringList{"AUTH PLAIN " + b64(plain) + crlf} << QList<QByteArray>{""} << Outcome::Refused;
        QTest::newRow("PLAIN said to be unsupported")
            << Method::Plain << QList<Step>{{Answer::Done, plain}}
            << QStringList{"-ERR Unsupported authentication mechanism."}
            << QStringList{"AUTH PLAIN " + b64(plain) + crlf} << QList<QByteArray>{""} << Outcome::Unsupported;
        // How a token mechanism plugs in: its refusal comes as a challenge
        // that is answered with an empty line before the -ERR.
        const QByteArray token = "user=bob\x01" "auth=Bearer t0k3n\x01\x01";
        QTest::newRow("XOAUTH2: a refused token")
            << Method::XOAuth2 << QList<Step>{{Answer::Done, token}, {Answer::Respond, ""}}
            << QStringList{"+ " + b64("{\"status\":\"401\"}"), "-ERR [AUTH] Authentication failed."}
            << QStringList{"AUTH XOAUTH2 " + b64(token) + crlf, crlf}
            << QList<QByteArray>{"", "{\"status\":\"401\"}"} << Outcome::Refused;
    }
    void exchanges()
    {
        QFETCH(Method, method);
        QFETCH(QList<Step>, steps);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, lines);
        QFETCH(QList<QByteArray>, challenges);
        QFETCH(Outcome, outcome);

        QList<QByteArray> given;
        int next = 0;
        Pop3AuthExchange exchange(method, [&](const QByteArray &challenge, QByteArray *message) {
            given.append(challenge);
            if (next >= steps.size())
                return Answer::Garbled;
            *message = steps.at(next).message;
            return steps.at(next++).answer;
        });
        QStringList sent{exchange.start()};
        for (const QString &reply : replies) {
            QCOMPARE(exchange.outcome(), Outcome::Going);
            const QString line = exchange.handleReply(reply + QStringLiteral("\r\n"));
            if (!line.isEmpty())
                sent.append(line);
        }
        QCOMPARE(sent, lines);
        QCOMPARE(given, challenges);
        QCOMPARE(exchange.outcome(), outcome);
        if (outcome == Outcome::Unproven || outcome == Outcome::Broken)
            QVERIFY(!exchange.errorString().isEmpty());
        // Once ended, it says nothing more.
        QCOMPARE(exchange.handleReply(QStringLiteral("+ AAAA\r\n")), QString());
    }
};

QTEST_GUILESS_MAIN(TestPop3AuthExchange)
#include "test_pop3_auth_exchange.moc"
