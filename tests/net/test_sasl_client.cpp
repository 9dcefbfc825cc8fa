// SASL exchanges of the client against GNU SASL's own server side in the
// same process: each mechanism signs in, a wrong password is refused by the
// server, and a server that cannot prove it knows the password is refused by
// the client.

#include "net/SaslClient.h"

#include <QtTest>

#include <gsasl.h>

namespace {

const char *const ServerPassword = "secret";

int serverCallback(Gsasl *, Gsasl_session *session, Gsasl_property property)
{
    if (property == GSASL_PASSWORD) {
        gsasl_property_set(session, property, ServerPassword);
        return GSASL_OK;
    }
    if (property == GSASL_VALIDATE_SIMPLE) {
        const char *password = gsasl_property_fast(session, GSASL_PASSWORD);
        return password && qstrcmp(password, ServerPassword) == 0 ? GSASL_OK : GSASL_AUTHENTICATION_ERROR;
    }
    return GSASL_NO_CALLBACK;
}

enum class Outcome { SignedIn, ServerRefused, ClientRefused };

// Runs the exchange to its end; `tamperSignature` spoils the server's final
// SCRAM message, as a server that does not know the password would send it.
// `forgedSignature`, when given, replaces the whole of that message.
Outcome exchange(const QByteArray &mechanism, const QString &password, bool tamperSignature, QString *clientError,
                 bool *serverNotProven = nullptr, const QByteArray &forgedSignature = QByteArray())
{
    SaslClient client(mechanism, QStringLiteral("bob"), password);
    if (!client.isValid())
        return Outcome::ClientRefused;
    Gsasl *context = nullptr;
    gsasl_init(&context);
    gsasl_callback_set(context, serverCallback);
    Gsasl_session *server = nullptr;
    gsasl_server_start(context, mechanism.constData(), &server);

    Outcome outcome = Outcome::ServerRefused;
    QByteArray challenge;
    bool serverDone = false;
    for (int round = 0; round < 6; ++round) {
        QByteArray response;
        const SaslClient::Step step = client.step(challenge, &response);
        if (step == SaslClient::Step::Failed) {
            *clientError = client.errorString();
            if (serverNotProven)
                *serverNotProven = client.serverNotProven();
            outcome = Outcome::ClientRefused;
            break;
        }
        if (serverDone) {
            outcome = Outcome::SignedIn;
            break;
        }
        char *out = nullptr;
        size_t length = 0;
        const int rc = gsasl_step(server, response.constData(), size_t(response.size()), &out, &length);
        challenge = QByteArray(out, qsizetype(length));
        gsasl_free(out);
        if (rc != GSASL_OK && rc != GSASL_NEEDS_MORE)
            break;
        if (tamperSignature && challenge.startsWith("v="))
            challenge[3] = char(challenge[3] ^ 1);
        if (!forgedSignature.isEmpty() && challenge.startsWith("v="))
            challenge = forgedSignature;
        serverDone = rc == GSASL_OK;
        // PLAIN and CRAM-MD5 end with the server's verdict alone.
        if (serverDone && !mechanism.startsWith("SCRAM")) {
            outcome = Outcome::SignedIn;
            break;
        }
    }
    gsasl_finish(server);
    gsasl_done(context);
    return outcome;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestSaslClient : public QObject
{
    Q_OBJECT
private slots:
    void exchanges_data()
    {
        QTest::addColumn<QByteArray>("mechanism");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<Outcome>("outcome");
        for (const QByteArray mechanism : {"SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5", "PLAIN"}) {
            QTest::addRow("%s signs in", mechanism.constData())
                << mechanism << QStringLiteral("secret") << false << Outcome::SignedIn;
            QTest::addRow("%s wrong password", mechanism.constData())
                << mechanism << QStringLiteral("guess") << false << Outcome::ServerRefused;
        }
        for (const QByteArray mechanism : {"SCRAM-SHA-256", "SCRAM-SHA-1"}) {
            QTest::addRow("%s signature that does not verify", mechanism.constData())
                << mechanism << QStringLiteral("secret") << true << Outcome::ClientRefused;
        }
        QTest::newRow("unknown mechanism") << QByteArray("NO-SUCH-MECH") << QStringLiteral("secret") << false
                                           << Outcome::ClientRefused;
    }
    void exchanges()
    {
        QFETCH(QByteArray, mechanism);
        QFETCH(QString, password);
        QFETCH(bool, tamper);
        QFETCH(Outcome, outcome);
        QString error;
        QCOMPARE(exchange(mechanism, password, tamper, &error), outcome);
        if (outcome == Outcome::ClientRefused)
            QVERIFY(!error.isEmpty() || mechanism == "NO-SUCH-MECH");
    }

    // However the server's signature is spoiled, the failure is the
    // server's proof, never a protocol fault that would allow another method.
    void spoiledSignatureIsNoProof_data()
    {
        QTest::addColumn<QByteArray>("mechanism");
        QTest::addColumn<QByteArray>("signature");
        for (const QByteArray mechanism : {"SCRAM-SHA-256", "SCRAM-SHA-1"}) {
            QTest::addRow("%s another key's signature", mechanism.constData())
                << mechanism << QByteArray("v=" + QByteArray(mechanism == "SCRAM-SHA-1" ? 20 : 32, '\x5a').toBase64());
            QTest::addRow("%s signature not base64", mechanism.constData()) << mechanism << QByteArray("v=!!!!");
            QTest::addRow("%s an error in its place", mechanism.constData()) << mechanism << QByteArray("e=other-error");
        }
    }
    void spoiledSignatureIsNoProof()
    {
        QFETCH(QByteArray, mechanism);
        QFETCH(QByteArray, signature);
        QString error;
        bool notProven = false;
        QCOMPARE(exchange(mechanism, QStringLiteral("secret"), false, &error, &notProven, signature),
                 Outcome::ClientRefused);
        QVERIFY(notProven);
        QCOMPARE(error, QStringLiteral("The mail server could not prove that it knows your password."));
    }

    void plainCarriesNameAndPassword()
    {
        SaslClient client("PLAIN", QStringLiteral("bob"), QStringLiteral("s\u00e9cret"));
        QByteArray response;
        QCOMPARE(client.step(QByteArray(), &response), SaslClient::Step::Done);
        QCOMPARE(response, QByteArray("\0bob\0s\xc3\xa9" "cret", 12));
    }

    void cramMd5WaitsForTheServer()
    {
        // No initial response: the AUTH line names the mechanism alone.
        SaslClient client("CRAM-MD5", QStringLiteral("bob"), QStringLiteral("secret"));
        QByteArray response;
        QCOMPARE(client.step(QByteArray(), &response), SaslClient::Step::Continue);
        QVERIFY(response.isEmpty());
        QCOMPARE(client.step("<1896.697170952@postoffice.example.net>", &response), SaslClient::Step::Done);
        QVERIFY(response.startsWith("bob "));
        QCOMPARE(response.size(), 4 + 32);
    }
};

QTEST_GUILESS_MAIN(TestSaslClient)
#include "test_sasl_client.moc"
