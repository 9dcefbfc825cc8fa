// Reading header dates into date values and writing them back as text.

#include "message/MailDate.h"

#include "base/VbHelpers.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <limits>

namespace {

const QDate &epoch()
{
    static const QDate day(1899, 12, 30);
    return day;
}

// Serial day numbers of the first and the last day a date value may name.
constexpr qint64 FirstDay = -657434; // 1 January 100
constexpr qint64 LastDay = 2958465;  // 31 December 9999

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A field as a 16-bit whole number: blanks around it, a sign, digits and a
// fraction (rounded half to even) are accepted; anything else fails.
bool fieldToInteger(const QString &field, int *out)
{
    const QString text = MailDate::trimSpaces(field);
    int i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const int digitsFrom = i;
    bool digits = false;
    while (i < text.size() && isAsciiDigit(text[i])) {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && isAsciiDigit(text[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits || i != text.size() || i - digitsFrom > 20)
        return false;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    const qint64 whole = vb::RoundHalfEven(value);
    if (whole < std::numeric_limits<qint16>::min() || whole > std::numeric_limits<qint16>::max())
        return false;
    *out = int(whole);
    return true;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Serial day of the first of a month in the proleptic Gregorian calendar
// (year 0 exists here, so any carried year can be counted).
qint64 daysFromCivil(qint64 year, int month)
{
    const qint64 y = month <= 2 ? year - 1 : year;
    const qint64 era = floorDiv(y, 400);
    const qint64 yearOfEra = y - era * 400;
    const qint64 dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 719468 days lead from 1 March of year 0 to 1 January 1970, which is day 25569.
    return era * 146097 + dayOfEra - 719468 + 25569;
}

} // namespace

bool IsBlank(const QString &text)
{
    QString rest = text;
    rest.remove(QChar(u'\0'));
    return MailDate::trimSpaces(rest).isEmpty();
}

int MonthFromName(const QString &name)
{
    static const char *const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString lower = name.toLower();
    for (int i = 0; i < 12; ++i)
        if (lower == QLatin1String(names[i]))
            return i + 1;
    return 0;
}

double ParseMailDate(const QString &text)
{
    // Every name is followed by its comma, so "mon," is found but "mond" is not.
    static const QString dayNames = QStringLiteral("mon,tue,wed,thu,fri,sat,sun,");

    QString s = text.toLower();
    if (dayNames.contains(s.left(4)))
        s = MailDate::trimSpaces(s.mid(4));

    // A one-digit day gets its leading zero so the fixed positions fit.
    const qsizetype firstSpace = s.indexOf(u' ');
    if (firstSpace < 0 || firstSpace <= 1)
        s.prepend(u'0');

    // Positions are 1-based as in the layouts they describe.
    const auto field = [&s](int position, int length) { return s.mid(position - 1, length); };
    const bool withDayName = s.contains(u',');
    const int shift = withDayName ? 5 : 0;

    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    const int month = MonthFromName(field(4 + shift, 3));
    if (!fieldToInteger(field(1 + shift, 2), &day) || !fieldToInteger(field(8 + shift, 4), &year)
        || !fieldToInteger(field(13 + shift, 2), &hour)
        || !fieldToInteger(field(16 + shift, 2), &minute)
        || !fieldToInteger(field(19 + shift, 2), &second))
        return MailDate::ZeroDate;

    double date = 0;
    if (!MailDate::dateSerial(year, month, day, &date))
        return MailDate::ZeroDate;
    const double value = date + MailDate::timeSerial(hour, minute, second);
    return MailDate::isValidDateValue(value) ? value : MailDate::ZeroDate;
}

namespace MailDate {

QString trimSpaces(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == u' ')
        ++from;
    while (to > from && text[to - 1] == u' ')
        --to;
    return text.mid(from, to - from);
}

bool dateSerial(int year, int month, int day, double *out)
{
    qint64 y = year;
    if (y >= 0 && y <= 29)
        y += 2000;
    else if (y >= 30 && y <= 99)
        y += 1900;

    const qint64 months = y * 12 + (qint64(month) - 1);
    const qint64 carriedYear = floorDiv(months, 12);
    const int carriedMonth = int(months - carriedYear * 12) + 1;
    const qint64 serial = daysFromCivil(carriedYear, carriedMonth) + (qint64(day) - 1);
    if (serial < FirstDay || serial > LastDay)
        return false;
    *out = double(serial);
    return true;
}

double timeSerial(int hour, int minute, int second)
{
    const qint64 seconds = qint64(hour) * 3600 + qint64(minute) * 60 + second;
    return double(seconds) / 86400.0;
}

bool isValidDateValue(double value)
{
    return std::isfinite(value) && value >= double(FirstDay) && value < double(LastDay + 1);
}

double fromDateTime(const QDateTime &dateTime)
{
    const QTime time = dateTime.time();
    return double(epoch().daysTo(dateTime.date()))
           + timeSerial(time.hour(), time.minute(), time.second());
}

QDateTime toDateTime(double value, Qt::TimeSpec spec)
{
    if (!isValidDateValue(value))
        return {};
    const qint64 totalSeconds = qint64(std::llround(value * 86400.0));
    const qint64 days = floorDiv(totalSeconds, 86400);
    const int seconds = int(totalSeconds - days * 86400);
    return QDateTime(epoch().addDays(days), QTime(0, 0).addSecs(seconds), spec);
}

double now()
{
    return fromDateTime(QDateTime::currentDateTime());
}

} // namespace MailDate
