// Decoding header text for display: encoded words, UTF-8, Latin-1.

#include "message/HeaderText.h"

#include <QList>
#include <QStringDecoder>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - '0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - 'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - 'a' + 10;
    return -1;
}

bool decodeQ(QStringView text, QByteArray *out)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'_') {
            out->append(' ');
        } else if (c == u'=') {
            const int high = i + 2 < text.size() ? hexValue(text.at(i + 1)) : -1;
            const int low = high >= 0 ? hexValue(text.at(i + 2)) : -1;
            if (low < 0)
                return false;
            out->append(char(high * 16 + low));
            i += 2;
        } else if (c.unicode() > 0x20 && c.unicode() < 0x7f) {
            out->append(char(c.unicode()));
        } else {
            return false;
        }
    }
    return true;
}

bool decodeB(QStringView text, QByteArray *out)
{
    QByteArray base64 = text.toLatin1();
    // Padding is often left off; anything else wrong makes the word invalid.
    if (base64.size() % 4 == 1)
        return false;
    while (base64.size() % 4 != 0)
        base64.append('=');
    const auto result = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (result.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return false;
    *out = result.decoded;
    return true;
}

struct EncodedWord
{
    qsizetype begin = 0;
    qsizetype end = 0; // after "?="
    QByteArray charset;
    QByteArray octets;
};

// The valid encoded word starting at `from`, if there is one.
bool parseWord(const QString &text, qsizetype from, EncodedWord *word)
{
    if (!QStringView(text).mid(from).startsWith(QLatin1String("=?")))
        return false;
    const qsizetype charsetEnd = text.indexOf(u'?', from + 2);
    if (charsetEnd < 0 || charsetEnd == from + 2 || charsetEnd + 2 >= text.size() || text.at(charsetEnd + 2) != u'?')
        return false;
    const QChar encoding = text.at(charsetEnd + 1).toUpper();
    if (encoding != u'B' && encoding != u'Q')
        return false;
    const qsizetype textBegin = charsetEnd + 3;
    const qsizetype textEnd = text.indexOf(u'?', textBegin);
    if (textEnd < 0 || textEnd + 1 >= text.size() || text.at(textEnd + 1) != u'=')
        return false;
    QStringView charset = QStringView(text).mid(from + 2, charsetEnd - from - 2);
    for (QChar c : charset)
        if (isBlank(c) || c == u'=' || c.unicode() > 0x7e)
            return false;
    // RFC 2231 adds a language after "*".
    if (const qsizetype star = charset.indexOf(u'*'); star >= 0)
        charset = charset.left(star);
    const QStringView encoded = QStringView(text).mid(textBegin, textEnd - textBegin);
    for (QChar c : encoded)
        if (isBlank(c))
            return false;
    word->charset = charset.toLatin1();
    if (!QStringDecoder(word->charset.constData()).isValid())
        return false;
    word->octets.clear();
    if (!(encoding == u'B' ? decodeB(encoded, &word->octets) : decodeQ(encoded, &word->octets)))
        return false;
    word->begin = from;
    word->end = textEnd + 2;
    return true;
}

QString decodeOctets(const QByteArray &charset, const QByteArray &octets)
{
    QStringDecoder decoder(charset.constData());
    return decoder.decode(octets);
}

} // namespace

namespace HeaderText {

QString fromOctets(const QByteArray &octets)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(octets);
    return utf8.hasError() ? QString::fromLatin1(octets) : text;
}

QString decodeEncodedWords(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    // The pending run of adjacent words of one charset, decoded together so
    // that a character split between two words comes out whole.
    QByteArray runCharset;
    QByteArray runOctets;
    const auto flushRun = [&] {
        if (!runCharset.isEmpty())
            out += decodeOctets(runCharset, runOctets);
        runCharset.clear();
        runOctets.clear();
    };
    bool afterWord = false;
    while (pos < text.size()) {
        const qsizetype start = text.indexOf(QLatin1String("=?"), pos);
        EncodedWord word;
        qsizetype candidate = start;
        while (candidate >= 0 && !parseWord(text, candidate, &word))
            candidate = text.indexOf(QLatin1String("=?"), candidate + 1);
        if (candidate < 0) {
            flushRun();
            out += QStringView(text).mid(pos);
            break;
        }
        const QStringView between = QStringView(text).mid(pos, word.begin - pos);
        bool onlyBlanks = true;
        for (QChar c : between)
            if (!isBlank(c))
                onlyBlanks = false;
        if (!(afterWord && onlyBlanks)) {
            // Text between words, or before the first, stays as it is.
            flushRun();
            out += between;
        } else if (word.charset.compare(runCharset, Qt::CaseInsensitive) != 0) {
            flushRun();
        }
        if (runCharset.isEmpty())
            runCharset = word.charset;
        runOctets += word.octets;
        afterWord = true;
        pos = word.end;
    }
    flushRun();
    return out;
}

QString decode(const QByteArray &octets)
{
    return decodeEncodedWords(fromOctets(octets));
}

QString decode(const QString &socketText)
{
    for (QChar c : socketText)
        if (c.unicode() > 0xff)
            return decodeEncodedWords(socketText);
    return decode(socketText.toLatin1());
}

} // namespace HeaderText
