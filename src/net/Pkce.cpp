// Code verifiers, challenges and states.

#include "net/Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <vector>

namespace Pkce {

namespace {

QByteArray base64Url(const QByteArray &octets)
{
    return octets.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

QByteArray randomText(int octets)
{
    std::vector<quint32> words((octets + 3) / 4);
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return base64Url(QByteArray(reinterpret_cast<const char *>(words.data()), octets));
}

QByteArray newVerifier()
{
    return randomText(32);
}

QByteArray challenge(const QByteArray &verifier)
{
    return base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
}

} // namespace Pkce
