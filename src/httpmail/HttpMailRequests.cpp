// Sending an HTTPMail request and waiting for its reply.

#include "httpmail/HttpMailRequests.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

namespace {

const char *const ClosedProperty = "mailvane_closed";

// Errors of the connection or of the HTTP framing, as opposed to the codes
// Qt derives from a complete reply's error status (a reply all the same).
bool isTransportError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 1 && code < 100) || error == QNetworkReply::ProtocolFailure
           || error == QNetworkReply::ProtocolUnknownError;
}

constexpr qint64 ReadAheadOctets = 4 * 1024 * 1024;

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
    // Challenges are answered here, never by Qt's own authenticator, which
    // would answer Basic over plain HTTP and any host a reply leads to.
    if (!m_objHTTP)
        m_objHTTP = new QNetworkAccessManager(this);
    return m_objHTTP;
}

void HttpMailRequests::setCredentials(const QString &user, const QString &password, const QUrl &service)
{
    client();
    m_hasCredentials = true;
    m_user = user;
    m_password = password;
    m_service = service;
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

    result = sendOnce(verb, request, body, hasBody, knownAnswer(target, verb));
    if (result.objectGone || !result.sent || result.status != 401)
        return result;
    // Challenged: answered once, where the challenge came from.
    const QByteArray answer = answerChallenge(result, verb);
    if (answer.isEmpty())
        return result;
    request.setUrl(result.url);
    return sendOnce(verb, request, body, hasBody, answer);
}

HttpMailRequests::Reply HttpMailRequests::sendOnce(const QByteArray &verb, QNetworkRequest request,
                                                   const QByteArray &body, bool hasBody,
                                                   const QByteArray &authorization)
{
    Reply result;
    if (!authorization.isEmpty()) {
        request.setRawHeader("Authorization", authorization);
        // The answer is for this host alone: it follows no redirect elsewhere.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::SameOriginRedirectPolicy);
    }
    QNetworkAccessManager *http = client();
    QNetworkReply *reply = hasBody ? http->sendCustomRequest(request, verb, body)
                                   : http->sendCustomRequest(request, verb);

    const QPointer<HttpMailRequests> self(this);
    const QPointer<QNetworkReply> guard(reply);
    m_pendingReply = reply;

    bool timedOut = false;
    bool tooBig = false;
    const qint64 mostOctets = m_mostBodyOctets;
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
    // A body that never ends must not take all the memory there is: the
    // client reads ahead only a little, and the body is taken as it comes.
    QByteArray bytes;
    const auto take = [&] {
        if (tooBig || !guard)
            return;
        if (guard->header(QNetworkRequest::ContentLengthHeader).toLongLong() > mostOctets
            || bytes.size() + guard->bytesAvailable() > mostOctets) {
            tooBig = true;
            guard->abort();
            loop.quit();
            return;
        }
        bytes += guard->readAll();
    };
    reply->setReadBufferSize(ReadAheadOctets);
    connect(reply, &QNetworkReply::readyRead, &loop, take);
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

    take(); // what came with the end of the reply
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (tooBig) {
        result.error = QStringLiteral("The reply was bigger than %1 MB").arg(mostOctets / (1024 * 1024));
    } else if (timedOut) {
        result.error = QStringLiteral("The server did not answer in time");
    } else if (status.isValid() && !isTransportError(reply->error())) {
        // Any reply counts, whatever its status; callers decide what it means.
        result.sent = true;
        result.status = status.toInt();
        result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
        result.bytes = std::move(bytes);
        result.contentType = reply->rawHeader("Content-Type");
        result.url = reply->url();
        result.challenge = reply->rawHeader("WWW-Authenticate");
        m_lastStatus = result.status;
    } else {
        result.error = reply->errorString();
    }
    reply->deleteLater();
    return result;
}

namespace {

QString originOf(const QUrl &url)
{
    return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + u':'
           + QString::number(url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80));
}

QByteArray newCnonce()
{
    QByteArray octets(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(octets.data()), 4);
    return octets.toHex();
}

} // namespace

QByteArray HttpMailRequests::answerChallenge(const Reply &reply, const QByteArray &verb)
{
    if (!m_hasCredentials || !HttpAuthentication::isServiceHost(reply.url, m_service))
        return QByteArray();
    const QList<HttpAuthentication::Challenge> challenges = HttpAuthentication::parseChallenges(reply.challenge);
    for (const HttpAuthentication::Challenge &challenge : challenges) {
        HttpAuthentication::DigestState state;
        if (HttpAuthentication::readDigest(challenge, &state)) {
            m_digests.insert(originOf(reply.url), state);
            return knownAnswer(reply.url, verb);
        }
    }
    // Basic hands over the password itself: only where nobody can read it.
    if (reply.url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return QByteArray();
    for (const HttpAuthentication::Challenge &challenge : challenges) {
        if (challenge.scheme == "basic")
            return HttpAuthentication::basicAuthorization(m_user, m_password);
    }
    return QByteArray();
}

QByteArray HttpMailRequests::knownAnswer(const QUrl &url, const QByteArray &verb)
{
    if (!m_hasCredentials || !HttpAuthentication::isServiceHost(url, m_service))
        return QByteArray();
    const auto known = m_digests.find(originOf(url));
    if (known == m_digests.end())
        return QByteArray();
    return HttpAuthentication::digestAuthorization(*known, m_user, m_password, verb,
                                                   HttpAuthentication::requestTarget(url), newCnonce());
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
    m_digests.clear();
}
