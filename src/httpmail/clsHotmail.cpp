// The HTTPMail client's operations: login, folders, listing and the
// requests on single mails.

#include "httpmail/clsHotmail.h"

#include "base/VbHelpers.h"
#include "httpmail/HttpMailTags.h"
#include "httpmail/HttpMailText.h"

#include <utility>

const QString clsHotmail::ServiceEndpoint =
    QStringLiteral("http://services.msn.com/svcs/hotmail/httpmail.asp");
const QString clsHotmail::PrivateNamespace = QStringLiteral("http://schemas.microsoft.com/hotmail/");
const QString clsHotmail::HotmailDomain = QStringLiteral("hotmail.com");
const QString clsHotmail::MsnDomain = QStringLiteral("msn.com");

using vb::CrLf;

clsHotmail::clsHotmail(const QUrl &endpoint, QObject *parent)
    : QObject(parent)
    , m_endpoint(endpoint)
{
}

clsHotmail::~clsHotmail() = default;

void clsHotmail::DoLogin(const QString &strU, const QString &strP)
{
    m_vUser = strU;
    m_strPassword = strP;
    m_vTotalMails = 0;
    m_iNewMails = 0;

    m_strLoginXML = QStringLiteral("<?xml version='1.0'?><D:propfind xmlns:D='DAV:' ")
                    + QStringLiteral("xmlns:h='") + PrivateNamespace + QStringLiteral("' ")
                    + QStringLiteral("xmlns:hm='urn:schemas:httpmail:'><D:prop><h:adbar/>")
                    + QStringLiteral("<hm:contacts/><hm:inbox/><hm:outbox/><hm:sendmsg/>")
                    + QStringLiteral("<hm:sentitems/><hm:deleteditems/><hm:drafts/>")
                    + QStringLiteral("<hm:msgfolderroot/><h:maxpoll/><h:sig/></D:prop></D:propfind>");
    m_strError.clear();

    // The client answers the service's challenges with these, as long as it
    // lives; other hosts get nothing.
    m_requests.setCredentials(m_vUser, m_strPassword, m_endpoint);

    const Reply reply = m_requests.send("PROPFIND", m_endpoint.toString(), {}, m_strLoginXML.toUtf8(), true);
    if (reply.objectGone)
        return;
    if (!reply.sent) {
        m_strError = QStringLiteral("Unable to connect to Hotmail");
        return;
    }
    m_colFolders.clear();
    m_colInbox.clear();
    if (!HttpMailTags::flattenReply(reply.bytes, reply.contentType, m_strFolderTag, m_colFolders))
        return;
    m_strInboxURL = GetInboxURL(m_colFolders);
    m_strDeletedURL = GetDeletedItemsURL(m_colFolders);
    RequestInbox();
}

bool clsHotmail::RequestInbox()
{
    m_strInboxXML = QStringLiteral("<?xml version='1.0'?><D:propfind xmlns:D='DAV:' ")
                    + QStringLiteral("xmlns:hm='urn:schemas:httpmail:' ")
                    + QStringLiteral("xmlns:m='urn:schemas:mailheader:'><D:prop><D:isfolder/>")
                    + QStringLiteral("<hm:read/><m:hasattachment/><m:to/><m:from/><m:subject/>")
                    + QStringLiteral("<m:date/><D:getcontentlength/></D:prop></D:propfind>");
    m_strError.clear();

    const Reply reply = m_requests.send("PROPFIND", m_strInboxURL, {}, m_strInboxXML.toUtf8(), true);
    if (reply.objectGone)
        return false;
    if (!reply.sent) {
        m_strError = QStringLiteral("Unable to access inbox");
        return false;
    }
    // Read a piece at a time: a big listing is held once, as its octets.
    return HttpMailTags::flattenReply(reply.bytes, reply.contentType, m_strInboxTag, m_colInbox);
}

void clsHotmail::CloseConnection()
{
    m_requests.close();
}

bool clsHotmail::FlattenFolderXml(const QString &text)
{
    return HttpMailTags::flattenXml(text, m_strFolderTag, m_colFolders);
}

bool clsHotmail::FlattenInboxXml(const QString &text)
{
    return HttpMailTags::flattenXml(text, m_strInboxTag, m_colInbox);
}

void clsHotmail::FlattenFolderNodes(const QDomNodeList &nodes)
{
    HttpMailTags::flattenNodes(nodes, m_strFolderTag, m_colFolders);
}

void clsHotmail::FlattenInboxNodes(const QDomNodeList &nodes)
{
    HttpMailTags::flattenNodes(nodes, m_strInboxTag, m_colInbox);
}

clsHotmail::MailList clsHotmail::GetInboxMails()
{
    HttpMailListing::Inbox inbox = HttpMailListing::readInbox(m_colInbox);
    m_vTotalMails += int(inbox.mails.size());
    m_iNewMails += inbox.newMails;
    return std::move(inbox.mails);
}

bool clsHotmail::FinishMailRequest(const Reply &reply)
{
    if (!reply.sent) {
        m_strLastRequestError = reply.error;
        return false;
    }
    if (reply.status >= 400) {
        m_strLastRequestError = QStringLiteral("The server answered %1 %2")
                                    .arg(reply.status)
                                    .arg(QString::fromLatin1(reply.reason))
                                    .trimmed();
        return false;
    }
    m_strLastRequestError.clear();
    return true;
}

QString clsHotmail::GetCompleteMail(const QString &sURL, bool *ok)
{
    QByteArray contentType;
    const QByteArray octets = FetchMail(sURL, ok, &contentType);
    return HttpMailText::decodeReply(octets, contentType);
}

QByteArray clsHotmail::GetCompleteMailOctets(const QString &sURL, bool *ok)
{
    return FetchMail(sURL, ok, nullptr);
}

QByteArray clsHotmail::FetchMail(const QString &sURL, bool *ok, QByteArray *contentType)
{
    Reply reply = m_requests.send("GET", sURL, {}, QByteArray(), false);
    if (reply.objectGone) {
        if (ok)
            *ok = false;
        return QByteArray();
    }
    const bool bOk = FinishMailRequest(reply);
    if (ok)
        *ok = bOk;
    if (contentType)
        *contentType = reply.contentType;
    return std::move(reply.bytes);
}

bool clsHotmail::DeleteMail(const QString &sURL)
{
    const QString strName = sURL.mid(sURL.lastIndexOf(QLatin1Char('/')) + 1);
    const QString strBody = QStringLiteral("<?xml version='1.0'?>") + CrLf
                            + QStringLiteral("<D:move xmlns:D='DAV:'>") + CrLf
                            + QStringLiteral("<D:target>") + CrLf
                            + QStringLiteral("<D:href>") + strName + QStringLiteral("</D:href>")
                            + QStringLiteral("</D:target>") + CrLf
                            + QStringLiteral("</D:move>");
    if (m_strDeletedURL.isEmpty()) {
        // Without a destination the mail would stay where it is.
        m_strLastRequestError = QStringLiteral("The deleted-items folder is not known");
        return false;
    }
    const HttpMailRequests::HeaderList headers = {
        {"Destination", m_strDeletedURL.toUtf8()},
        {"Content-Type", "text/xml"},
        {"Allow-Rename", "t"},
        {"User-Agent", "Outlook-Express/6.0 (MSIE 6.0;Windows NT 5.1; .NET CLR 1.0.3705; TmstmpExt)"},
    };
    const QByteArray body = strBody.toUtf8();

    Reply reply;
    for (int iSend = 0; iSend < 4; ++iSend) {
        reply = m_requests.send("BMOVE", m_strInboxURL, headers, body, true);
        if (reply.objectGone)
            return false;
        if (reply.sent || !reply.prepared || reply.aborted)
            break;
    }
    return FinishMailRequest(reply);
}

bool clsHotmail::SetReadFlag(const QString &sURL, const QString &strFlag)
{
    const QString strBody = QStringLiteral("<?xml version='1.0'?><D:propertyupdate xmlns:D='DAV:'")
                            + QStringLiteral(" ")
                            + QStringLiteral("xmlns:hm='urn:schemas:httpmail:'>")
                            + QStringLiteral("<D:set><D:prop><hm:read>") + strFlag
                            + QStringLiteral("</hm:read></D:prop></D:set></D:propertyupdate>");
    const Reply reply = m_requests.send("PROPPATCH", sURL, {}, strBody.toUtf8(), true);
    if (reply.objectGone)
        return false;
    return FinishMailRequest(reply);
}

bool clsHotmail::MarkAsRead(const QString &sURL)
{
    return SetReadFlag(sURL, QStringLiteral("1"));
}

bool clsHotmail::MarkAsUnRead(const QString &sURL)
{
    return SetReadFlag(sURL, QStringLiteral("0"));
}
