// The HTTPMail client's requests and their replies.

#include "httpmail/clsHotmail.h"

#include "base/VbHelpers.h"

#include <QAuthenticator>
#include <QDomNode>
#include <QDomNodeList>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QXmlStreamReader>

#include <utility>

const QString clsHotmail::ServiceEndpoint =
    QStringLiteral("http://services.msn.com/svcs/hotmail/httpmail.asp");
const QString clsHotmail::PrivateNamespace = QStringLiteral("http://schemas.microsoft.com/hotmail/");
const QString clsHotmail::HotmailDomain = QStringLiteral("hotmail.com");
const QString clsHotmail::MsnDomain = QStringLiteral("msn.com");

namespace {

const char *const AnsweredProperty = "mailvane_credentialsGiven";
const char *const ClosedProperty = "mailvane_closed";

using vb::CrLf;

// The charset a Content-Type names; empty when it names none.
QByteArray CharsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> params = contentType.split(';');
    for (int i = 1; i < params.size(); ++i) {
        const QByteArray param = params.at(i).trimmed();
        if (param.toLower().startsWith("charset=")) {
            QByteArray name = param.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
                name = name.mid(1, name.size() - 2);
            return name;
        }
    }
    return QByteArray();
}

// Big replies are decoded and parsed a piece at a time.
constexpr qsizetype PieceSize = 64 * 1024;

QByteArrayView PieceOf(const QByteArray &bytes, qsizetype pos)
{
    return QByteArrayView(bytes.constData() + pos, qMin(PieceSize, bytes.size() - pos));
}

bool DecodesCleanly(const QByteArray &bytes, QStringDecoder decoder)
{
    for (qsizetype pos = 0; pos < bytes.size(); pos += PieceSize) {
        const QString piece = decoder.decode(PieceOf(bytes, pos));
        if (decoder.hasError())
            return false;
    }
    return true;
}

// The decoder for a reply's bytes: the charset the server names, else
// UTF-8, else Latin-1 so that no octet of a mail is lost. Chosen without
// decoding the whole reply at once.
QStringDecoder ReplyDecoder(const QByteArray &bytes, const QByteArray &contentType)
{
    const QByteArray name = CharsetOf(contentType);
    if (!name.isEmpty() && QStringDecoder(name.constData()).isValid()
        && DecodesCleanly(bytes, QStringDecoder(name.constData())))
        return QStringDecoder(name.constData());
    if (DecodesCleanly(bytes, QStringDecoder(QStringDecoder::Utf8)))
        return QStringDecoder(QStringDecoder::Utf8);
    return QStringDecoder(QStringDecoder::Latin1);
}

QString DecodeReplyText(const QByteArray &bytes, const QByteArray &contentType)
{
    return ReplyDecoder(bytes, contentType).decode(bytes);
}

// Errors of the connection or of the HTTP framing, as opposed to the codes
// Qt derives from a complete reply's error status (a reply all the same).
bool IsTransportError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 1 && code < 100) || error == QNetworkReply::ProtocolFailure
           || error == QNetworkReply::ProtocolUnknownError;
}

bool HasLineBreak(const QByteArray &value)
{
    return value.contains('\r') || value.contains('\n');
}

// HTTPMail replies nest a handful of levels.
constexpr int MostNestingLevels = 256;

bool NestedTooDeep(const QString &text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MostNestingLevels)
                return true;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return false; // a malformed reply is the parser's to refuse
}

// "<name>": what the walk remembers of the node entered last.
QString Marker(QStringView name)
{
    QString marker;
    marker.reserve(name.size() + 2);
    marker.append(QLatin1Char('<')).append(name).append(QLatin1Char('>'));
    return marker;
}

// The walk of FlattenNodes over the document a text parses into, done on
// the parser's tokens as the text comes in pieces: no document is built and
// no piece is held longer than it is read. Text the parser hands out in
// several tokens is one text node of the document.
class TagWalk
{
public:
    explicit TagWalk(const QString &marker)
        : m_tag(marker)
    {
        m_reader.setNamespaceProcessing(false);
    }

    void feed(const QString &piece)
    {
        if (m_failed)
            return;
        m_reader.addData(piece);
        while (!m_failed) {
            const QXmlStreamReader::TokenType token = m_reader.readNext();
            if (m_reader.hasError()) {
                // More may come; anything else is no XML.
                m_failed = m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError;
                return;
            }
            take(token);
            if (token == QXmlStreamReader::EndDocument)
                return;
        }
    }

    // True when the pieces made one well-formed document.
    bool finish()
    {
        flushText();
        return !m_failed && !m_reader.hasError() && m_reader.tokenType() == QXmlStreamReader::EndDocument;
    }

    const QString &tag() const { return m_tag; }
    QStringList takeTags() { return std::exchange(m_tags, QStringList()); }

private:
    void take(QXmlStreamReader::TokenType token)
    {
        if (token == QXmlStreamReader::Characters && !m_reader.isCDATA()) {
            m_text.append(m_reader.text());
            return;
        }
        flushText();
        switch (token) {
        case QXmlStreamReader::StartElement:
            // A reply nested far deeper than any HTTPMail reply is no XML.
            m_failed = ++m_depth > MostNestingLevels;
            m_tag = Marker(m_reader.qualifiedName());
            break;
        case QXmlStreamReader::EndElement:
            --m_depth;
            break;
        case QXmlStreamReader::Characters:
            m_tag = QStringLiteral("<#cdata-section>");
            break;
        case QXmlStreamReader::Comment:
            m_tag = QStringLiteral("<#comment>");
            break;
        case QXmlStreamReader::ProcessingInstruction:
            m_tag = Marker(m_reader.processingInstructionTarget());
            break;
        case QXmlStreamReader::EntityReference:
            m_tag = Marker(m_reader.name());
            break;
        default:
            break;
        }
    }

    void flushText()
    {
        // As in the document: text of blanks alone makes no node.
        if (!m_text.isEmpty() && !QStringView(m_text).trimmed().isEmpty()) {
            // Made at its exact size: a listing keeps many thousands.
            m_tag = m_tag + m_text;
            m_tags.append(m_tag);
        }
        m_text.clear();
    }

    QXmlStreamReader m_reader;
    QString m_tag;
    QString m_text;
    QStringList m_tags;
    int m_depth = 0;
    bool m_failed = false;
};

// Adds the walk's entries and leaves its marker, or changes nothing when
// the reply is no XML.
bool FinishWalk(TagWalk &walk, QString &strTag, QStringList &colTags)
{
    if (!walk.finish())
        return false;
    strTag = walk.tag();
    // A big listing's entries are moved, not copied.
    if (colTags.isEmpty())
        colTags = walk.takeTags();
    else
        colTags += walk.takeTags();
    return true;
}

// The walk over a reply's bytes, decoded as DecodeReplyText decodes them.
bool FlattenReply(const QByteArray &bytes, const QByteArray &contentType, QString &strTag, QStringList &colTags)
{
    QStringDecoder decoder = ReplyDecoder(bytes, contentType);
    TagWalk walk(strTag);
    for (qsizetype pos = 0; pos < bytes.size(); pos += PieceSize)
        walk.feed(decoder.decode(PieceOf(bytes, pos)));
    return FinishWalk(walk, strTag, colTags);
}

} // namespace

clsHotmail::clsHotmail(const QUrl &endpoint, QObject *parent)
    : QObject(parent)
    , m_endpoint(endpoint)
{
}

clsHotmail::~clsHotmail() = default;

QNetworkAccessManager *clsHotmail::Client()
{
    if (!m_objHTTP) {
        auto *client = new QNetworkAccessManager(this);
        m_objHTTP = client;
        connect(client, &QNetworkAccessManager::authenticationRequired, this,
                [this, client](QNetworkReply *reply, QAuthenticator *authenticator) {
                    if (client != m_objHTTP || !m_bClientHasCredentials)
                        return;
                    // A second challenge for the same request means the
                    // credentials were refused: let the request end with it.
                    if (reply->property(AnsweredProperty).toBool())
                        return;
                    reply->setProperty(AnsweredProperty, true);
                    authenticator->setUser(m_strClientUser);
                    authenticator->setPassword(m_strClientPassword);
                });
    }
    return m_objHTTP;
}

clsHotmail::Reply clsHotmail::Send(const QByteArray &verb, const QString &url,
                                   const HeaderList &headers, const QByteArray &body, bool hasBody)
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
        if (HasLineBreak(header.second)) {
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

    QNetworkAccessManager *client = Client();
    QNetworkReply *reply = hasBody ? client->sendCustomRequest(request, verb, body)
                                   : client->sendCustomRequest(request, verb);

    const QPointer<clsHotmail> self(this);
    const QPointer<QNetworkReply> guard(reply);
    m_pendingReply = reply;

    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(m_iTimeoutMs);
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
    } else if (status.isValid() && !IsTransportError(reply->error())) {
        // Any reply counts, whatever its status; callers decide what it means.
        result.sent = true;
        result.status = status.toInt();
        result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
        result.bytes = reply->readAll();
        result.contentType = reply->rawHeader("Content-Type");
        m_iLastStatus = result.status;
    } else {
        result.error = reply->errorString();
    }
    reply->deleteLater();
    return result;
}

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

    // The client answers every later challenge with these, as long as it lives.
    Client();
    m_bClientHasCredentials = true;
    m_strClientUser = m_vUser;
    m_strClientPassword = m_strPassword;

    const Reply reply = Send("PROPFIND", m_endpoint.toString(), {}, m_strLoginXML.toUtf8(), true);
    if (reply.objectGone)
        return;
    if (!reply.sent) {
        m_strError = QStringLiteral("Unable to connect to Hotmail");
        return;
    }
    m_colFolders.clear();
    m_colInbox.clear();
    if (!FlattenReply(reply.bytes, reply.contentType, m_strFolderTag, m_colFolders))
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

    const Reply reply = Send("PROPFIND", m_strInboxURL, {}, m_strInboxXML.toUtf8(), true);
    if (reply.objectGone)
        return false;
    if (!reply.sent) {
        m_strError = QStringLiteral("Unable to access inbox");
        return false;
    }
    // Read a piece at a time: a big listing is held once, as its octets.
    return FlattenReply(reply.bytes, reply.contentType, m_strInboxTag, m_colInbox);
}

void clsHotmail::CloseConnection()
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
    m_bClientHasCredentials = false;
    m_strClientUser.clear();
    m_strClientPassword.clear();
}

bool clsHotmail::LoadXml(QDomDocument &doc, const QString &text)
{
    // Building a document takes time that grows with the square of its
    // nesting: a reply nested far deeper than any HTTPMail reply would
    // freeze the window for minutes, so it counts as no XML.
    if (NestedTooDeep(text)) {
        doc = QDomDocument();
        return false;
    }
    // No namespace processing: node names keep the prefixes the reply uses.
    QDomDocument parsed;
    if (!parsed.setContent(text, false)) {
        doc = QDomDocument();
        return false;
    }
    doc = parsed;
    return true;
}

void clsHotmail::FlattenNodes(const QDomNodeList &nodes, QString &strTag, QStringList &colTags)
{
    // Document order without recursion, so a deeply nested reply cannot
    // exhaust the stack. The marker is never reset: a text after a child
    // element is headed by that child.
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode top = nodes.at(i);
        QDomNode node = top;
        while (!node.isNull()) {
            if (node.nodeName() != QLatin1String("#text")) {
                strTag = QLatin1Char('<') + node.nodeName() + QLatin1Char('>');
            } else {
                strTag += node.nodeValue();
                colTags.append(strTag);
            }
            if (node.hasChildNodes()) {
                node = node.firstChild();
                continue;
            }
            while (node != top && node.nextSibling().isNull())
                node = node.parentNode();
            if (node == top)
                break;
            node = node.nextSibling();
        }
    }
}

bool clsHotmail::FlattenXml(const QString &text, QString &strTag, QStringList &colTags)
{
    TagWalk walk(strTag);
    for (qsizetype pos = 0; pos < text.size(); pos += PieceSize)
        walk.feed(text.mid(pos, PieceSize));
    return FinishWalk(walk, strTag, colTags);
}

bool clsHotmail::FlattenFolderXml(const QString &text)
{
    return FlattenXml(text, m_strFolderTag, m_colFolders);
}

bool clsHotmail::FlattenInboxXml(const QString &text)
{
    return FlattenXml(text, m_strInboxTag, m_colInbox);
}

void clsHotmail::FlattenFolderNodes(const QDomNodeList &nodes)
{
    FlattenNodes(nodes, m_strFolderTag, m_colFolders);
}

void clsHotmail::FlattenInboxNodes(const QDomNodeList &nodes)
{
    FlattenNodes(nodes, m_strInboxTag, m_colInbox);
}

QString clsHotmail::FolderURL(const QStringList &colFolders, const QString &strTag)
{
    for (const QString &entry : colFolders) {
        if (entry.contains(strTag))
            return entry.mid(entry.indexOf(QLatin1Char('>')) + 1);
    }
    return QString();
}

QString clsHotmail::GetInboxURL(const QStringList &colFolders)
{
    return FolderURL(colFolders, QStringLiteral("<hm:inbox>"));
}

QString clsHotmail::GetDeletedItemsURL(const QStringList &colFolders)
{
    return FolderURL(colFolders, QStringLiteral("<hm:deleteditems>"));
}

QString clsHotmail::StripTag(const QString &strEntry)
{
    const int iPos = strEntry.indexOf(QLatin1Char('>'));
    if (iPos >= 1)
        return strEntry.mid(iPos + 1);
    return strEntry;
}

clsHotmail::MailList clsHotmail::GetInboxMails()
{
    enum Field { Read, From, Subject, Date, Length, Href, FieldCount };
    static const QString Tags[FieldCount] = {
        QStringLiteral("<hm:read>"), QStringLiteral("<m:from>"),
        QStringLiteral("<m:subject>"), QStringLiteral("<m:date>"),
        QStringLiteral("<D:getcontentlength>"), QStringLiteral("<D:href>"),
    };
    static const QString FolderTag = QStringLiteral("<D:isfolder>");

    // Each D:href opens the record of the next response, so a field a mail
    // lacks stays empty instead of being taken from a neighbour.
    MailList colMails;
    QString fields[FieldCount];
    bool bHasField = false;
    bool bFolderKnown = false;
    bool bIsFolder = false;

    const auto finishRecord = [&] {
        if (!bIsFolder && (bHasField || bFolderKnown)) {
            MailRecord record;
            for (const QString &field : fields)
                record.append(field);
            colMails.append(record);
            ++m_vTotalMails;
            if (fields[Read] == QLatin1String("0"))
                ++m_iNewMails;
        }
        for (QString &field : fields)
            field.clear();
        bHasField = bFolderKnown = bIsFolder = false;
    };

    for (const QString &entry : qAsConst(m_colInbox)) {
        int iField = 0;
        while (iField < FieldCount && !entry.contains(Tags[iField]))
            ++iField;
        if (iField == Href) {
            finishRecord();
            fields[Href] = StripTag(entry);
        } else if (iField < Href) {
            fields[iField] = StripTag(entry);
            bHasField = true;
        } else if (entry.contains(FolderTag)) {
            bFolderKnown = true;
            bIsFolder = StripTag(entry) == QLatin1String("1");
        }
    }
    finishRecord();
    return colMails;
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
    return DecodeReplyText(octets, contentType);
}

QByteArray clsHotmail::GetCompleteMailOctets(const QString &sURL, bool *ok)
{
    return FetchMail(sURL, ok, nullptr);
}

QByteArray clsHotmail::FetchMail(const QString &sURL, bool *ok, QByteArray *contentType)
{
    Reply reply = Send("GET", sURL, {}, QByteArray(), false);
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
    const HeaderList headers = {
        {"Destination", m_strDeletedURL.toUtf8()},
        {"Content-Type", "text/xml"},
        {"Allow-Rename", "t"},
        {"User-Agent", "Outlook-Express/6.0 (MSIE 6.0;Windows NT 5.1; .NET CLR 1.0.3705; TmstmpExt)"},
    };
    const QByteArray body = strBody.toUtf8();

    Reply reply;
    for (int iSend = 0; iSend < 4; ++iSend) {
        reply = Send("BMOVE", m_strInboxURL, headers, body, true);
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
    const Reply reply = Send("PROPPATCH", sURL, {}, strBody.toUtf8(), true);
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
