#pragma once
// The requests of an HTTPMail session, each sent and waited for: the caller
// blocks in a local event loop (user input excluded) until the reply is
// complete, no data has moved for the time-out, the request is cut off by
// close(), or this object is destroyed. One HTTP client serves all requests
// until close(); the credentials it answers challenges with go with it.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

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
    };

    static constexpr int DefaultTimeoutMs = 60000;

    explicit HttpMailRequests(QObject *parent = nullptr);
    ~HttpMailRequests() override;

    // Longest wait without any data moving before a request counts as failed.
    void setTimeout(int milliseconds) { m_timeoutMs = qMax(1, milliseconds); }
    int timeout() const { return m_timeoutMs; }

    // The current client answers every later challenge with these, once per
    // request, until close().
    void setCredentials(const QString &user, const QString &password);

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

    int m_timeoutMs = DefaultTimeoutMs;
    // The HTTP client object of the session, under the name the program gives
    // it: created on first use, released by close().
    QNetworkAccessManager *m_objHTTP = nullptr;
    // Credentials the current client answers challenges with; gone with it.
    bool m_hasCredentials = false;
    QString m_user;
    QString m_password;
    QPointer<QNetworkReply> m_pendingReply;
    int m_lastStatus = 0;
};
