// Choosing how to sign in to a POP3 server, and the lines of the exchange:
// what CAPA and the greeting offer, the order of methods on plain and
// encrypted connections, the AUTH line's 255-octet limit, challenges, and
// the refusals that allow the next method.

#include "pop3/Pop3SignIn.h"

#include <QtTest>

using namespace Pop3SignIn;

Q_DECLARE_METATYPE(QList<Pop3SignIn::Method>)

namespace {

QByteArray capa(const QByteArray &lines)
{
    return "+OK Capability list follows\r\n" + lines + ".\r\n";
}

QStringList names(const QList<Method> &methods)
{
    QStringList list;
    for (Method method : methods)
        list.append(methodName(method));
    return list;
}

} // namespace

class TestPop3SignIn : public QObject
{
    Q_OBJECT
private slots:
    void capabilities()
    {
        const Capabilities dovecot = parseCapa(QString::fromLatin1(
            capa("CAPA\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nPIPELINING\r\nAUTH-RESP-CODE\r\nUSER\r\n"
                 "SASL PLAIN cram-md5 SCRAM-SHA-256\r\nSTLS\r\n")));
        QVERIFY(dovecot.known);
        QVERIFY(dovecot.stls);
        QVERIFY(dovecot.user);
        QVERIFY(dovecot.pipelining);
        QCOMPARE(dovecot.sasl, QStringList({"PLAIN", "CRAM-MD5", "SCRAM-SHA-256"}));

        const Capabilities refused = parseCapa(QStringLiteral("-ERR Unknown command\r\n"));
        QVERIFY(!refused.known);
        QVERIFY(!refused.user);
        QVERIFY(refused.sasl.isEmpty());

        // A word that merely begins like a capability is no capability.
        const Capabilities lookalikes =
            parseCapa(QString::fromLatin1(capa("STLSX\r\nUSERS\r\nX-SASL PLAIN\r\n")));
        QVERIFY(lookalikes.known);
        QVERIFY(!lookalikes.stls && !lookalikes.user && lookalikes.sasl.isEmpty());
    }

    void greetingStamp_data()
    {
        QTest::addColumn<QString>("greeting");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("rfc 1939") << "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"
                                  << "<1896.697170952@dbc.mtview.ca.us>";
        QTest::newRow("dovecot") << "+OK Dovecot ready. <6c5.1.675e1a2b.Zx9y@host>\r\n" << "<6c5.1.675e1a2b.Zx9y@host>";
        QTest::newRow("none") << "+OK Dovecot ready.\r\n" << "";
        QTest::newRow("brackets without @") << "+OK <not a stamp>\r\n" << "";
        QTest::newRow("blank inside") << "+OK <a b@c>\r\n" << "";
    }
    void greetingStamp()
    {
        QFETCH(QString, greeting);
        QFETCH(QString, stamp);
        QCOMPARE(apopStamp(greeting), stamp);
    }

    void order_data()
    {
        QTest::addColumn<QByteArray>("capaLines"); // empty: CAPA refused
        QTest::addColumn<bool>("stamp");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QStringList>("expected");
        const QByteArray all = "USER\r\nSASL PLAIN CRAM-MD5 SCRAM-SHA-1 SCRAM-SHA-256\r\n";
        QTest::newRow("everything, plain connection")
            << all << true << false << QStringList({"SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5", "APOP", "USER"});
        QTest::newRow("everything, encrypted")
            << all << true << true << QStringList({"SCRAM-SHA-256", "SCRAM-SHA-1", "USER"});
        QTest::newRow("only USER, as always") << QByteArray("USER\r\n") << false << false << QStringList({"USER"});
        QTest::newRow("CAPA refused") << QByteArray() << false << false << QStringList({"USER"});
        QTest::newRow("CAPA refused, greeting stamp") << QByteArray() << true << false << QStringList({"APOP", "USER"});
        QTest::newRow("PLAIN where USER is not offered")
            << QByteArray("SASL PLAIN XOAUTH2\r\n") << false << true << QStringList({"PLAIN"});
        QTest::newRow("provider over TLS") << QByteArray("USER\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\n") << false << true
                                           << QStringList({"USER"});
        QTest::newRow("CRAM-MD5 only on a plain connection")
            << QByteArray("USER\r\nSASL CRAM-MD5\r\n") << false << true << QStringList({"USER"});
        QTest::newRow("mechanism the library lacks")
            << QByteArray("USER\r\nSASL SCRAM-SHA-512 GSSAPI-X\r\n") << false << false << QStringList({"USER"});
    }
    void order()
    {
        QFETCH(QByteArray, capaLines);
        QFETCH(bool, stamp);
        QFETCH(bool, encrypted);
        QFETCH(QStringList, expected);
        const Capabilities capabilities = parseCapa(
            capaLines.isEmpty() ? QStringLiteral("-ERR no\r\n") : QString::fromLatin1(capa(capaLines)));
        const QString greetingStamp = stamp ? QStringLiteral("<1.2@host>") : QString();
        QCOMPARE(names(methodsToTry(capabilities, greetingStamp, encrypted)), expected);
    }

    void forcedMethodReplacesTheChoice()
    {
        const Capabilities capabilities =
            parseCapa(QString::fromLatin1(capa("USER\r\nSASL SCRAM-SHA-256 CRAM-MD5\r\n")));
        Method forced = Method::UserPass;
        QVERIFY(methodFromName(QStringLiteral(" cram-md5 "), &forced));
        QCOMPARE(forced, Method::CramMd5);
        QCOMPARE(names(methodsToTry(capabilities, QString(), false, {forced})), QStringList({"CRAM-MD5"}));
        QVERIFY(!methodFromName(QStringLiteral("KERBEROS"), &forced));
    }

    void apop()
    {
        // The example of RFC 1939.
        QCOMPARE(apopLine(QStringLiteral("mrose"), QStringLiteral("<1896.697170952@dbc.mtview.ca.us>"),
                          QStringLiteral("tanstaaf")),
                 QStringLiteral("APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"));
    }

    void authLineLimit()
    {
        bool onLine = false;
        QCOMPARE(authLine(Method::Plain, QByteArray("\0bob\0secret", 11), &onLine),
                 QStringLiteral("AUTH PLAIN AGJvYgBzZWNyZXQ=\r\n"));
        QVERIFY(onLine);
        QCOMPARE(authLine(Method::CramMd5, QByteArray(), &onLine), QStringLiteral("AUTH CRAM-MD5 =\r\n"));
        QVERIFY(onLine);

        // 255 octets with CR LF: "AUTH XOAUTH2 " is 13, so 240 base64 characters fit (180 octets).
        QCOMPARE(authLine(Method::XOAuth2, QByteArray(180, 'x'), &onLine).size(), 255);
        QVERIFY(onLine);
        QCOMPARE(authLine(Method::XOAuth2, QByteArray(181, 'x'), &onLine), QStringLiteral("AUTH XOAUTH2\r\n"));
        QVERIFY(!onLine);
        QCOMPARE(authLine(Method::XOAuth2, QByteArray(2048, 'x'), &onLine), QStringLiteral("AUTH XOAUTH2\r\n"));
        QVERIFY(!onLine);
    }

    void challenges_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("continuation");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("challenge");
        QTest::newRow("challenge") << "+ PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+\r\n" << true << true
                                   << QByteArray("<1896.697170952@postoffice>");
        QTest::newRow("empty challenge") << "+ \r\n" << true << true << QByteArray();
        QTest::newRow("bare plus") << "+\r\n" << true << true << QByteArray();
        QTest::newRow("garbage") << "+ this is not base64!\r\n" << true << false << QByteArray();
        QTest::newRow("success") << "+OK Logged in.\r\n" << false << true << QByteArray();
        QTest::newRow("refusal") << "-ERR [AUTH] Authentication failed.\r\n" << false << true << QByteArray();
    }
    void challenges()
    {
        QFETCH(QString, reply);
        QFETCH(bool, continuation);
        QFETCH(bool, valid);
        QFETCH(QByteArray, challenge);
        QCOMPARE(isContinuation(reply), continuation);
        if (!continuation)
            return;
        bool isValid = false;
        QCOMPARE(challengeOf(reply, &isValid), challenge);
        QCOMPARE(isValid, valid);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("proofSent");
        QTest::addColumn<bool>("unsupported");
        QTest::newRow("dovecot unsupported") << "-ERR Unsupported authentication mechanism.\r\n" << false << true;
        QTest::newRow("bare refusal before proof") << "-ERR no\r\n" << false << true;
        QTest::newRow("credentials refused") << "-ERR [AUTH] Authentication failed.\r\n" << false << false;
        QTest::newRow("bare refusal after proof") << "-ERR Authentication failed\r\n" << true << false;
        QTest::newRow("unsupported said after proof") << "-ERR mechanism not supported\r\n" << true << true;
        QTest::newRow("[AUTH] beats words") << "-ERR [AUTH] unsupported\r\n" << true << false;
        QTest::newRow("success") << "+OK\r\n" << false << false;
    }
    void refusals()
    {
        QFETCH(QString, reply);
        QFETCH(bool, proofSent);
        QFETCH(bool, unsupported);
        QCOMPARE(refusesMechanism(reply, proofSent), unsupported);
    }

    void tokenMessages()
    {
        QCOMPARE(xoauth2Message(QStringLiteral("someone@example.com"), QStringLiteral("ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg")),
                 QByteArray("user=someone@example.com\x01" "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg\x01\x01"));
        QCOMPARE(oauthBearerMessage(QStringLiteral("a,b=c@example.com"), QStringLiteral("server.example.com"), 995,
                                    QStringLiteral("vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==")),
                 QByteArray("n,a=a=2Cb=3Dc@example.com,\x01host=server.example.com\x01port=995\x01"
                            "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01"));
    }

    void readableMethods()
    {
        QVERIFY(sendsPasswordReadable(Method::UserPass));
        QVERIFY(sendsPasswordReadable(Method::Plain));
        for (Method method : {Method::ScramSha256, Method::ScramSha1, Method::CramMd5, Method::Apop, Method::XOAuth2})
            QVERIFY(!sendsPasswordReadable(method));
    }
};

QTEST_GUILESS_MAIN(TestPop3SignIn)
#include "test_pop3_sign_in.moc"
