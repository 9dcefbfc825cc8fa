// Reading challenges and computing answers to them.

#include "httpmail/HttpAuthentication.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QUrl>

namespace HttpAuthentication {

namespace {

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
           || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n';
}

// A cursor over the header value.
struct Reader
{
    const QByteArray &text;
    qsizetype pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    void skipBlanks()
    {
        while (!atEnd() && (text.at(pos) == ' ' || text.at(pos) == '\t'))
            ++pos;
    }
    void skipSeparators()
    {
        while (!atEnd() && isSeparator(text.at(pos)))
            ++pos;
    }
    QByteArray token()
    {
        const qsizetype start = pos;
        while (!atEnd() && isTokenChar(text.at(pos)))
            ++pos;
        return text.mid(start, pos - start);
    }
    // A quoted string (backslash escapes undone) or a token; false when the
    // quote never ends.
    bool value(QByteArray *out)
    {
        if (atEnd() || text.at(pos) != '"') {
            *out = token();
            return true;
        }
        ++pos;
        out->clear();
        while (!atEnd() && text.at(pos) != '"') {
            if (text.at(pos) == '\\' && pos + 1 < text.size())
                ++pos;
            out->append(text.at(pos++));
        }
        if (atEnd())
            return false;
        ++pos;
        return true;
    }
};

QByteArray hashHex(const QByteArray &algorithm, const QByteArray &data)
{
    const auto kind = algorithm.startsWith("sha-256") ? QCryptographicHash::Sha256 : QCryptographicHash::Md5;
    return QCryptographicHash::hash(data, kind).toHex();
}

QByteArray quoted(const QByteArray &value)
{
    QByteArray escaped = value;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

// The last two labels of a host name; an address stands for itself.
QString domainOf(const QString &host)
{
    if (!QHostAddress(host).isNull())
        return host;
    const QStringList labels = host.split(u'.', Qt::SkipEmptyParts);
    return labels.size() <= 2 ? host : labels.mid(labels.size() - 2).join(u'.');
}

} // namespace

QList<Challenge> parseChallenges(const QByteArray &header)
{
    QList<Challenge> challenges;
    Reader in{header};
    while (true) {
        in.skipSeparators();
        if (in.atEnd())
            break;
        const QByteArray name = in.token();
        if (name.isEmpty())
            break; // not a token: nothing sensible follows
        in.skipBlanks();
        if (!in.atEnd() && in.text.at(in.pos) == '=' && !challenges.isEmpty()) {
            ++in.pos;
            in.skipBlanks();
            QByteArray value;
            if (!in.value(&value))
                break;
            challenges.last().params.insert(name.toLower(), value);
            continue;
        }
        // A token68 (Basic's old form) after the scheme is skipped.
        challenges.append(Challenge{name.toLower(), {}});
    }
    return challenges;
}

bool isServiceHost(const QUrl &url, const QUrl &service)
{
    const QString host = url.host().toLower();
    const QString own = service.host().toLower();
    if (host.isEmpty() || own.isEmpty())
        return false;
    if (host == own)
        return true;
    const QString domain = domainOf(own);
    return domain != own && (host == domain || host.endsWith(u'.' + domain));
}

bool readDigest(const Challenge &challenge, DigestState *state)
{
    if (challenge.scheme != "digest" || !challenge.params.contains("nonce"))
        return false;
    const QByteArray algorithm = challenge.params.value("algorithm").toLower();
    static const QList<QByteArray> known = {"", "md5", "md5-sess", "sha-256", "sha-256-sess"};
    if (!known.contains(algorithm))
        return false;
    bool qopAuth = false;
    const QByteArray qop = challenge.params.value("qop");
    if (!qop.isEmpty()) {
        for (const QByteArray &option : qop.split(','))
            qopAuth = qopAuth || option.trimmed().toLower() == "auth";
        if (!qopAuth)
            return false; // auth-int only
    }
    *state = DigestState{challenge.params.value("realm"), challenge.params.value("nonce"),
                         challenge.params.value("opaque"), challenge.params.value("algorithm"), qopAuth, 0};
    return true;
}

QByteArray digestAuthorization(DigestState &state, const QString &user, const QString &password,
                               const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce)
{
    const QByteArray algorithm = state.algorithm.toLower();
    const QByteArray nc = QByteArray::number(++state.nonceCount, 16).rightJustified(8, '0');
    QByteArray ha1 = hashHex(algorithm, user.toUtf8() + ':' + state.realm + ':' + password.toUtf8());
    if (algorithm.endsWith("-sess"))
        ha1 = hashHex(algorithm, ha1 + ':' + state.nonce + ':' + cnonce);
    const QByteArray ha2 = hashHex(algorithm, method + ':' + uri);
    const QByteArray response = state.qopAuth
                                    ? hashHex(algorithm, ha1 + ':' + state.nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2)
                                    : hashHex(algorithm, ha1 + ':' + state.nonce + ':' + ha2);
    QByteArray value = "Digest username=" + quoted(user.toUtf8()) + ", realm=" + quoted(state.realm)
                       + ", nonce=" + quoted(state.nonce) + ", uri=" + quoted(uri) + ", response=" + quoted(response);
    if (!state.algorithm.isEmpty())
        value += ", algorithm=" + state.algorithm;
    if (!state.opaque.isEmpty())
        value += ", opaque=" + quoted(state.opaque);
    if (state.qopAuth)
        value += ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce);
    return value;
}

QByteArray basicAuthorization(const QString &user, const QString &password)
{
    return "Basic " + (user.toUtf8() + ':' + password.toUtf8()).toBase64();
}

QByteArray requestTarget(const QUrl &url)
{
    // As Qt writes its request line.
    QUrl copy = url;
    QUrl::FormattingOptions format = QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment
                                     | QUrl::RemoveUserInfo | QUrl::FullyEncoded;
    if (copy.path().isEmpty())
        copy.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;
    return copy.toEncoded(format);
}

} // namespace HttpAuthentication
