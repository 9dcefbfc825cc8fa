// The pieces of an OAuth 2.0 sign-in that are plain text: PKCE values,
// form encoding both ways, the authorization URL, the reading of a token
// endpoint's answers, and the tokens kept in memory.

#include "net/FormUrlEncoding.h"
#include "net/OAuthAuthorization.h"
#include "net/OAuthTokenCache.h"
#include "net/OAuthTokenEndpoint.h"
#include "net/Pkce.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>
#include <QtTest>

class TestOAuthRequests : public QObject
{
    Q_OBJECT
private slots:
    // RFC 7636, appendix B.
    void challengeOfTheRfcExample()
    {
        QCOMPARE(Pkce::challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
                 QByteArray("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
    }

    void verifiersAndStatesAreFreshAndUnreserved()
    {
        const QRegularExpression unreserved(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
        QSet<QByteArray> seen;
        for (int i = 0; i < 200; ++i) {
            const QByteArray verifier = Pkce::newVerifier();
            QVERIFY2(unreserved.match(QString::fromLatin1(verifier)).hasMatch(), verifier.constData());
            seen.insert(verifier);
            seen.insert(Pkce::randomText());
        }
        QCOMPARE(seen.size(), 400);
    }

    void formDecoding_data()
    {
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("present");
        QTest::newRow("Google's code, slash encoded") << QByteArray("code=4%2F0AeaYSHB&state=x") << "code" << "4/0AeaYSHB" << true;
        QTest::newRow("a slash left as it is") << QByteArray("state=x&code=4/0Aea") << "code" << "4/0Aea" << true;
        QTest::newRow("plus is a blank") << QByteArray("error_description=no+thanks") << "error_description"
                                         << "no thanks" << true;
        QTest::newRow("an encoded plus is a plus") << QByteArray("code=a%2Bb%3D%3D") << "code" << "a+b==" << true;
        QTest::newRow("UTF-8") << QByteArray("x=%C3%BCmlaut") << "x" << QStringLiteral("\u00fcmlaut") << true;
        QTest::newRow("an encoded ampersand stays inside the value") << QByteArray("code=a%26state%3Dz&state=s")
                                                                    << "code" << "a&state=z" << true;
        QTest::newRow("a field without a value") << QByteArray("code&state=s") << "code" << "" << true;
        QTest::newRow("the first of two") << QByteArray("code=1&code=2") << "code" << "1" << true;
        QTest::newRow("absent") << QByteArray("state=s") << "code" << "" << false;
        QTest::newRow("empty") << QByteArray() << "code" << "" << false;
    }
    void formDecoding()
    {
        QFETCH(QByteArray, form);
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, present);
        bool found = false;
        QCOMPARE(FormUrlEncoding::value(FormUrlEncoding::decode(form), name, &found), value);
        QCOMPARE(found, present);
    }

    void formEncodingComesBackUnchanged()
    {
        const FormUrlEncoding::Fields fields = {{QStringLiteral("scope"), QStringLiteral("https://mail.google.com/ offline")},
                                                {QStringLiteral("code"), QStringLiteral("4/a+b=&c%d")},
                                                {QStringLiteral("hint"), QStringLiteral("\u00fc@example.com")},
                                                {QStringLiteral("empty"), QString()}};
        const QByteArray form = FormUrlEncoding::encode(fields);
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9%=&._~-]*$")).match(QString::fromLatin1(form)).hasMatch(),
                 form.constData());
        QCOMPARE(FormUrlEncoding::decode(form), fields);
    }

    void authorizationUrl()
    {
        OAuthProvider provider;
        provider.authorizationUrl = QUrl(QStringLiteral("https://login.example.com/o/authorize?prompt=select_account"));
        provider.clientId = QStringLiteral("client 1");
        provider.scope = QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access");
        const QUrl url = OAuthAuthorization::authorizationUrl(provider, QStringLiteral(" a+b@outlook.com "),
                                                              QStringLiteral("http://127.0.0.1:4711/"), "st-1", "ch_1");
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.path(), QStringLiteral("/o/authorize"));
        const QString encoded = QString::fromLatin1(url.toEncoded());
        // What reaches the browser: every reserved character encoded.
        QVERIFY2(encoded.contains(QLatin1String("scope=https%3A%2F%2Foutlook.office.com%2FPOP.AccessAsUser.All%20offline_access")),
                 qPrintable(encoded));
        QVERIFY2(encoded.contains(QLatin1String("redirect_uri=http%3A%2F%2F127.0.0.1%3A4711%2F")), qPrintable(encoded));
        QVERIFY2(encoded.contains(QLatin1String("login_hint=a%2Bb%40outlook.com")), qPrintable(encoded));
        const FormUrlEncoding::Fields fields = FormUrlEncoding::decode(url.query(QUrl::FullyEncoded).toLatin1());
        const QList<QPair<QString, QString>> expected = {
            {QStringLiteral("prompt"), QStringLiteral("select_account")},
            {QStringLiteral("response_type"), QStringLiteral("code")},
            {QStringLiteral("client_id"), QStringLiteral("client 1")},
            {QStringLiteral("redirect_uri"), QStringLiteral("http://127.0.0.1:4711/")},
            {QStringLiteral("scope"), provider.scope},
            {QStringLiteral("state"), QStringLiteral("st-1")},
            {QStringLiteral("code_challenge"), QStringLiteral("ch_1")},
            {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
            {QStringLiteral("login_hint"), QStringLiteral("a+b@outlook.com")}};
        QCOMPARE(fields, expected);
    }

    void tokenAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        // Empty: the answer is good.
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("invalidGrant");
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<qint64>("expiresIn");

        QTest::newRow("tokens") << 200
                                << QByteArray("{\"token_type\":\"Bearer\",\"scope\":\"x\",\"expires_in\":3599,"
                                              "\"access_token\":\"EwBYA+l3/x==\",\"refresh_token\":\"M.C5_BAY.-CQ!\"}")
                                << "" << false << "EwBYA+l3/x==" << "M.C5_BAY.-CQ!" << qint64(3599);
        QTest::newRow("no refresh token, lifetime as text, bearer in lower case")
            << 200 << QByteArray("{\"access_token\":\"a\",\"token_type\":\"bearer\",\"expires_in\":\"60\"}") << "" << false
            << "a" << "" << qint64(60);
        QTest::newRow("no lifetime") << 200 << QByteArray("{\"access_token\":\"a\"}") << "" << false << "a" << ""
                                     << qint64(-1);
        QTest::newRow("an absurd lifetime is bounded")
            << 200 << QByteArray("{\"access_token\":\"a\",\"expires_in\":1e300}") << "" << false << "a" << ""
            << OAuthTokenEndpoint::MaxLifetime;
        QTest::newRow("a negative lifetime") << 200 << QByteArray("{\"access_token\":\"a\",\"expires_in\":-5}") << ""
                                             << false << "a" << "" << qint64(0);
        QTest::newRow("invalid_grant") << 400
                                       << QByteArray("{\"error\":\"invalid_grant\",\"error_description\":\"AADSTS70000: "
                                                     "The provided grant has expired\\r\\nTrace ID: 1\"}")
                                       << "The sign-in service at login.example.com refused: invalid_grant (AADSTS70000: "
                                          "The provided grant has expired??Trace ID: 1)"
                                       << true << "" << "" << qint64(0);
        QTest::newRow("another refusal") << 401 << QByteArray("{\"error\":\"invalid_client\"}")
                                         << "The sign-in service at login.example.com refused: invalid_client" << false
                                         << "" << "" << qint64(0);
        QTest::newRow("a server error page") << 502 << QByteArray("<html>Bad Gateway</html>")
                                             << "The sign-in service at login.example.com answered with HTTP status 502."
                                             << false << "" << "" << qint64(0);
        QTest::newRow("a redirect is not followed") << 302 << QByteArray()
                                                    << "The sign-in service at login.example.com answered with HTTP "
                                                       "status 302."
                                                    << false << "" << "" << qint64(0);
        QTest::newRow("cut off") << 200 << QByteArray("{\"access_token\":\"a")
                                 << "The sign-in service at login.example.com sent an answer that Mailvane cannot read "
                                    "(no JSON object)."
                                 << false << "" << "" << qint64(0);
        QTest::newRow("a JSON list") << 200 << QByteArray("[\"access_token\",\"a\"]")
                                     << "The sign-in service at login.example.com sent an answer that Mailvane cannot "
                                        "read (no JSON object)."
                                     << false << "" << "" << qint64(0);
        QTest::newRow("no access token") << 200 << QByteArray("{\"token_type\":\"Bearer\",\"refresh_token\":\"r\"}")
                                         << "The sign-in service at login.example.com sent no access token." << false
                                         << "" << "" << qint64(0);
        QTest::newRow("an access token that is a number") << 200 << QByteArray("{\"access_token\":12}")
                                                          << "The sign-in service at login.example.com sent no access "
                                                             "token."
                                                          << false << "" << "" << qint64(0);
        const QString unusable = QStringLiteral("The sign-in service at login.example.com sent a token that Mailvane "
                                                "cannot use (too long, or characters a token cannot hold).");
        QTest::newRow("an access token with a SASL separator")
            << 200 << QByteArray("{\"access_token\":\"a\\u0001auth=Bearer b\"}") << unusable << false << "" << ""
            << qint64(0);
        QTest::newRow("a refresh token with a line end")
            << 200 << QByteArray("{\"access_token\":\"a\",\"refresh_token\":\"r\\r\\nx\"}") << unusable << false << "" << ""
            << qint64(0);
        QTest::newRow("an access token of 20,000 characters")
            << 200 << QByteArray("{\"access_token\":\"" + QByteArray(20000, 'a') + "\"}") << unusable << false << ""
            << "" << qint64(0);
        QTest::newRow("a token of another type") << 200 << QByteArray("{\"access_token\":\"a\",\"token_type\":\"MAC\"}")
                                                 << "The sign-in service at login.example.com sent a token of type "
                                                    "\"MAC\"; Mailvane needs a Bearer token."
                                                 << false << "" << "" << qint64(0);
    }
    void tokenAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(bool, invalidGrant);
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QFETCH(qint64, expiresIn);
        OAuthTokens tokens;
        OAuthError error;
        const bool good = OAuthTokenEndpoint::readAnswer(status, body, QStringLiteral("login.example.com"), &tokens, &error);
        QCOMPARE(good, message.isEmpty());
        if (good) {
            QCOMPARE(tokens.accessToken, access);
            QCOMPARE(tokens.refreshToken, refresh);
            QCOMPARE(tokens.expiresIn, expiresIn);
        } else {
            QCOMPARE(error.message, message);
            QCOMPARE(error.kind == OAuthError::Kind::InvalidGrant, invalidGrant);
        }
    }

    void cacheKeepsAccessTokensUntilShortlyBeforeTheirEnd_data()
    {
        QTest::addColumn<qint64>("expiresIn");
        QTest::addColumn<bool>("offered");
        QTest::newRow("an hour") << qint64(3600) << true;
        QTest::newRow("just over the margin") << OAuthTokenCache::MarginSeconds + 5 << true;
        QTest::newRow("within the margin") << OAuthTokenCache::MarginSeconds - 1 << false;
        QTest::newRow("expired when issued") << qint64(0) << false;
        QTest::newRow("lifetime unknown") << qint64(-1) << true;
    }
    void cacheKeepsAccessTokensUntilShortlyBeforeTheirEnd()
    {
        QFETCH(qint64, expiresIn);
        QFETCH(bool, offered);
        OAuthTokenCache cache;
        cache.keep(QStringLiteral("Google"), QStringLiteral("carol"), {QStringLiteral("at"), QStringLiteral("rt"), expiresIn});
        QCOMPARE(cache.accessToken(QStringLiteral("Google"), QStringLiteral("carol")),
                 offered ? QStringLiteral("at") : QString());
        QCOMPARE(cache.refreshToken(QStringLiteral("Google"), QStringLiteral("carol")), QStringLiteral("rt"));
    }

    void cacheKeepsAccountsApart()
    {
        OAuthTokenCache cache;
        cache.keep(QStringLiteral("Google"), QStringLiteral("carol"), {QStringLiteral("g-at"), QStringLiteral("g-rt"), 3600});
        cache.keep(QStringLiteral("Microsoft"), QStringLiteral("carol"), {QStringLiteral("m-at"), QStringLiteral("m-rt"), 3600});
        // A refresh without a new refresh token keeps the old one; one with
        // a new one replaces it.
        cache.keep(QStringLiteral("Google"), QStringLiteral(" carol "), {QStringLiteral("g-at2"), QString(), 3600});
        QCOMPARE(cache.refreshToken(QStringLiteral("Google"), QStringLiteral("carol")), QStringLiteral("g-rt"));
        cache.keep(QStringLiteral("Microsoft"), QStringLiteral("carol"), {QStringLiteral("m-at2"), QStringLiteral("m-rt2"), 3600});
        QCOMPARE(cache.refreshToken(QStringLiteral("Microsoft"), QStringLiteral("carol")), QStringLiteral("m-rt2"));
        QCOMPARE(cache.accessToken(QStringLiteral("Google"), QStringLiteral("carol")), QStringLiteral("g-at2"));
        QCOMPARE(cache.accessToken(QStringLiteral("Google"), QStringLiteral("dave")), QString());

        cache.dropAccessToken(QStringLiteral("Google"), QStringLiteral("carol"));
        QCOMPARE(cache.accessToken(QStringLiteral("Google"), QStringLiteral("carol")), QString());
        QCOMPARE(cache.refreshToken(QStringLiteral("Google"), QStringLiteral("carol")), QStringLiteral("g-rt"));
        cache.forget(QStringLiteral("Google"), QStringLiteral("carol"));
        QCOMPARE(cache.refreshToken(QStringLiteral("Google"), QStringLiteral("carol")), QString());
        QCOMPARE(cache.accessToken(QStringLiteral("Microsoft"), QStringLiteral("carol")), QStringLiteral("m-at2"));
    }
};

QTEST_GUILESS_MAIN(TestOAuthRequests)
#include "test_oauth_requests.moc"
