#pragma once
// The requests of an HTTPMail session, each sent and waited for: the caller
// blocks in a local event loop (user input excluded) until the reply is
// complete, no data has moved for the time-out, the request is cut off by
// close(), or this object is destroyed. One HTTP client serves all requests
// until close(); the credentials it answers challenges with go with it.
//
// The credentials answer only the service's own host (or a host of its
// domain), and never a Basic challenge over plain HTTP, where the password
// would travel readable: a reply naming another host gets nothing. A reply
// body bigger than the cap ends its request as a failure.

#include "httpmail/HttpAuthentication.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

class HttpMailRequests : public QObject
{
    Q_OBJECT

public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    struct Reply
    {
        bool sent = false;          // a reply came, whatever its status
        bool prepared = true;       // false: the request could not be made at all
        bool aborted = false;       // cut off by close()
        bool objectGone = false;    // this object was destroyed while waiting
        int status = 0;
        QByteArray reason;
        QByteArray bytes;
        QByteArray contentType;
        QString error;
        QUrl url;                   // where the reply came from (after redirects)
        QByteArray challenge;       // WWW-Authenticate of a 401
    };

    static constexpr int DefaultTimeoutMs = 60000;
    // A listing of 20,000 mails is about 10 MB.
    static constexpr qint64 DefaultMostBodyOctets = 64 * 1024 * 1024;

    explicit HttpMailRequests(QObject *parent = nullptr);
    ~HttpMailRequests() override;

    // Longest wait without any data moving before a request counts as failed.
    void setTimeout(int milliseconds) { m_timeoutMs = qMax(1, milliseconds); }
    int timeout() const { return m_timeoutMs; }

    // Replies whose body grows beyond this fail (tests lower it).
    void setMostBodyOctets(qint64 octets) { m_mostBodyOctets = qMax<qint64>(1, octets); }

    // The current client answers challenges from the service's host
    // (`service`'s, or one of its domain) with these, once per request,
    // until close(): Digest wherever it is offered, Basic only over HTTPS.
    void setCredentials(const QString &user, const QString &password, const QUrl &service);

    // Only to an http or https URL with a host, and only headers without a
    // line break. When objectGone is set the caller's object is gone too:
    // touch nothing of it.
    Reply send(const QByteArray &verb, const QString &url, const HeaderList &headers,
               const QByteArray &body, bool hasBody);

    // Aborts a request in progress and drops the client with its credentials.
    void close();

    // HTTP status of the last reply of any request; 0 when none came.
    int lastStatus() const { return m_lastStatus; }

private:
    QNetworkAccessManager *client();
    // One request on the wire, with this Authorization value (none if empty).
    Reply sendOnce(const QByteArray &verb, QNetworkRequest request, const QByteArray &body, bool hasBody,
                   const QByteArray &authorization);
    // The answer to the challenge of this 401 reply; empty when the
    // credentials must not (or cannot) answer it.
    QByteArray answerChallenge(const Reply &reply, const QByteArray &verb);
    // The answer a later request to this URL carries without being asked
    // again (a Digest nonce the host gave earlier); empty when none.
    QByteArray knownAnswer(const QUrl &url, const QByteArray &verb);

    int m_timeoutMs = DefaultTimeoutMs;
    // The HTTP client object of the session, under the name the program gives
    // it: created on first use, released by close().
    QNetworkAccessManager *m_objHTTP = nullptr;
    // Credentials the current client answers challenges with; gone with it.
    bool m_hasCredentials = false;
    QString m_user;
    QString m_password;
    QUrl m_service;
    // Digest answers per scheme, host and port, counted on as requests go.
    QHash<QString, HttpAuthentication::DigestState> m_digests;
    qint64 m_mostBodyOctets = DefaultMostBodyOctets;
    QPointer<QNetworkReply> m_pendingReply;
    int m_lastStatus = 0;
};
