#pragma once
// HTTPMail client of a Hotmail account: logs in with a PROPFIND to the service,
// finds the inbox and deleted-items folders, lists the inbox and acts on single
// mails (GET, BMOVE, PROPPATCH). Every request blocks until its reply is
// complete or the time-out has passed (HttpMailRequests); what the replies
// say is read by HttpMailText, HttpMailTags and HttpMailListing.

#include "httpmail/HttpMailListing.h"
#include "httpmail/HttpMailRequests.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QDomNodeList;

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

    static constexpr int DefaultTimeoutMs = HttpMailRequests::DefaultTimeoutMs;

    // One mail: read flag ("0" = unread), sender, subject, date, size in bytes,
    // URL, at indexes 0 to 5.
    using MailRecord = HttpMailListing::MailRecord;
    // Mail number n (counted from 1) is record n - 1 of the list.
    using MailList = HttpMailListing::MailList;

    explicit clsHotmail(const QUrl &endpoint = QUrl(ServiceEndpoint), QObject *parent = nullptr);
    ~clsHotmail() override;

    QUrl endpoint() const { return m_endpoint; }

    // Longest wait without any data moving before a request counts as failed.
    void setTimeout(int milliseconds) { m_requests.setTimeout(milliseconds); }
    int timeout() const { return m_requests.timeout(); }
    // Replies with a bigger body fail (tests lower it).
    void setMostBodyOctets(qint64 octets) { m_requests.setMostBodyOctets(octets); }

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
    static QString GetFieldReadFlag(const MailRecord &collM) { return collM.value(HttpMailListing::ReadFlag); }
    static QString GetFieldFrom(const MailRecord &collM) { return collM.value(HttpMailListing::From); }
    static QString GetFieldSubject(const MailRecord &collM) { return collM.value(HttpMailListing::Subject); }
    static QString GetFieldDate(const MailRecord &collM) { return collM.value(HttpMailListing::Date); }
    static QString GetFieldLength(const MailRecord &collM) { return collM.value(HttpMailListing::Length); }
    static QString GetFieldURL(const MailRecord &collM) { return collM.value(HttpMailListing::Url); }

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
    int GetLastStatus() const { return m_requests.lastStatus(); }

    QString inboxURL() const { return m_strInboxURL; }
    QString deletedItemsURL() const { return m_strDeletedURL; }

    // The walks into the two tag lists, each with its own marker (see
    // HttpMailTags). Public so replies can be checked without a server.
    void FlattenFolderNodes(const QDomNodeList &nodes);
    void FlattenInboxNodes(const QDomNodeList &nodes);
    const QStringList &folderTags() const { return m_colFolders; }
    const QStringList &inboxTags() const { return m_colInbox; }
    // The same read straight from a reply's text; false (and nothing added)
    // when the text is no XML.
    bool FlattenFolderXml(const QString &text);
    bool FlattenInboxXml(const QString &text);
    static QString GetInboxURL(const QStringList &colFolders) { return HttpMailListing::inboxUrl(colFolders); }
    static QString GetDeletedItemsURL(const QStringList &colFolders)
    {
        return HttpMailListing::deletedItemsUrl(colFolders);
    }
    static QString StripTag(const QString &strEntry) { return HttpMailListing::stripTag(strEntry); }

private:
    using Reply = HttpMailRequests::Reply;

    bool RequestInbox();
    bool FinishMailRequest(const Reply &reply);
    QByteArray FetchMail(const QString &sURL, bool *ok, QByteArray *contentType);
    bool SetReadFlag(const QString &sURL, const QString &strFlag);

    QUrl m_endpoint;
    HttpMailRequests m_requests;

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
};
