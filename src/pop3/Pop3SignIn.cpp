// Reading what a server offers for signing in, choosing the method, and the
// lines of its exchange.

#include "pop3/Pop3SignIn.h"

#include "base/VbHelpers.h"
#include "net/SaslClient.h"
#include "pop3/Pop3ReplyReader.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace Pop3SignIn {

namespace {

struct Name
{
    Method method;
    const char *name;
};

constexpr Name Names[] = {
    {Method::ScramSha256, "SCRAM-SHA-256"}, {Method::ScramSha1, "SCRAM-SHA-1"}, {Method::CramMd5, "CRAM-MD5"},
    {Method::Apop, "APOP"},                 {Method::UserPass, "USER"},         {Method::Plain, "PLAIN"},
    {Method::XOAuth2, "XOAUTH2"},           {Method::OAuthBearer, "OAUTHBEARER"},
};

// RFC 5034: an AUTH line with its initial response within 255 octets.
constexpr int MostAuthLineOctets = 255;

bool offers(const Capabilities &capabilities, Method method)
{
    return capabilities.sasl.contains(methodName(method)) && SaslClient::supports(methodName(method).toLatin1());
}

} // namespace

Capabilities parseCapa(const QString &capaReply)
{
    Capabilities capabilities;
    if (capaReply.isEmpty() || Pop3ReplyReader::isError(capaReply))
        return capabilities;
    capabilities.known = true;
    const QStringList lines = Pop3ReplyReader::content(capaReply).split(vb::CrLf);
    for (const QString &line : lines) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString tag = words.first().toUpper();
        if (tag == QLatin1String("STLS"))
            capabilities.stls = true;
        else if (tag == QLatin1String("USER"))
            capabilities.user = true;
        else if (tag == QLatin1String("PIPELINING"))
            capabilities.pipelining = true;
        else if (tag == QLatin1String("SASL")) {
            for (int i = 1; i < words.size(); ++i)
                capabilities.sasl.append(words.at(i).toUpper());
        }
    }
    return capabilities;
}

QString apopStamp(const QString &greeting)
{
    // The stamp is a msg-id: "<", no blanks or brackets, "@", ">".
    static const QRegularExpression stamp(QStringLiteral("<[^<>\\s@]*@[^<>\\s]*>"));
    const QString firstLine = greeting.section(vb::CrLf, 0, 0);
    const QRegularExpressionMatch match = stamp.match(firstLine);
    return match.hasMatch() ? match.captured(0) : QString();
}

QString methodName(Method method)
{
    for (const Name &name : Names) {
        if (name.method == method)
            return QString::fromLatin1(name.name);
    }
    return QString();
}

bool methodFromName(const QString &text, Method *method)
{
    const QString wanted = text.trimmed().toUpper();
    for (const Name &name : Names) {
        if (wanted == QLatin1String(name.name)) {
            *method = name.method;
            return true;
        }
    }
    return false;
}

bool isSasl(Method method)
{
    return method != Method::Apop && method != Method::UserPass;
}

bool sendsPasswordReadable(Method method)
{
    return method == Method::UserPass || method == Method::Plain;
}

QList<Method> methodsToTry(const Capabilities &capabilities, const QString &stamp, bool encrypted,
                           const QList<Method> &forced)
{
    if (!forced.isEmpty())
        return forced;
    QList<Method> methods;
    // The server never learns the password, and it proves that it knows it.
    for (Method scram : {Method::ScramSha256, Method::ScramSha1}) {
        if (offers(capabilities, scram))
            methods.append(scram);
    }
    if (!encrypted) {
        if (offers(capabilities, Method::CramMd5))
            methods.append(Method::CramMd5);
        if (!stamp.isEmpty())
            methods.append(Method::Apop);
    }
    // USER where it is offered, or where nothing is known: as always.
    const bool plainInstead = capabilities.known && !capabilities.user && offers(capabilities, Method::Plain);
    methods.append(plainInstead ? Method::Plain : Method::UserPass);
    return methods;
}

QString apopLine(const QString &user, const QString &stamp, const QString &password)
{
    const QByteArray digest =
        QCryptographicHash::hash(stamp.toUtf8() + password.toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral("APOP ") + user + u' ' + QString::fromLatin1(digest) + vb::CrLf;
}

QString authLine(Method method, const QByteArray &initialResponse, bool *responseOnLine)
{
    const QString bare = QStringLiteral("AUTH ") + methodName(method);
    // An empty initial response is "=" on the line (RFC 5034).
    const QString response =
        initialResponse.isEmpty() ? QStringLiteral("=") : QString::fromLatin1(initialResponse.toBase64());
    const QString withResponse = bare + u' ' + response + vb::CrLf;
    *responseOnLine = withResponse.size() <= MostAuthLineOctets;
    return *responseOnLine ? withResponse : bare + vb::CrLf;
}

QString responseLine(const QByteArray &response)
{
    return QString::fromLatin1(response.toBase64()) + vb::CrLf;
}

QString cancelLine()
{
    return QStringLiteral("*") + vb::CrLf;
}

bool isContinuation(const QString &reply)
{
    return reply.startsWith(u'+') && !reply.startsWith(QLatin1String("+OK"), Qt::CaseInsensitive);
}

QByteArray challengeOf(const QString &reply, bool *valid)
{
    QString text = reply.mid(1);
    if (text.endsWith(vb::CrLf))
        text.chop(2);
    text = text.trimmed();
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    *valid = decoded.decodingStatus == QByteArray::Base64DecodingStatus::Ok;
    return *valid ? decoded.decoded : QByteArray();
}

bool refusesMechanism(const QString &reply, bool proofSent)
{
    if (!Pop3ReplyReader::isError(reply))
        return false;
    const QString text = reply.mid(4).trimmed();
    if (text.startsWith(QLatin1String("[AUTH"), Qt::CaseInsensitive))
        return false;
    if (!proofSent)
        return true;
    static const QRegularExpression says(QStringLiteral("unsupported|not supported|unknown|unrecogni[sz]ed"),
                                         QRegularExpression::CaseInsensitiveOption);
    return says.match(text).hasMatch();
}

QByteArray xoauth2Message(const QString &user, const QString &accessToken)
{
    return "user=" + user.toUtf8() + "\x01" + "auth=Bearer " + accessToken.toUtf8() + "\x01\x01";
}

QByteArray oauthBearerMessage(const QString &user, const QString &host, int port, const QString &accessToken)
{
    // RFC 7628 gs2 header; "," and "=" in the name are escaped as RFC 5801 says.
    QByteArray name = user.toUtf8();
    name.replace("=", "=3D").replace(",", "=2C");
    return "n,a=" + name + ",\x01" + "host=" + host.toUtf8() + "\x01" + "port=" + QByteArray::number(port) + "\x01"
           + "auth=Bearer " + accessToken.toUtf8() + "\x01\x01";
}

} // namespace Pop3SignIn
