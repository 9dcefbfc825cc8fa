#pragma once
// HTTPMail client of a Hotmail account: logs in with a PROPFIND to the service,
// finds the inbox and deleted-items folders, lists the inbox and acts on single
// mails (GET, BMOVE, PROPPATCH). Every request blocks until its reply is
// complete or the time-out has passed.

#include <QByteArray>
#include <QDomDocument>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

class QDomNodeList;
class QNetworkAccessManager;
class QNetworkReply;

class clsHotmail : public QObject
{
    Q_OBJECT

public:
    // The live service and its private property namespace (prefix h).
    static const QString ServiceEndpoint;
    static const QString PrivateNamespace;
    // User names "...@hotmail.com" and "...@msn.com" are accounts of the service.
    static const QString HotmailDomain;
    static const QString MsnDomain;

    static constexpr int DefaultTimeoutMs = 60000;

    // One mail: read flag ("0" = unread), sender, subject, date, size in bytes,
    // URL, at indexes 0 to 5.
    using MailRecord = QStringList;
    // Mail number n (counted from 1) is record n - 1 of the list.
    using MailList = QList<MailRecord>;

    explicit clsHotmail(const QUrl &endpoint = QUrl(ServiceEndpoint), QObject *parent = nullptr);
    ~clsHotmail() override;

    QUrl endpoint() const { return m_endpoint; }

    // Longest wait without any data moving before a request counts as failed.
    void setTimeout(int milliseconds) { m_iTimeoutMs = qMax(1, milliseconds); }
    int timeout() const { return m_iTimeoutMs; }

    // Login, folder discovery and raw inbox listing; failures go to GetError.
    void DoLogin(const QString &strU, const QString &strP);
    // Aborts a request in progress and drops the client with its credentials.
    void CloseConnection();
    // "Unable to connect to Hotmail", "Unable to access inbox" or empty.
    QString GetError() const { return m_strError; }

    // Turns the listing fetched by DoLogin into mail records; adds them to the
    // two counters each time it is called.
    MailList GetInboxMails();
    int GetTotalCount() const { return m_vTotalMails; }
    int GetNewCount() const { return m_iNewMails; }

    // Fields of one record; empty when the record lacks the field.
    static QString GetFieldReadFlag(const MailRecord &collM) { return collM.value(0); }
    static QString GetFieldFrom(const MailRecord &collM) { return collM.value(1); }
    static QString GetFieldSubject(const MailRecord &collM) { return collM.value(2); }
    static QString GetFieldDate(const MailRecord &collM) { return collM.value(3); }
    static QString GetFieldLength(const MailRecord &collM) { return collM.value(4); }
    static QString GetFieldURL(const MailRecord &collM) { return collM.value(5); }

    // The mail's text as the service sends it (an error page included). *ok is
    // false when no reply came or the reply has an HTTP error status; the
    // reason is in GetLastRequestError.
    QString GetCompleteMail(const QString &sURL, bool *ok = nullptr);
    // The same reply as the octets the service sent, undecoded.
    QByteArray GetCompleteMailOctets(const QString &sURL, bool *ok = nullptr);
    // Moves the mail to the deleted-items folder; up to four sends while
    // sending fails. False when the move was not confirmed by a reply without
    // an HTTP error status.
    bool DeleteMail(const QString &sURL);
    bool MarkAsRead(const QString &sURL);
    bool MarkAsUnRead(const QString &sURL);
    // Why the last GetCompleteMail, DeleteMail, MarkAsRead or MarkAsUnRead
    // failed; empty after a success.
    QString GetLastRequestError() const { return m_strLastRequestError; }
    // HTTP status of the last reply of any request; 0 when none came.
    int GetLastStatus() const { return m_iLastStatus; }

    QString inboxURL() const { return m_strInboxURL; }
    QString deletedItemsURL() const { return m_strDeletedURL; }

    // Tag lists: one entry per text node, "<" + element entered last + ">" +
    // text. Public so replies can be checked without a server.
    static bool LoadXml(QDomDocument &doc, const QString &text);
    void FlattenFolderNodes(const QDomNodeList &nodes);
    void FlattenInboxNodes(const QDomNodeList &nodes);
    const QStringList &folderTags() const { return m_colFolders; }
    const QStringList &inboxTags() const { return m_colInbox; }
    // The same lists read straight from a reply's text, without building a
    // document; false (and nothing added) when the text is no XML.
    static bool FlattenXml(const QString &text, QString &strTag, QStringList &colTags);
    bool FlattenFolderXml(const QString &text);
    bool FlattenInboxXml(const QString &text);
    static QString GetInboxURL(const QStringList &colFolders);
    static QString GetDeletedItemsURL(const QStringList &colFolders);
    static QString StripTag(const QString &strEntry);

private:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    struct Reply
    {
        bool sent = false;          // a reply came, whatever its status
        bool prepared = true;       // false: the request could not be made at all
        bool aborted = false;       // cut off by CloseConnection
        bool objectGone = false;    // this object was destroyed while waiting
        int status = 0;
        QByteArray reason;
        QByteArray bytes;
        QByteArray contentType;
        QString error;
    };

    Reply Send(const QByteArray &verb, const QString &url, const HeaderList &headers,
               const QByteArray &body, bool hasBody);
    QNetworkAccessManager *Client();
    bool RequestInbox();
    bool FinishMailRequest(const Reply &reply);
    QByteArray FetchMail(const QString &sURL, bool *ok, QByteArray *contentType);
    bool SetReadFlag(const QString &sURL, const QString &strFlag);
    static void FlattenNodes(const QDomNodeList &nodes, QString &strTag, QStringList &colTags);
    static QString FolderURL(const QStringList &colFolders, const QString &strTag);

    QUrl m_endpoint;
    int m_iTimeoutMs = DefaultTimeoutMs;

    QNetworkAccessManager *m_objHTTP = nullptr;
    // Credentials the current client answers challenges with; gone with it.
    bool m_bClientHasCredentials = false;
    QString m_strClientUser;
    QString m_strClientPassword;
    QPointer<QNetworkReply> m_pendingReply;

    QString m_strLoginXML;
    QString m_strInboxXML;
    QString m_strInboxURL;
    QString m_strDeletedURL;
    QString m_vUser;
    QString m_strPassword;
    QStringList m_colFolders;
    QStringList m_colInbox;
    int m_vTotalMails = 0;
    int m_iNewMails = 0;
    QString m_strError;
    QString m_strFolderTag;
    QString m_strInboxTag;

    QString m_strLastRequestError;
    int m_iLastStatus = 0;
};
