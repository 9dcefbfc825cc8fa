// Sending an HTTPMail request and waiting for its reply.

#include "httpmail/HttpMailRequests.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

const char *const AnsweredProperty = "mailvane_credentialsGiven";
const char *const ClosedProperty = "mailvane_closed";

// Errors of the connection or of the HTTP framing, as opposed to the codes
// Qt derives from a complete reply's error status (a reply all the same).
bool isTransportError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 1 && code < 100) || error == QNetworkReply::ProtocolFailure
           || error == QNetworkReply::ProtocolUnknownError;
}

bool hasLineBreak(const QByteArray &value)
{
    return value.contains('\r') || value.contains('\n');
}

} // namespace

HttpMailRequests::HttpMailRequests(QObject *parent)
    : QObject(parent)
{
}

HttpMailRequests::~HttpMailRequests() = default;

QNetworkAccessManager *HttpMailRequests::client()
{
    if (!m_objHTTP) {
        auto *client = new QNetworkAccessManager(this);
        m_objHTTP = client;
        connect(client, &QNetworkAccessManager::authenticationRequired, this,
                [this, client](QNetworkReply *reply, QAuthenticator *authenticator) {
                    if (client != m_objHTTP || !m_hasCredentials)
                        return;
                    // A second challenge for the same request means the
                    // credentials were refused: let the request end with it.
                    if (reply->property(AnsweredProperty).toBool())
                        return;
                    reply->setProperty(AnsweredProperty, true);
                    authenticator->setUser(m_user);
                    authenticator->setPassword(m_password);
                });
    }
    return m_objHTTP;
}

void HttpMailRequests::setCredentials(const QString &user, const QString &password)
{
    client();
    m_hasCredentials = true;
    m_user = user;
    m_password = password;
}

HttpMailRequests::Reply HttpMailRequests::send(const QByteArray &verb, const QString &url,
                                               const HeaderList &headers, const QByteArray &body,
                                               bool hasBody)
{
    Reply result;
    const QUrl target(url);
    const QString scheme = target.scheme().toLower();
    if (url.isEmpty() || !target.isValid() || target.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        result.prepared = false;
        result.error = url.isEmpty() ? QStringLiteral("No URL to send the request to")
                                     : QStringLiteral("Not an HTTP URL: %1").arg(url);
        return result;
    }

    QNetworkRequest request(target);
    bool hasContentType = false;
    for (const auto &header : headers) {
        // A folder URL from a reply must not smuggle in further headers.
        if (hasLineBreak(header.second)) {
            result.prepared = false;
            result.error = QStringLiteral("Header %1 holds a line break")
                               .arg(QString::fromLatin1(header.first));
            return result;
        }
        request.setRawHeader(header.first, header.second);
        if (header.first.compare("Content-Type", Qt::CaseInsensitive) == 0)
            hasContentType = true;
    }
    if (hasBody && !hasContentType)
        request.setRawHeader("Content-Type", "text/xml");

    QNetworkAccessManager *http = client();
    QNetworkReply *reply = hasBody ? http->sendCustomRequest(request, verb, body)
                                   : http->sendCustomRequest(request, verb);

    const QPointer<HttpMailRequests> self(this);
    const QPointer<QNetworkReply> guard(reply);
    m_pendingReply = reply;

    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(m_timeoutMs);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        if (guard)
            guard->abort();
        loop.quit();
    });
    // The time-out counts from the last data that moved.
    const auto restart = [&timer] { timer.start(); };
    connect(reply, &QNetworkReply::uploadProgress, &timer, restart);
    connect(reply, &QNetworkReply::downloadProgress, &timer, restart);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    timer.start();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();

    if (!self) {
        result.objectGone = true;
        result.error = QStringLiteral("The request was cancelled");
        return result;
    }
    m_pendingReply = nullptr;
    if (!guard || guard->property(ClosedProperty).toBool()) {
        result.aborted = true;
        result.error = QStringLiteral("The request was cancelled");
        if (guard)
            guard->deleteLater();
        return result;
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (timedOut) {
        result.error = QStringLiteral("The server did not answer in time");
    } else if (status.isValid() && !isTransportError(reply->error())) {
        // Any reply counts, whatever its status; callers decide what it means.
        result.sent = true;
        result.status = status.toInt();
        result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
        result.bytes = reply->readAll();
        result.contentType = reply->rawHeader("Content-Type");
        m_lastStatus = result.status;
    } else {
        result.error = reply->errorString();
    }
    reply->deleteLater();
    return result;
}

void HttpMailRequests::close()
{
    if (m_pendingReply) {
        m_pendingReply->setProperty(ClosedProperty, true);
        m_pendingReply->abort();
    }
    if (m_objHTTP) {
        // A request still waiting holds its reply, which the client owns.
        if (m_pendingReply)
            m_objHTTP->deleteLater();
        else
            delete m_objHTTP;
        m_objHTTP = nullptr;
    }
    m_hasCredentials = false;
    m_user.clear();
    m_password.clear();
}
