// A local OAuth 2.0 authorization server for tests, in a process of its
// own (a token service inside the test process would deadlock while the
// test waits on a login): an authorize endpoint that redirects the browser
// back with a code (or error=access_denied), a token endpoint that checks
// PKCE and issues access and refresh tokens (refresh tokens rotate, access
// tokens expire), revocation (RFC 7009), and introspection (RFC 7662) for
// Dovecot's oauth2 passdb.
//
//     mailvane_oauth_server --control FILE --log FILE
//
// Prints "port N" once it listens on 127.0.0.1. The control file is read
// again for every request, "key=value" per line (an empty value is the
// default):
//   client_id=mailvane-test        the only client it knows
//   client_secret=TEXT             token requests must carry it, as Google
//                                  demands of desktop clients; unset, any
//                                  client_secret is refused, as by Microsoft
//   consent=allow|deny             deny: error=access_denied
//   state=keep|wrong               wrong: the redirect carries another state
//   token=ok|silent|error|malformed|huge|no_access_token|invalid_grant
//   access_lifetime=3600           seconds; 0: expired when issued
//   access_length=40               characters of an access token
//   rotate=yes|no                  a refresh issues a new refresh token
//   user=NAME                      whose tokens these are (else login_hint)
// POST /end-all what=access ends every access token issued so far, and
// what=grants revokes every grant: a test never sees the program's tokens.
// The log gets one line per request: "METHOD PATH field=value ...", with
// the values of grant_type and code_challenge_method, every other field
// by name only.

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>

namespace {

struct Request
{
    QByteArray method;
    QByteArray path;
    QUrlQuery fields; // the query, or the form body of a POST
};

struct Reply
{
    QByteArray status = "200 OK";
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray location;
    bool silent = false;
};

struct Code
{
    QString clientId;
    QString redirectUri;
    QString challenge;
    QString user;
};

struct Grant
{
    QString user;
    bool revoked = false;
};

struct AccessToken
{
    int grant;
    QDeadlineTimer expiry;
};

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Reply error(const QByteArray &status, const QString &code, const QString &description)
{
    Reply reply;
    reply.status = status;
    reply.body = json({{QStringLiteral("error"), code}, {QStringLiteral("error_description"), description}});
    return reply;
}

QString randomText(const char *prefix, int length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    QString text = QString::fromLatin1(prefix);
    while (text.size() < length)
        text += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))]);
    return text;
}

QString field(const QUrlQuery &fields, const char *name)
{
    return fields.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
}

class AuthorizationServer : public QObject
{
public:
    AuthorizationServer(const QString &controlFile, const QString &logFile)
        : m_controlFile(controlFile)
        , m_logFile(logFile)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }

private:
    QString control(const char *key, const char *fallback) const
    {
        QFile file(m_controlFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n')) {
                const int equals = line.indexOf('=');
                if (equals > 0 && line.left(equals).trimmed() == key && !line.mid(equals + 1).trimmed().isEmpty())
                    return QString::fromUtf8(line.mid(equals + 1).trimmed());
            }
        }
        return QString::fromLatin1(fallback);
    }

    void log(const Request &request)
    {
        QByteArray line = request.method + ' ' + request.path;
        for (const auto &item : request.fields.queryItems(QUrl::FullyDecoded)) {
            line += ' ' + item.first.toUtf8();
            if (item.first == QLatin1String("grant_type") || item.first == QLatin1String("code_challenge_method"))
                line += '=' + item.second.toUtf8();
        }
        QFile file(m_logFile);
        if (file.open(QIODevice::Append))
            file.write(line + '\n');
    }

    void onData(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QByteArray head = buffer.left(headEnd);
        qint64 length = 0;
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        Request request;
        request.method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        const int mark = target.indexOf('?');
        request.path = mark < 0 ? target : target.left(mark);
        const QByteArray form = request.method == "POST" ? buffer.mid(headEnd + 4, length) : target.mid(mark + 1);
        if (request.method == "POST" || mark >= 0)
            request.fields = QUrlQuery(QString::fromLatin1(QByteArray(form).replace('+', ' ')));
        m_buffers.remove(socket);
        log(request);
        const Reply reply = handle(request);
        if (reply.silent)
            return; // the connection stays open, unanswered
        QByteArray answer = "HTTP/1.1 " + reply.status + "\r\nContent-Type: " + reply.type
                            + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!reply.location.isEmpty())
            answer += "Location: " + reply.location + "\r\n";
        socket->write(answer + "Connection: close\r\n\r\n" + reply.body);
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    Reply handle(const Request &request)
    {
        if (request.path == "/authorize" && request.method == "GET")
            return authorize(request.fields);
        if (request.path == "/token" && request.method == "POST")
            return token(request.fields);
        if (request.path == "/revoke" && request.method == "POST")
            return revoke(request.fields);
        if (request.path == "/introspect" && request.method == "POST")
            return introspect(request.fields);
        if (request.path == "/end-all" && request.method == "POST")
            return endAll(request.fields);
        return error("404 Not Found", QStringLiteral("not_found"), QString::fromLatin1(request.path));
    }

    Reply authorize(const QUrlQuery &fields)
    {
        const QString redirectUri = field(fields, "redirect_uri");
        const QUrl redirect(redirectUri);
        if (redirect.scheme() != QLatin1String("http") || redirect.host() != QLatin1String("127.0.0.1")
            || redirect.path() != QLatin1String("/"))
            return error("400 Bad Request", QStringLiteral("invalid_request"), QStringLiteral("bad redirect_uri"));
        if (field(fields, "client_id") != control("client_id", "mailvane-test"))
            return error("400 Bad Request", QStringLiteral("invalid_client"), QStringLiteral("unknown client"));
        QString answer;
        if (field(fields, "response_type") != QLatin1String("code"))
            answer = QStringLiteral("error=unsupported_response_type");
        else if (field(fields, "code_challenge_method") != QLatin1String("S256")
                 || field(fields, "code_challenge").size() != 43)
            answer = QStringLiteral("error=invalid_request&error_description=PKCE%20S256%20required");
        else if (control("consent", "allow") == QLatin1String("deny"))
            answer = QStringLiteral("error=access_denied&error_description=The%20user%20said%20no");
        else {
            // Codes hold "/" as Google's do: only a client that decodes the
            // query gets them right.
            const QString code = randomText("4/", 48);
            QString user = control("user", "");
            if (user.isEmpty())
                user = field(fields, "login_hint");
            m_codes.insert(code, Code{field(fields, "client_id"), redirectUri, field(fields, "code_challenge"), user});
            answer = QStringLiteral("code=") + QString::fromLatin1(QUrl::toPercentEncoding(code));
        }
        const QString state = control("state", "keep") == QLatin1String("wrong") ? QStringLiteral("forged")
                                                                                 : field(fields, "state");
        answer += QStringLiteral("&state=") + QString::fromLatin1(QUrl::toPercentEncoding(state));
        Reply reply;
        reply.status = "302 Found";
        reply.type = "text/plain";
        reply.location = (redirectUri + u'?' + answer).toUtf8();
        return reply;
    }

    Reply token(const QUrlQuery &fields)
    {
        const QString behaviour = control("token", "ok");
        Reply reply;
        if (behaviour == QLatin1String("silent")) {
            reply.silent = true;
            return reply;
        }
        if (behaviour == QLatin1String("error"))
            return error("500 Internal Server Error", QStringLiteral("server_error"), QStringLiteral("down for tests"));
        if (behaviour == QLatin1String("invalid_grant"))
            return error("400 Bad Request", QStringLiteral("invalid_grant"), QStringLiteral("told to refuse"));
        if (behaviour == QLatin1String("malformed")) {
            reply.body = "{\"access_token\": \"at-";
            return reply;
        }
        if (behaviour == QLatin1String("huge")) {
            reply.body = "{\"padding\":\"" + QByteArray(1024 * 1024, 'x') + "\"}";
            return reply;
        }
        if (behaviour == QLatin1String("no_access_token")) {
            reply.body = json({{QStringLiteral("token_type"), QStringLiteral("Bearer")}});
            return reply;
        }
        const QString secret = control("client_secret", "");
        if (secret.isEmpty() && fields.hasQueryItem(QStringLiteral("client_secret")))
            return error("401 Unauthorized", QStringLiteral("invalid_client"),
                         QStringLiteral("a public client sends no client_secret"));
        if (!secret.isEmpty() && field(fields, "client_secret") != secret)
            return error("400 Bad Request", QStringLiteral("invalid_request"), QStringLiteral("client_secret is missing."));
        if (field(fields, "client_id") != control("client_id", "mailvane-test"))
            return error("401 Unauthorized", QStringLiteral("invalid_client"), QStringLiteral("unknown client"));
        const QString grantType = field(fields, "grant_type");
        if (grantType == QLatin1String("authorization_code"))
            return exchangeCode(fields);
        if (grantType == QLatin1String("refresh_token"))
            return refresh(fields);
        return error("400 Bad Request", QStringLiteral("unsupported_grant_type"), grantType);
    }

    Reply exchangeCode(const QUrlQuery &fields)
    {
        const QString codeText = field(fields, "code");
        if (!m_codes.contains(codeText))
            return error("400 Bad Request", QStringLiteral("invalid_grant"), QStringLiteral("unknown or used code"));
        const Code code = m_codes.take(codeText);
        if (field(fields, "redirect_uri") != code.redirectUri)
            return error("400 Bad Request", QStringLiteral("invalid_grant"), QStringLiteral("redirect_uri differs"));
        const QByteArray verifier = field(fields, "code_verifier").toUtf8();
        const QByteArray challenge = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                         .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        if (verifier.size() < 43 || QString::fromLatin1(challenge) != code.challenge)
            return error("400 Bad Request", QStringLiteral("invalid_grant"), QStringLiteral("PKCE verification failed"));
        m_grants.append(Grant{code.user, false});
        return issue(int(m_grants.size()) - 1, true);
    }

    Reply refresh(const QUrlQuery &fields)
    {
        const QString refreshToken = field(fields, "refresh_token");
        const int grant = m_refreshTokens.value(refreshToken, -1);
        if (grant < 0 || m_grants.at(grant).revoked)
            return error("400 Bad Request", QStringLiteral("invalid_grant"),
                         QStringLiteral("refresh token unknown, used or revoked"));
        const bool rotate = control("rotate", "yes") == QLatin1String("yes");
        if (rotate)
            m_refreshTokens.remove(refreshToken);
        return issue(grant, rotate);
    }

    Reply issue(int grant, bool newRefreshToken)
    {
        const QString access = randomText("at-", control("access_length", "40").toInt());
        const qint64 lifetime = control("access_lifetime", "3600").toLongLong();
        m_accessTokens.insert(access, AccessToken{grant, QDeadlineTimer(lifetime * 1000)});
        QJsonObject answer{{QStringLiteral("access_token"), access},
                           {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                           {QStringLiteral("expires_in"), lifetime}};
        if (newRefreshToken) {
            const QString refresh = randomText("rt-", 40);
            m_refreshTokens.insert(refresh, grant);
            answer.insert(QStringLiteral("refresh_token"), refresh);
        }
        Reply reply;
        reply.body = json(answer);
        return reply;
    }

    Reply revoke(const QUrlQuery &fields)
    {
        const QString token = field(fields, "token");
        int grant = m_refreshTokens.value(token, -1);
        if (grant < 0 && m_accessTokens.contains(token))
            grant = m_accessTokens.value(token).grant;
        if (grant >= 0)
            m_grants[grant].revoked = true;
        return Reply();
    }

    // What a test cannot do token by token (it never sees the program's
    // tokens): every access token issued so far ends now (what=access), as
    // on a service that ended the sessions, or every grant is revoked
    // (what=grants), as when the user withdrew the program's access.
    Reply endAll(const QUrlQuery &fields)
    {
        if (field(fields, "what") == QLatin1String("grants")) {
            for (Grant &grant : m_grants)
                grant.revoked = true;
        } else {
            for (AccessToken &token : m_accessTokens)
                token.expiry = QDeadlineTimer(0);
        }
        return Reply();
    }

    Reply introspect(const QUrlQuery &fields)
    {
        const QString token = field(fields, "token");
        Reply reply;
        const auto found = m_accessTokens.constFind(token);
        if (found == m_accessTokens.cend() || found->expiry.hasExpired() || m_grants.at(found->grant).revoked) {
            reply.body = json({{QStringLiteral("active"), false}});
            return reply;
        }
        reply.body = json({{QStringLiteral("active"), true},
                           {QStringLiteral("username"), m_grants.at(found->grant).user},
                           {QStringLiteral("token_type"), QStringLiteral("Bearer")}});
        return reply;
    }

    QTcpServer m_server;
    QString m_controlFile;
    QString m_logFile;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QString, Code> m_codes;
    QList<Grant> m_grants;
    QHash<QString, int> m_refreshTokens;
    QHash<QString, AccessToken> m_accessTokens;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int control = arguments.indexOf(QStringLiteral("--control"));
    const int log = arguments.indexOf(QStringLiteral("--log"));
    if (control < 0 || log < 0 || control + 1 >= arguments.size() || log + 1 >= arguments.size()) {
        std::fprintf(stderr, "usage: mailvane_oauth_server --control FILE --log FILE\n");
        return 2;
    }
    AuthorizationServer server(arguments.at(control + 1), arguments.at(log + 1));
    if (!server.listen()) {
        std::fprintf(stderr, "mailvane_oauth_server: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("port %u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
