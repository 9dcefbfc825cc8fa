#pragma once
// In-process HTTPMail service for tests: HTTP/1.1 with keep-alive on
// 127.0.0.1, Digest (MD5, qop=auth) or Basic authentication, and the WebDAV
// requests of a Hotmail client: PROPFIND on the service endpoint (folder
// list) and on the inbox (mail listing), GET of a mail, BMOVE out of the
// inbox, PROPPATCH of the read flag. The mailbox lives across requests.
// Every request is recorded; the server never asserts, tests compare.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

class HttpMailServer : public QObject
{
    Q_OBJECT

public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    enum class AuthScheme { None, Digest, Basic };

    struct Mail
    {
        QString name;       // last segment of the mail's URL
        QString from;
        QString subject;
        QString date;
        QByteArray text;    // served by GET; its size is the listed length
        bool read = false;
        QByteArray contentType = "message/rfc822"; // of the GET reply
    };

    struct Request
    {
        QByteArray method;
        QByteArray target;      // as on the request line
        QByteArray version;     // "HTTP/1.1"
        QString path;           // decoded path of the target
        HeaderList headers;     // in the order received
        QByteArray body;
        bool authorized = false;

        QByteArray header(const QByteArray &name) const;   // first one, case-insensitive
        bool hasHeader(const QByteArray &name) const;
        QList<QByteArray> headerNames() const;
    };

    // What the server does with a request that matches, instead of its own
    // handling. Empty method or path matches any.
    struct CannedReply
    {
        enum class Kind {
            Reply,  // status, headers and body as given
            Stall,  // read the request, never answer
            Close,  // close the connection without answering
        };
        Kind kind = Kind::Reply;
        QByteArray method;
        QString path;
        int status = 200;
        QByteArray reason = "OK";
        HeaderList headers;
        QByteArray body;
        bool beforeAuth = false;    // applies to requests whether authorized or not
        bool closeAfter = false;    // close the connection once the reply is written
        int times = -1;             // how many matching requests it serves; -1 = all

        static CannedReply reply(const QByteArray &method, const QString &path, int status,
                                 const QByteArray &body,
                                 const QByteArray &contentType = "text/xml");
        static CannedReply stall(const QByteArray &method, const QString &path, int times = -1);
        static CannedReply close(const QByteArray &method, const QString &path, int times = -1);
    };

    explicit HttpMailServer(QObject *parent = nullptr);
    ~HttpMailServer() override;

    // Listens on 127.0.0.1, a free port.
    bool start();
    void stop();
    quint16 port() const;

    QUrl baseUrl() const;               // http://127.0.0.1:<port>
    QUrl endpointUrl() const;           // ... /svcs/hotmail/httpmail.asp
    QUrl inboxUrl() const;              // ... /folders/inbox/
    QUrl deletedItemsUrl() const;       // ... /folders/deleted/
    QUrl mailUrl(const QString &name) const;    // in the inbox

    static QString endpointPath();
    static QString inboxPath();
    static QString deletedItemsPath();

    void setCredentials(const QString &user, const QString &password);
    void setAuthScheme(AuthScheme scheme);
    AuthScheme authScheme() const { return m_authScheme; }
    QString realm() const { return m_realm; }

    void setMails(const QList<Mail> &mails);
    void addMail(const Mail &mail);
    static Mail makeMail(const QString &name, const QString &from, const QString &subject,
                         const QString &date, const QByteArray &text, bool read = false);
    QList<Mail> inbox() const { return m_inbox; }
    QList<Mail> deletedItems() const { return m_deleted; }

    // The replies the server gives of its own, for tests that build variants.
    QByteArray loginReplyXml() const;
    QByteArray inboxReplyXml() const;

    void addCannedReply(const CannedReply &reply);
    void clearCannedReplies();

    QList<Request> requests() const { return m_requests; }
    QList<Request> requests(const QByteArray &method) const;
    void clearRequests() { m_requests.clear(); }
    // Things the server could not make sense of (bad request lines, Digest
    // answers computed with the wrong values ...); empty when all was well.
    QStringList problems() const { return m_problems; }

    // Drops every open connection at once.
    void closeConnections();
    int openConnections() const { return m_connections.size(); }

signals:
    // A complete request has been recorded and answered (or stalled, or its
    // connection closed). Handlers may act on the client meanwhile.
    void requestReceived(const HttpMailServer::Request &request);

private:
    struct Connection
    {
        QByteArray buffer;
        bool stalled = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    bool takeRequest(Connection &connection, Request &request, bool &bad);
    void handle(QTcpSocket *socket, Request &request);
    bool checkAuthorization(const Request &request);
    bool checkDigest(const Request &request, const QByteArray &params);
    void sendChallenge(QTcpSocket *socket, bool keepAlive);
    void send(QTcpSocket *socket, int status, const QByteArray &reason, const HeaderList &headers,
              const QByteArray &body, bool keepAlive);
    void serve(QTcpSocket *socket, const Request &request, bool keepAlive);
    void doBmove(QTcpSocket *socket, const Request &request, bool keepAlive);
    void doProppatch(QTcpSocket *socket, const Request &request, bool keepAlive);
    int findMail(const QList<Mail> &mails, const QString &name) const;
    QString urlOf(const QString &path) const;

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
    AuthScheme m_authScheme = AuthScheme::Digest;
    QString m_user = QStringLiteral("user@hotmail.com");
    QString m_password = QStringLiteral("secret");
    QString m_realm = QStringLiteral("MSN");
    QString m_opaque;
    QSet<QByteArray> m_nonces;
    int m_nonceCount = 0;
    QList<Mail> m_inbox;
    QList<Mail> m_deleted;
    QList<CannedReply> m_canned;
    QList<Request> m_requests;
    QStringList m_problems;
};
