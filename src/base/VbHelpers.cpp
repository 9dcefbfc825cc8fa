// Val, rounding, whole numbers and colour literals as the program reads them.

#include "base/VbHelpers.h"

#include <cmath>
#include <limits>

namespace vb {

namespace {
bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// "&H..." or "&O...": the hexadecimal or octal digits after the prefix, up
// to the first other character or 32 bits; 0 for any other prefix.
double radixValue(const QString &compact)
{
    const QChar kind = compact[1].toUpper();
    int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
    if (base == 0)
        return 0;
    qint64 value = 0;
    int i = 2;
    for (; i < compact.size(); ++i) {
        const int digit = QString(compact[i]).toInt(nullptr, base == 16 ? 16 : 8);
        const bool ok = (base == 16 ? QStringLiteral("0123456789abcdefABCDEF")
                                    : QStringLiteral("01234567"))
                            .contains(compact[i]);
        if (!ok)
            break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL)
            break;
    }
    return double(value);
}

// Moves the ASCII digits from *pos on to the end of *out; true when there
// was at least one.
bool takeDigits(const QString &text, int *pos, QString *out)
{
    const int start = *pos;
    while (*pos < text.size() && text[*pos].isDigit() && text[*pos].unicode() < 128)
        out->append(text[(*pos)++]);
    return *pos > start;
}
}

double Val(const QString &text)
{
    // Most text read is a plain whole number (mail numbers, sizes); up to 15
    // digits are exact in a double, so no string needs to be built for it.
    if (!text.isEmpty() && text.size() <= 15) {
        qint64 whole = 0;
        bool plain = true;
        for (QChar c : text) {
            plain = c >= u'0' && c <= u'9';
            if (!plain)
                break;
            whole = whole * 10 + (c.unicode() - u'0');
        }
        if (plain)
            return double(whole);
    }
    // Blanks inside the number are skipped too, as the original conversion does.
    QString compact;
    compact.reserve(text.size());
    for (QChar c : text)
        if (!isBlank(c))
            compact.append(c);
    if (compact.size() >= 2 && compact[0] == u'&')
        return radixValue(compact);

    int i = 0;
    QString number;
    if (i < compact.size() && (compact[i] == u'+' || compact[i] == u'-'))
        number.append(compact[i++]);
    bool digits = takeDigits(compact, &i, &number);
    if (i < compact.size() && compact[i] == u'.') {
        number.append(compact[i++]);
        digits = takeDigits(compact, &i, &number) || digits;
    }
    if (!digits)
        return 0;
    if (i < compact.size() && (compact[i] == u'e' || compact[i] == u'E' || compact[i] == u'd' || compact[i] == u'D')) {
        QString exponent = QStringLiteral("e");
        int j = i + 1;
        if (j < compact.size() && (compact[j] == u'+' || compact[j] == u'-'))
            exponent.append(compact[j++]);
        if (takeDigits(compact, &j, &exponent))
            number.append(exponent);
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

qint64 RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    // Beyond the range the conversion is undefined; the nearest end is meant.
    const double rounded = std::nearbyint(value); // default rounding mode is to-nearest-even
    if (rounded >= 9223372036854775808.0)
        return std::numeric_limits<qint64>::max();
    if (rounded < -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(rounded);
}

QString RTrimBlanks(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

bool ParseWholeNumber(const QString &text, qint64 minimum, qint64 maximum, qint64 *out)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        const bool sign = i == 0 && (c == u'+' || c == u'-');
        if (!sign && !(c >= u'0' && c <= u'9'))
            return false;
    }
    bool ok = false;
    const qint64 value = t.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return false;
    if (out)
        *out = value;
    return true;
}

quint32 RgbFromLiteral(const QString &literal)
{
    QString hex = literal.trimmed();
    if (hex.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
        hex = hex.mid(2);
    if (hex.endsWith(u'&'))
        hex.chop(1);
    bool ok = false;
    const uint bgr = hex.toUInt(&ok, 16);
    if (!ok)
        return 0;
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

} // namespace vb
