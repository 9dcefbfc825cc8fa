// Decodes header text for display as the window does: octets to text (UTF-8
// when valid, else Latin-1), then RFC 2047 encoded words with any charset
// Qt knows. Input: a mode byte (bit 0: decode the words of the octets read
// as UTF-8 rather than as the socket's one character per octet), then the
// header octets.
// Checked: the octets and the socket's text of them decode alike; octets
// become their UTF-8 text or one character each; text before the first
// "=?" is kept and text without one is unchanged; no charset makes more
// than two UTF-16 units of one octet, so the output stays within twice the
// input.

#include "FuzzInput.h"

#include "message/HeaderText.h"

namespace {

void checkFromOctets(const QByteArray &octets)
{
    const QString text = HeaderText::fromOctets(octets);
    if (text == QString::fromLatin1(octets))
        return;
    // UTF-8 drops a leading byte-order mark and nothing else.
    const QByteArray back = text.toUtf8();
    FUZZ_CHECK(back == octets || "\xef\xbb\xbf" + back == octets);
}

void checkWords(const QString &text)
{
    const QString decoded = HeaderText::decodeEncodedWords(text);
    const qsizetype first = text.indexOf(QLatin1String("=?"));
    if (first < 0) {
        FUZZ_CHECK(decoded == text);
        return;
    }
    FUZZ_CHECK(decoded.startsWith(QStringView(text).left(first)));
    FUZZ_CHECK(decoded.size() <= 2 * text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf8 = in.byte() & 1;
    const QByteArray octets = in.rest();

    const QString shown = HeaderText::decode(octets);
    FUZZ_CHECK(HeaderText::decode(QString::fromLatin1(octets)) == shown);
    FUZZ_CHECK(shown.size() <= 2 * octets.size());
    checkFromOctets(octets);

    const QString text = utf8 ? QString::fromUtf8(octets) : QString::fromLatin1(octets);
    checkWords(text);
    // Text with characters beyond Latin-1 is taken as decoded already.
    bool wide = false;
    for (QChar c : text)
        wide = wide || c.unicode() > 0xff;
    if (wide)
        FUZZ_CHECK(HeaderText::decode(text) == HeaderText::decodeEncodedWords(text));
    return 0;
}
