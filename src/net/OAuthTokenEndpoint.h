#pragma once
// One request to a sign-in service's token endpoint (RFC 6749): an
// authorization code with its PKCE verifier, or a refresh token, becomes an
// access token. A form POST with the client id, and a client secret only
// where the settings name one (Mailvane is a public client; Google's
// desktop clients still have to show theirs); the answer is bounded in
// size and time,
// redirects are not followed, and every failure is a sentence for the user.
//
// One request at a time; start another after succeeded() or failed().

#include "net/FormUrlEncoding.h"
#include "net/OAuthProvider.h"
#include "net/OAuthResult.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

class OAuthTokenEndpoint : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 MaxAnswerSize = 64 * 1024;
    static constexpr int DefaultTimeoutMs = 30000;
    // Tokens are sent inside SASL messages: visible ASCII only, bounded.
    static constexpr int MaxTokenLength = 16 * 1024;
    // An access token is kept at most this long, whatever the service says.
    static constexpr qint64 MaxLifetime = 24 * 3600;

    explicit OAuthTokenEndpoint(QObject *parent = nullptr);
    ~OAuthTokenEndpoint() override;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    void exchangeCode(const OAuthProvider &provider, const QString &code, const QString &redirectUri,
                      const QByteArray &codeVerifier);
    void refresh(const OAuthProvider &provider, const QString &refreshToken);
    // Ends a request without a signal.
    void abort();
    bool isBusy() const { return !m_reply.isNull(); }

    // The answer read: tokens, or the error. `service` names the service in
    // messages ("login.example.com").
    static bool readAnswer(int httpStatus, const QByteArray &body, const QString &service, OAuthTokens *tokens,
                           OAuthError *error);
    // Visible ASCII, 1 to MaxTokenLength characters.
    static bool isUsableToken(const QString &token);

signals:
    void succeeded(const OAuthTokens &tokens);
    void failed(const OAuthError &error);

private:
    void post(const OAuthProvider &provider, FormUrlEncoding::Fields fields);
    void onFinished();
    void onProgress(qint64 received);
    void onTimeout();
    void fail(const QString &message);
    void dropReply();

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    int m_timeoutMs = DefaultTimeoutMs;
    QString m_service;
};
