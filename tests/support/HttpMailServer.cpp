// The HTTPMail test service: requests, Digest challenges, replies.

#include "HttpMailServer.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const QByteArray HttpMailNs = "urn:schemas:httpmail:";

QByteArray Md5Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QByteArray RandomHex(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (char &c : raw)
        c = char(QRandomGenerator::global()->bounded(256));
    return raw.toHex();
}

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// Parameters of a Digest Authorization header: name=token or name="quoted".
QHash<QByteArray, QByteArray> ParseAuthParams(const QByteArray &text, bool *ok)
{
    QHash<QByteArray, QByteArray> params;
    *ok = true;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == ',' || text[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        const int nameStart = i;
        while (i < n && text[i] != '=')
            ++i;
        if (i >= n) {
            *ok = false;
            break;
        }
        const QByteArray name = text.mid(nameStart, i - nameStart).trimmed().toLower();
        ++i;
        QByteArray value;
        if (i < n && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == '\\' && i + 1 < n) {
                    value.append(text[i + 1]);
                    i += 2;
                } else if (text[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value.append(text[i++]);
                }
            }
            if (!closed)
                *ok = false;
        } else {
            const int valueStart = i;
            while (i < n && text[i] != ',')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        params.insert(name, value);
    }
    return params;
}

QByteArray MultistatusHead()
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
}

} // namespace

// ---- Request ---------------------------------------------------------------

QByteArray HttpMailServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

bool HttpMailServer::Request::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QList<QByteArray> HttpMailServer::Request::headerNames() const
{
    QList<QByteArray> names;
    for (const auto &h : headers)
        names.append(h.first);
    return names;
}

// ---- CannedReply -----------------------------------------------------------

HttpMailServer::CannedReply HttpMailServer::CannedReply::reply(const QByteArray &method,
                                                               const QString &path, int status,
                                                               const QByteArray &body,
                                                               const QByteArray &contentType)
{
    CannedReply r;
    r.method = method;
    r.path = path;
    r.status = status;
    switch (status) {
    case 200: r.reason = "OK"; break;
    case 207: r.reason = "Multi-Status"; break;
    case 400: r.reason = "Bad Request"; break;
    case 401: r.reason = "Unauthorized"; break;
    case 403: r.reason = "Forbidden"; break;
    case 404: r.reason = "Not Found"; break;
    case 500: r.reason = "Internal Server Error"; break;
    case 503: r.reason = "Service Unavailable"; break;
    default: r.reason = "Status"; break;
    }
    if (!contentType.isEmpty())
        r.headers.append({"Content-Type", contentType});
    r.body = body;
    return r;
}

HttpMailServer::CannedReply HttpMailServer::CannedReply::stall(const QByteArray &method,
                                                               const QString &path, int times)
{
    CannedReply r = close(method, path, times);
    r.kind = Kind::Stall;
    return r;
}

HttpMailServer::CannedReply HttpMailServer::CannedReply::close(const QByteArray &method,
                                                               const QString &path, int times)
{
    CannedReply r;
    r.kind = Kind::Close;
    r.method = method;
    r.path = path;
    r.times = times;
    return r;
}

// ---- Server ----------------------------------------------------------------

HttpMailServer::HttpMailServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_opaque(QString::fromLatin1(RandomHex(8)))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpMailServer::onNewConnection);
}

HttpMailServer::~HttpMailServer()
{
    closeConnections();
}

bool HttpMailServer::start()
{
    return m_server->isListening() || m_server->listen(QHostAddress::LocalHost, 0);
}

void HttpMailServer::stop()
{
    m_server->close();
    closeConnections();
}

quint16 HttpMailServer::port() const
{
    return m_server->serverPort();
}

QString HttpMailServer::endpointPath()
{
    return QStringLiteral("/svcs/hotmail/httpmail.asp");
}

QString HttpMailServer::inboxPath()
{
    return QStringLiteral("/folders/inbox/");
}

QString HttpMailServer::deletedItemsPath()
{
    return QStringLiteral("/folders/deleted/");
}

QString HttpMailServer::urlOf(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

QUrl HttpMailServer::baseUrl() const
{
    return QUrl(urlOf(QString()));
}

QUrl HttpMailServer::endpointUrl() const
{
    return QUrl(urlOf(endpointPath()));
}

QUrl HttpMailServer::inboxUrl() const
{
    return QUrl(urlOf(inboxPath()));
}

QUrl HttpMailServer::deletedItemsUrl() const
{
    return QUrl(urlOf(deletedItemsPath()));
}

QUrl HttpMailServer::mailUrl(const QString &name) const
{
    return QUrl(urlOf(inboxPath() + name));
}

void HttpMailServer::setCredentials(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

void HttpMailServer::setAuthScheme(AuthScheme scheme)
{
    m_authScheme = scheme;
}

void HttpMailServer::setMails(const QList<Mail> &mails)
{
    m_inbox = mails;
}

void HttpMailServer::addMail(const Mail &mail)
{
    m_inbox.append(mail);
}

HttpMailServer::Mail HttpMailServer::makeMail(const QString &name, const QString &from,
                                              const QString &subject, const QString &date,
                                              const QByteArray &text, bool read)
{
    Mail mail;
    mail.name = name;
    mail.from = from;
    mail.subject = subject;
    mail.date = date;
    mail.text = text;
    mail.read = read;
    return mail;
}

QList<HttpMailServer::Request> HttpMailServer::requests(const QByteArray &method) const
{
    QList<Request> matching;
    for (const Request &r : m_requests) {
        if (r.method == method)
            matching.append(r);
    }
    return matching;
}

void HttpMailServer::addCannedReply(const CannedReply &reply)
{
    m_canned.append(reply);
}

void HttpMailServer::clearCannedReplies()
{
    m_canned.clear();
}

void HttpMailServer::closeConnections()
{
    const QList<QTcpSocket *> sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

QByteArray HttpMailServer::loginReplyXml() const
{
    QString xml = QString::fromLatin1(MultistatusHead());
    xml += QStringLiteral(
               "<D:multistatus xmlns:D=\"DAV:\" xmlns:h=\"http://schemas.microsoft.com/hotmail/\" "
               "xmlns:hm=\"urn:schemas:httpmail:\">\r\n"
               " <D:response>\r\n"
               "  <D:href>%1</D:href>\r\n"
               "  <D:propstat>\r\n"
               "   <D:prop>\r\n"
               "    <h:adbar>AdPane=Off*AdSvr=None</h:adbar>\r\n"
               "    <hm:contacts>%2</hm:contacts>\r\n"
               "    <hm:inbox>%3</hm:inbox>\r\n"
               "    <hm:sendmsg>%4</hm:sendmsg>\r\n"
               "    <hm:sentitems>%5</hm:sentitems>\r\n"
               "    <hm:deleteditems>%6</hm:deleteditems>\r\n"
               "    <hm:msgfolderroot>%7</hm:msgfolderroot>\r\n"
               "    <h:maxpoll>15</h:maxpoll>\r\n"
               "    <h:sig></h:sig>\r\n"
               "   </D:prop>\r\n"
               "   <D:status>HTTP/1.1 200 OK</D:status>\r\n"
               "  </D:propstat>\r\n"
               " </D:response>\r\n"
               "</D:multistatus>\r\n")
               .arg(Escaped(urlOf(endpointPath())), Escaped(urlOf(QStringLiteral("/contacts/"))),
                    Escaped(urlOf(inboxPath())), Escaped(urlOf(QStringLiteral("/sendmsg"))),
                    Escaped(urlOf(QStringLiteral("/folders/sent/"))),
                    Escaped(urlOf(deletedItemsPath())), Escaped(urlOf(QStringLiteral("/folders/"))));
    return xml.toUtf8();
}

QByteArray HttpMailServer::inboxReplyXml() const
{
    // Built as octets mail by mail: a listing of many thousands stays small.
    QByteArray xml = MultistatusHead();
    xml += QStringLiteral("<D:multistatus xmlns:D=\"DAV:\" xmlns:hm=\"urn:schemas:httpmail:\" "
                          "xmlns:m=\"urn:schemas:mailheader:\">\r\n"
                          " <D:response>\r\n"
                          "  <D:href>%1</D:href>\r\n"
                          "  <D:propstat>\r\n"
                          "   <D:prop><D:isfolder>1</D:isfolder></D:prop>\r\n"
                          "   <D:status>HTTP/1.1 200 OK</D:status>\r\n"
                          "  </D:propstat>\r\n"
                          " </D:response>\r\n")
               .arg(Escaped(urlOf(inboxPath())))
               .toUtf8();
    for (const Mail &mail : m_inbox) {
        xml += QStringLiteral(" <D:response>\r\n"
                              "  <D:href>%1</D:href>\r\n"
                              "  <D:propstat>\r\n"
                              "   <D:prop>\r\n"
                              "    <D:isfolder>0</D:isfolder>\r\n"
                              "    <hm:read>%2</hm:read>\r\n"
                              "    <m:hasattachment>0</m:hasattachment>\r\n"
                              "    <m:to>%3</m:to>\r\n"
                              "    <m:from>%4</m:from>\r\n"
                              "    <m:subject>%5</m:subject>\r\n"
                              "    <m:date>%6</m:date>\r\n"
                              "    <D:getcontentlength>%7</D:getcontentlength>\r\n"
                              "   </D:prop>\r\n"
                              "   <D:status>HTTP/1.1 200 OK</D:status>\r\n"
                              "  </D:propstat>\r\n"
                              " </D:response>\r\n")
                   .arg(Escaped(urlOf(inboxPath() + mail.name)),
                        mail.read ? QStringLiteral("1") : QStringLiteral("0"), Escaped(m_user),
                        Escaped(mail.from), Escaped(mail.subject), Escaped(mail.date),
                        QString::number(mail.text.size()))
                   .toUtf8();
    }
    xml += "</D:multistatus>\r\n";
    return xml;
}

void HttpMailServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpMailServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    const QByteArray data = socket->readAll();
    if (it->stalled)
        return;
    it->buffer.append(data);
    for (;;) {
        it = m_connections.find(socket);
        if (it == m_connections.end() || it->stalled)
            return;
        Request request;
        bool bad = false;
        if (!takeRequest(*it, request, bad)) {
            if (bad) {
                send(socket, 400, "Bad Request", {}, QByteArray(), false);
                m_connections.remove(socket);
                socket->disconnectFromHost();
            }
            return;
        }
        handle(socket, request);
    }
}

bool HttpMailServer::takeRequest(Connection &connection, Request &request, bool &bad)
{
    const int headEnd = connection.buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = connection.buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
        m_problems.append(QStringLiteral("bad request line: %1")
                              .arg(QString::fromLatin1(lines.value(0).trimmed())));
        bad = true;
        return false;
    }
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    request.version = requestLine.at(2);
    QByteArray rawPath = request.target;
    const int query = rawPath.indexOf('?');
    if (query >= 0)
        rawPath.truncate(query);
    request.path = QUrl::fromPercentEncoding(rawPath);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0) {
            m_problems.append(QStringLiteral("bad header line: %1").arg(QString::fromLatin1(line)));
            bad = true;
            return false;
        }
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (request.hasHeader("Transfer-Encoding")) {
        m_problems.append(QStringLiteral("request body not sent with Content-Length"));
        bad = true;
        return false;
    }
    bool lengthOk = true;
    const qint64 length =
        request.hasHeader("Content-Length") ? request.header("Content-Length").toLongLong(&lengthOk) : 0;
    if (!lengthOk || length < 0) {
        m_problems.append(QStringLiteral("bad Content-Length"));
        bad = true;
        return false;
    }
    if (connection.buffer.size() < headEnd + 4 + length)
        return false;
    request.body = connection.buffer.mid(headEnd + 4, int(length));
    connection.buffer.remove(0, headEnd + 4 + int(length));
    return true;
}

bool HttpMailServer::checkDigest(const Request &request, const QByteArray &paramText)
{
    bool ok = false;
    const QHash<QByteArray, QByteArray> p = ParseAuthParams(paramText, &ok);
    if (!ok) {
        m_problems.append(QStringLiteral("unreadable Digest header"));
        return false;
    }
    const QByteArray nonce = p.value("nonce");
    if (!m_nonces.contains(nonce))
        return false;   // not ours, or from an earlier run: challenge again
    if (p.value("realm") != m_realm.toUtf8())
        m_problems.append(QStringLiteral("Digest realm %1").arg(QString::fromLatin1(p.value("realm"))));
    if (p.value("uri") != request.target)
        m_problems.append(QStringLiteral("Digest uri %1 for %2")
                              .arg(QString::fromLatin1(p.value("uri")),
                                   QString::fromLatin1(request.target)));
    if (p.contains("opaque") && p.value("opaque") != m_opaque.toLatin1())
        m_problems.append(QStringLiteral("Digest opaque changed"));
    const QByteArray algorithm = p.value("algorithm").toLower();
    if (!algorithm.isEmpty() && algorithm != "md5") {
        m_problems.append(QStringLiteral("Digest algorithm %1").arg(QString::fromLatin1(algorithm)));
        return false;
    }
    if (p.value("username") != m_user.toUtf8())
        return false;
    const QByteArray ha1 = Md5Hex(m_user.toUtf8() + ':' + m_realm.toUtf8() + ':' + m_password.toUtf8());
    const QByteArray ha2 = Md5Hex(request.method + ':' + p.value("uri"));
    QByteArray expected;
    const QByteArray qop = p.value("qop");
    if (qop.isEmpty()) {
        expected = Md5Hex(ha1 + ':' + nonce + ':' + ha2);
    } else if (qop == "auth") {
        expected = Md5Hex(ha1 + ':' + nonce + ':' + p.value("nc") + ':' + p.value("cnonce") + ':' + qop
                          + ':' + ha2);
    } else {
        m_problems.append(QStringLiteral("Digest qop %1").arg(QString::fromLatin1(qop)));
        return false;
    }
    return p.value("response").toLower() == expected;
}

bool HttpMailServer::checkAuthorization(const Request &request)
{
    if (m_authScheme == AuthScheme::None)
        return true;
    const QByteArray value = request.header("Authorization");
    const int blank = value.indexOf(' ');
    const QByteArray scheme = value.left(blank).toLower();
    const QByteArray rest = blank < 0 ? QByteArray() : value.mid(blank + 1).trimmed();
    if (m_authScheme == AuthScheme::Basic) {
        return scheme == "basic"
               && QByteArray::fromBase64(rest) == (m_user + QLatin1Char(':') + m_password).toUtf8();
    }
    return scheme == "digest" && checkDigest(request, rest);
}

void HttpMailServer::sendChallenge(QTcpSocket *socket, bool keepAlive)
{
    QByteArray challenge;
    if (m_authScheme == AuthScheme::Basic) {
        challenge = "Basic realm=\"" + m_realm.toUtf8() + '"';
    } else {
        const QByteArray nonce = RandomHex(16) + QByteArray::number(++m_nonceCount);
        m_nonces.insert(nonce);
        challenge = "Digest realm=\"" + m_realm.toUtf8() + "\", qop=\"auth\", nonce=\"" + nonce
                    + "\", opaque=\"" + m_opaque.toLatin1() + "\", algorithm=MD5";
    }
    send(socket, 401, "Unauthorized",
         {{"WWW-Authenticate", challenge}, {"Content-Type", "text/html"}},
         "<html><head><title>401 Unauthorized</title></head>\r\n"
         "<body>Access denied.<br>Check your user name and password.</body></html>\r\n", keepAlive);
}

void HttpMailServer::send(QTcpSocket *socket, int status, const QByteArray &reason,
                          const HeaderList &headers, const QByteArray &body, bool keepAlive)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    bool hasLength = false;
    for (const auto &h : headers) {
        out += h.first + ": " + h.second + "\r\n";
        if (h.first.compare("Content-Length", Qt::CaseInsensitive) == 0)
            hasLength = true;
    }
    if (!hasLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    socket->write(out);
    socket->write(body); // not joined to the head: a big body is not copied once more
    if (!keepAlive) {
        m_connections.remove(socket);
        socket->disconnectFromHost();
    }
}

void HttpMailServer::handle(QTcpSocket *socket, Request &request)
{
    const QByteArray connection = request.header("Connection").toLower();
    const bool keepAlive = request.version == "HTTP/1.0" ? connection.contains("keep-alive")
                                                         : !connection.contains("close");

    request.authorized = checkAuthorization(request);
    m_requests.append(request);

    const auto takeCanned = [this, &request](bool beforeAuth, CannedReply &out) {
        for (int i = 0; i < m_canned.size(); ++i) {
            CannedReply &c = m_canned[i];
            if (c.beforeAuth != beforeAuth || c.times == 0)
                continue;
            if (!c.method.isEmpty() && c.method != request.method)
                continue;
            if (!c.path.isEmpty() && c.path != request.path)
                continue;
            out = c;
            if (c.times > 0)
                --c.times;
            return true;
        }
        return false;
    };
    const auto applyCanned = [this, socket, keepAlive](const CannedReply &c) {
        switch (c.kind) {
        case CannedReply::Kind::Stall:
            m_connections[socket].stalled = true;
            break;
        case CannedReply::Kind::Close:
            m_connections.remove(socket);
            socket->disconnectFromHost();
            break;
        case CannedReply::Kind::Reply:
            send(socket, c.status, c.reason, c.headers, c.body, keepAlive && !c.closeAfter);
            break;
        }
    };

    CannedReply canned;
    if (takeCanned(true, canned))
        applyCanned(canned);
    else if (!request.authorized)
        sendChallenge(socket, keepAlive);
    else if (takeCanned(false, canned))
        applyCanned(canned);
    else
        serve(socket, request, keepAlive);
    emit requestReceived(request);
}

int HttpMailServer::findMail(const QList<Mail> &mails, const QString &name) const
{
    for (int i = 0; i < mails.size(); ++i) {
        if (mails.at(i).name == name)
            return i;
    }
    return -1;
}

void HttpMailServer::serve(QTcpSocket *socket, const Request &request, bool keepAlive)
{
    const HeaderList xmlType = {{"Content-Type", "text/xml; charset=utf-8"}};
    const QByteArray &method = request.method;
    const QString &path = request.path;

    if (method == "PROPFIND" && path == endpointPath()) {
        send(socket, 207, "Multi-Status", xmlType, loginReplyXml(), keepAlive);
        return;
    }
    if (method == "PROPFIND" && path == inboxPath()) {
        send(socket, 207, "Multi-Status", xmlType, inboxReplyXml(), keepAlive);
        return;
    }
    if (method == "BMOVE" && path == inboxPath()) {
        doBmove(socket, request, keepAlive);
        return;
    }
    for (const QString &folder : {inboxPath(), deletedItemsPath()}) {
        if (!path.startsWith(folder) || path.size() == folder.size())
            continue;
        const QString name = path.mid(folder.size());
        const QList<Mail> &mails = folder == inboxPath() ? m_inbox : m_deleted;
        const int index = findMail(mails, name);
        if (index < 0)
            break;
        if (method == "GET") {
            send(socket, 200, "OK", {{"Content-Type", mails.at(index).contentType}}, mails.at(index).text,
                 keepAlive);
            return;
        }
        if (method == "PROPPATCH") {
            doProppatch(socket, request, keepAlive);
            return;
        }
        send(socket, 405, "Method Not Allowed", {}, QByteArray(), keepAlive);
        return;
    }
    send(socket, 404, "Not Found", {{"Content-Type", "text/html"}},
         "<html><body>404 Not Found</body></html>", keepAlive);
}

void HttpMailServer::doBmove(QTcpSocket *socket, const Request &request, bool keepAlive)
{
    QDomDocument doc;
    if (!doc.setContent(request.body, true)) {
        send(socket, 400, "Bad Request", {}, QByteArray(), keepAlive);
        return;
    }
    const QUrl destination(QString::fromUtf8(request.header("Destination")));
    const bool toDeleted = destination.path() == deletedItemsPath();

    QByteArray reply = MultistatusHead() + "<D:multistatus xmlns:D=\"DAV:\">\r\n";
    const QDomNodeList hrefs = doc.elementsByTagNameNS(QStringLiteral("DAV:"), QStringLiteral("href"));
    for (int i = 0; i < hrefs.count(); ++i) {
        const QString href = hrefs.at(i).toElement().text();
        const QString name = href.mid(href.lastIndexOf(QLatin1Char('/')) + 1);
        const int index = findMail(m_inbox, name);
        QByteArray status;
        if (index < 0) {
            status = "HTTP/1.1 404 Not Found";
        } else if (!toDeleted) {
            status = "HTTP/1.1 409 Conflict";
        } else {
            m_deleted.append(m_inbox.takeAt(index));
            status = "HTTP/1.1 201 Created";
        }
        reply += "<D:response><D:href>" + Escaped(urlOf(inboxPath() + name)).toUtf8()
                 + "</D:href><D:status>" + status + "</D:status></D:response>\r\n";
    }
    reply += "</D:multistatus>\r\n";
    send(socket, 207, "Multi-Status", {{"Content-Type", "text/xml; charset=utf-8"}}, reply,
         keepAlive);
}

void HttpMailServer::doProppatch(QTcpSocket *socket, const Request &request, bool keepAlive)
{
    QDomDocument doc;
    if (!doc.setContent(request.body, true)) {
        send(socket, 400, "Bad Request", {}, QByteArray(), keepAlive);
        return;
    }
    const QDomNodeList reads =
        doc.elementsByTagNameNS(QString::fromLatin1(HttpMailNs), QStringLiteral("read"));
    if (reads.count() > 0) {
        const bool read = reads.at(0).toElement().text().trimmed() == QLatin1String("1");
        for (QList<Mail> *mails : {&m_inbox, &m_deleted}) {
            for (Mail &mail : *mails) {
                if (request.path == inboxPath() + mail.name
                    || request.path == deletedItemsPath() + mail.name)
                    mail.read = read;
            }
        }
    }
    const QByteArray reply = MultistatusHead()
                             + "<D:multistatus xmlns:D=\"DAV:\" xmlns:hm=\"urn:schemas:httpmail:\">"
                               "<D:response><D:href>"
                             + Escaped(urlOf(request.path)).toUtf8()
                             + "</D:href><D:propstat><D:prop><hm:read/></D:prop>"
                               "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"
                               "</D:multistatus>\r\n";
    send(socket, 207, "Multi-Status", {{"Content-Type", "text/xml; charset=utf-8"}}, reply,
         keepAlive);
}
