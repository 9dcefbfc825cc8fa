// Token requests and the reading of their answers.

#include "net/OAuthTokenEndpoint.h"

#include "base/PlainText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

QString serviceName(const QUrl &url)
{
    return url.port() < 0 ? url.host() : url.host() + u':' + QString::number(url.port());
}

OAuthError serviceError(const QString &message, OAuthError::Kind kind = OAuthError::Kind::Service)
{
    OAuthError error;
    error.kind = kind;
    error.message = message;
    return error;
}

// "invalid_grant (The refresh token has expired.)"
QString errorText(const QJsonObject &answer)
{
    QString text = PlainText::shown(answer.value(QStringLiteral("error")).toString(), 60);
    const QString description = PlainText::shown(answer.value(QStringLiteral("error_description")).toString(), 200);
    if (!description.isEmpty())
        text += QStringLiteral(" (") + description + u')';
    return text;
}

qint64 lifetime(const QJsonValue &value)
{
    bool ok = value.isDouble();
    double seconds = value.toDouble();
    if (value.isString())
        seconds = value.toString().toDouble(&ok);
    if (!ok || seconds != seconds)
        return -1;
    return qint64(qBound(0.0, seconds, double(OAuthTokenEndpoint::MaxLifetime)));
}

} // namespace

OAuthTokenEndpoint::OAuthTokenEndpoint(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &OAuthTokenEndpoint::onTimeout);
}

OAuthTokenEndpoint::~OAuthTokenEndpoint()
{
    abort();
}

void OAuthTokenEndpoint::exchangeCode(const OAuthProvider &provider, const QString &code, const QString &redirectUri,
                                      const QByteArray &codeVerifier)
{
    post(provider, {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                    {QStringLiteral("code"), code},
                    {QStringLiteral("redirect_uri"), redirectUri},
                    {QStringLiteral("client_id"), provider.clientId},
                    {QStringLiteral("code_verifier"), QString::fromLatin1(codeVerifier)}});
}

void OAuthTokenEndpoint::refresh(const OAuthProvider &provider, const QString &refreshToken)
{
    post(provider, {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                    {QStringLiteral("refresh_token"), refreshToken},
                    {QStringLiteral("client_id"), provider.clientId}});
}

void OAuthTokenEndpoint::post(const OAuthProvider &provider, FormUrlEncoding::Fields fields)
{
    abort();
    if (!provider.clientSecret.isEmpty())
        fields.append({QStringLiteral("client_secret"), provider.clientSecret});
    m_service = serviceName(provider.tokenUrl);
    QNetworkRequest request(provider.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // The code or refresh token goes to the address the settings name and
    // nowhere else.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    m_reply = m_network->post(request, FormUrlEncoding::encode(fields));
    connect(m_reply, &QNetworkReply::finished, this, &OAuthTokenEndpoint::onFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &OAuthTokenEndpoint::onProgress);
    m_deadline.start(m_timeoutMs);
}

void OAuthTokenEndpoint::abort()
{
    m_deadline.stop();
    dropReply();
}

void OAuthTokenEndpoint::dropReply()
{
    if (m_reply.isNull())
        return;
    QNetworkReply *reply = m_reply;
    m_reply.clear();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void OAuthTokenEndpoint::onProgress(qint64 received)
{
    if (received > MaxAnswerSize || (m_reply && m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > MaxAnswerSize))
        fail(QStringLiteral("The sign-in service at %1 sent an answer larger than %2 KB.")
                 .arg(m_service)
                 .arg(MaxAnswerSize / 1024));
}

void OAuthTokenEndpoint::onTimeout()
{
    fail(QStringLiteral("The sign-in service at %1 did not answer within %2.").arg(m_service, waitText(m_timeoutMs)));
}

void OAuthTokenEndpoint::fail(const QString &message)
{
    abort();
    emit failed(serviceError(message));
}

void OAuthTokenEndpoint::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->read(MaxAnswerSize + 1);
    const QNetworkReply::NetworkError networkError = reply->error();
    const QString networkText = reply->errorString();
    abort();
    if (body.size() > MaxAnswerSize) {
        onProgress(body.size());
        return;
    }
    // An HTTP error status still carries the service's own JSON answer.
    if (status == 0 && networkError != QNetworkReply::NoError) {
        emit failed(serviceError(QStringLiteral("Cannot reach the sign-in service at %1: %2")
                                     .arg(m_service, PlainText::shown(networkText))));
        return;
    }
    OAuthTokens tokens;
    OAuthError error;
    if (readAnswer(status, body, m_service, &tokens, &error))
        emit succeeded(tokens);
    else
        emit failed(error);
}

bool OAuthTokenEndpoint::isUsableToken(const QString &token)
{
    if (token.isEmpty() || token.size() > MaxTokenLength)
        return false;
    for (const QChar ch : token) {
        if (ch.unicode() < 0x21 || ch.unicode() > 0x7e)
            return false;
    }
    return true;
}

bool OAuthTokenEndpoint::readAnswer(int httpStatus, const QByteArray &body, const QString &service,
                                    OAuthTokens *tokens, OAuthError *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject answer = document.object();
    const bool isObject = parseError.error == QJsonParseError::NoError && document.isObject();
    if (httpStatus != 200) {
        if (isObject && answer.value(QStringLiteral("error")).isString()) {
            const QString code = answer.value(QStringLiteral("error")).toString();
            const bool invalidGrant = code == QLatin1String("invalid_grant");
            *error = serviceError(QStringLiteral("The sign-in service at %1 refused: %2").arg(service, errorText(answer)),
                                  invalidGrant ? OAuthError::Kind::InvalidGrant : OAuthError::Kind::Service);
        } else {
            *error = serviceError(
                QStringLiteral("The sign-in service at %1 answered with HTTP status %2.").arg(service).arg(httpStatus));
        }
        return false;
    }
    if (!isObject) {
        *error = serviceError(QStringLiteral("The sign-in service at %1 sent an answer that Mailvane cannot read "
                                             "(no JSON object).")
                                  .arg(service));
        return false;
    }
    const QJsonValue access = answer.value(QStringLiteral("access_token"));
    if (!access.isString() || access.toString().isEmpty()) {
        *error = serviceError(QStringLiteral("The sign-in service at %1 sent no access token.").arg(service));
        return false;
    }
    const QJsonValue type = answer.value(QStringLiteral("token_type"));
    const QJsonValue refresh = answer.value(QStringLiteral("refresh_token"));
    const bool refreshUsable = refresh.isUndefined() || refresh.isNull()
                               || (refresh.isString() && isUsableToken(refresh.toString()));
    if (!isUsableToken(access.toString()) || !refreshUsable) {
        *error = serviceError(QStringLiteral("The sign-in service at %1 sent a token that Mailvane cannot use "
                                             "(too long, or characters a token cannot hold).")
                                  .arg(service));
        return false;
    }
    if (!type.isUndefined() && type.toString().compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0) {
        *error = serviceError(QStringLiteral("The sign-in service at %1 sent a token of type \"%2\"; Mailvane needs "
                                             "a Bearer token.")
                                  .arg(service, PlainText::shown(type.toString(), 40)));
        return false;
    }
    tokens->accessToken = access.toString();
    tokens->refreshToken = refresh.toString();
    tokens->expiresIn = lifetime(answer.value(QStringLiteral("expires_in")));
    return true;
}
