#pragma once
// Header date texts and date values. A date value is a number of days since
// 30 December 1899 00:00:00 with the time of day as fraction; 0 is the zero
// date that stands for "no date".

#include <QDateTime>
#include <QString>

// True when the text is empty once NUL characters are dropped and spaces are
// trimmed at both ends (a tab is not blank).
bool IsBlank(const QString &text);

// 1 to 12 for "jan" .. "dec" in any letter case, 0 for anything else.
int MonthFromName(const QString &name);

// The date value of an RFC 822 date text read by fixed positions; the zone is
// ignored. Out-of-range fields carry over; a field that is no number gives 0.
double ParseMailDate(const QString &text);

namespace MailDate {

constexpr double ZeroDate = 0.0;

// The text without spaces at either end; tabs, CR and LF are kept.
QString trimSpaces(const QString &text);

// Days from 30 December 1899 to year/month/day, with carry: month 0 is December
// of the year before, day 0 the last day of the month before, and so on. Years
// 0 to 29 mean 2000 to 2029, 30 to 99 mean 1930 to 1999. False when the date
// lies outside 1 January 100 .. 31 December 9999.
bool dateSerial(int year, int month, int day, double *out);

// The fraction of a day of hour:minute:second; values beyond their range carry
// (25:00:00 is 1 + 1/24).
double timeSerial(int hour, int minute, int second);

// True when a date value lies within 1 January 100 .. 31 December 9999 23:59:59.
bool isValidDateValue(double value);

// The date value of a clock time; only the date and time fields are used.
double fromDateTime(const QDateTime &dateTime);

// The clock time of a date value, to the nearest second, in the given zone
// (local time unless told otherwise); invalid when the value is out of range.
QDateTime toDateTime(double value, Qt::TimeSpec spec = Qt::LocalTime);

// The current local clock time as a date value, to the second.
double now();

} // namespace MailDate
