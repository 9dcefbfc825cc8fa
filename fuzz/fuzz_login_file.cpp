// Reads login-file bytes and decodes passwords. Whatever the bytes, the
// fields come out as the file's first item split at blanks, or the file is
// refused whole when a field (or the decoded password) holds a control
// character; a decoded password has one character per hex pair, and every
// Latin-1 password survives encoding and decoding with a matching checksum.

#include "FuzzInput.h"

#include "base/VbHelpers.h"
#include "desktop/LoginFile.h"

#include <QList>

#include <algorithm>

namespace {

bool isHexUpper(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

bool hasControl(const QString &text)
{
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

bool fitsInField(const QString &text)
{
    for (QChar c : text)
        if (c == u' ' || c == u',' || c == u'\r' || c == u'\n')
            return false;
    return true;
}

void checkParse(const QByteArray &bytes)
{
    const LoginDetails details = ParseLoginText(bytes);
    const QString item = FirstLoginItem(bytes);
    FUZZ_CHECK(QString::fromLatin1(bytes).startsWith(item));
    FUZZ_CHECK(fitsInField(QString(item).remove(u' ')));
    FUZZ_CHECK(details.filledFields >= 0 && details.filledFields <= 4);
    FUZZ_CHECK(details.ok == (details.filledFields == 4));
    if (item.isEmpty()) {
        FUZZ_CHECK(details.filledFields == 0);
        return;
    }
    const QStringList fields = item.split(u' ');
    const QStringList used = fields.mid(0, 4) + QStringList{DecodePassword(fields.value(1))};
    const bool refused = std::any_of(used.cbegin(), used.cend(), hasControl);
    FUZZ_CHECK(refused == !details.refusedField.isEmpty());
    if (refused) {
        FUZZ_CHECK(details.filledFields == 0 && details.user.isEmpty() && details.password.isEmpty());
        return;
    }
    FUZZ_CHECK(details.filledFields == std::min<qsizetype>(fields.size(), 4));
    FUZZ_CHECK(details.user == fields.at(0));
    if (fields.size() >= 3)
        FUZZ_CHECK(details.mailServer == fields.at(2));
    if (fields.size() >= 4)
        FUZZ_CHECK(details.port == fields.at(3));
}

void checkDecode(const QString &encoded)
{
    bool matched = true;
    const QString text = DecodePassword(encoded, &matched);
    if (encoded.size() < 4) {
        FUZZ_CHECK(text.isEmpty() && !matched);
        return;
    }
    FUZZ_CHECK(text.size() == vb::RoundHalfEven((encoded.size() - 4) / 2.0));
    for (QChar c : text)
        FUZZ_CHECK(c.unicode() <= 0xFF);
    FUZZ_CHECK(DecodePassword(encoded) == text);
}

void checkRoundTrip(const QString &password)
{
    const QString encoded = EncodePassword(password);
    FUZZ_CHECK(encoded.size() == 4 + 2 * password.size());
    for (QChar c : encoded)
        FUZZ_CHECK(isHexUpper(c));
    bool matched = false;
    FUZZ_CHECK(DecodePassword(encoded, &matched) == password);
    FUZZ_CHECK(matched);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkParse(bytes);
    checkDecode(QString::fromLatin1(bytes));
    checkDecode(QString::fromUtf8(bytes));
    checkRoundTrip(QString::fromLatin1(bytes));

    // A saved line reads back field for field when user, server and port
    // hold no blank, comma or line end and no field a control character.
    const QList<QByteArray> parts = bytes.split('\x01');
    if (parts.size() >= 4) {
        const QString user = QString::fromLatin1(parts.at(0));
        const QString password = QString::fromLatin1(parts.at(1));
        const QString server = QString::fromLatin1(parts.at(2));
        const QString port = QString::fromLatin1(parts.at(3));
        if (fitsInField(user) && fitsInField(server) && fitsInField(port)
            && LoginFieldNotStorable(user, password, server, port).isEmpty()) {
            const LoginDetails details =
                ParseLoginText(FormatLoginLine(user, password, server, port).toLatin1() + "\r\n");
            FUZZ_CHECK(details.ok);
            FUZZ_CHECK(details.user == user && details.password == password);
            FUZZ_CHECK(details.mailServer == server && details.port == port);
            FUZZ_CHECK(details.checksumMatched);
        }
    }
    return 0;
}
