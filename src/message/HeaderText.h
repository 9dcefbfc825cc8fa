#pragma once
// Header text as the user should read it. Mails keep their octets as
// received (one character per octet, Latin-1); only what is shown is
// decoded:
//   - the octets are UTF-8 when they form valid UTF-8, else Latin-1;
//   - RFC 2047 encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") are
//     decoded with any charset Qt knows; encoded words separated only by
//     white space are joined without it; a word that cannot be decoded
//     (unknown charset, bad Base64 or Q text) is left as it stands.
// The stored texts (store file, login file, message file) are never passed
// through here.

#include <QByteArray>
#include <QString>

namespace HeaderText {

// Header text as the socket gives it, one character per octet: decoded from
// its octets, then from its encoded words. Text holding characters beyond
// Latin-1 is taken as already decoded from octets.
QString decode(const QString &socketText);
// The same for the octets themselves.
QString decode(const QByteArray &octets);

// Only the first step: UTF-8 when valid, else Latin-1.
QString fromOctets(const QByteArray &octets);
// Only the second step, on text already decoded from octets.
QString decodeEncodedWords(const QString &text);

} // namespace HeaderText
