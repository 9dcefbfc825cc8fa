// Header date texts to date values, and the date-serial arithmetic under them.

#include "message/MailDate.h"

#include <QtTest>

#include <cmath>

namespace {

// Clock text of a date value, read back without any zone shift.
QString clockText(double value)
{
    return MailDate::toDateTime(value, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

const QString Zero = QStringLiteral("1899-12-30 00:00:00");

} // namespace

class TestMailDates : public QObject
{
    Q_OBJECT

private slots:
    void parseMailDate_data();
    void parseMailDate();
    void failedParseIsExactlyZero_data();
    void failedParseIsExactlyZero();
    void parsedValueIsDaysPlusFraction();
    void isBlank_data();
    void isBlank();
    void monthFromName_data();
    void monthFromName();
    void dateSerial_data();
    void dateSerial();
    void dateValueToDateTime_data();
    void dateValueToDateTime();
};

void TestMailDates::parseMailDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // Day name rule and the two layouts.
    QTest::newRow("day name, one-digit day") << "Mon, 1 Jan 2004 10:00:00 +0000" << "2004-01-01 10:00:00";
    QTest::newRow("zone ignored") << "Mon, 01 Jan 2004 10:00:00 -0800" << "2004-01-01 10:00:00";
    QTest::newRow("no day name, one-digit day") << "1 Jan 2004 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("no day name, two-digit day") << "07 Mar 2004 23:59:59" << "2004-03-07 23:59:59";
    QTest::newRow("day name without blank after comma") << "Sun,7 Mar 2004 23:59:59 GMT" << "2004-03-07 23:59:59";
    QTest::newRow("day name, extra blanks") << "Sat,   6 Mar 2004 08:15:30" << "2004-03-06 08:15:30";
    QTest::newRow("upper-case month") << "01 JAN 2004 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("unknown day name keeps comma layout") << "Xyz, 01 Jan 2004 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("comment with comma after zone") << "Mon, 01 Jan 2004 10:00:00 +0000 (PST, x)" << Zero;
    QTest::newRow("day name without comma") << "Mon 01 Jan 2004 10:00:00" << Zero;
    QTest::newRow("long day name") << "Monday, 01 Jan 2004 10:00:00" << Zero;
    QTest::newRow("no blank, one-digit day") << "1-Jan-2004-10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("no blank, two-digit day") << "01-Jan-2004-10:00:00" << Zero;
    QTest::newRow("blank-padded hour") << "01 Jan 2004  9:05:00" << "2004-01-01 09:05:00";

    // Fields that do not convert.
    QTest::newRow("two-digit year") << "01 Jan 04 10:00:00" << Zero;
    QTest::newRow("one-digit hour") << "01 Jan 2004 9:05:00" << Zero;
    QTest::newRow("no seconds") << "01 Jan 2004 10:00" << Zero;
    QTest::newRow("day only") << "Mon, 1" << Zero;
    QTest::newRow("empty") << "" << Zero;
    QTest::newRow("words") << "yesterday at noon" << Zero;

    // Carries, as the date-serial arithmetic does them.
    QTest::newRow("unknown month is December before") << "01 Foo 2004 10:00:00" << "2003-12-01 10:00:00";
    QTest::newRow("30 Feb of a leap year") << "Tue, 30 Feb 2004 10:00:00" << "2004-03-01 10:00:00";
    QTest::newRow("29 Feb of a common year") << "29 Feb 2003 10:00:00" << "2003-03-01 10:00:00";
    QTest::newRow("day 0") << "00 Jan 2004 10:00:00" << "2003-12-31 10:00:00";
    QTest::newRow("negative day") << "-1 Jan 2004 10:00:00" << "2003-12-30 10:00:00";
    QTest::newRow("hour 24 into next year") << "31 Dec 2003 24:00:00" << "2004-01-01 00:00:00";
    QTest::newRow("minute 60") << "01 Jan 2004 10:60:00" << "2004-01-01 11:00:00";
    QTest::newRow("second 99 into next day") << "31 Dec 2003 23:59:99" << "2004-01-01 00:00:39";

    // Year window and the limits of the date range.
    QTest::newRow("year 0") << "15 Jan 0000 10:00:00" << "2000-01-15 10:00:00";
    QTest::newRow("year 29") << "15 Jan 0029 10:00:00" << "2029-01-15 10:00:00";
    QTest::newRow("year 30") << "15 Jan 0030 10:00:00" << "1930-01-15 10:00:00";
    QTest::newRow("year 99") << "15 Jan 0099 10:00:00" << "1999-01-15 10:00:00";
    QTest::newRow("windowed year, day 0") << "00 Jan 0000 00:00:00" << "1999-12-31 00:00:00";
    QTest::newRow("year 100 is not windowed") << "15 Jan 0100 10:00:00" << "0100-01-15 10:00:00";
    QTest::newRow("before year 100") << "00 Jan 0100 10:00:00" << Zero;
    QTest::newRow("last day") << "31 Dec 9999 23:59:59" << "9999-12-31 23:59:59";
    QTest::newRow("past last day") << "32 Dec 9999 10:00:00" << Zero;
    QTest::newRow("time past last day") << "31 Dec 9999 24:00:00" << Zero;
    QTest::newRow("before 1899") << "01 Jan 1850 06:00:00" << "1850-01-01 06:00:00";
}

void TestMailDates::parseMailDate()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(clockText(ParseMailDate(text)), expected);
}

void TestMailDates::failedParseIsExactlyZero_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("two-digit year") << "01 Jan 04 10:00:00";
    QTest::newRow("past last day") << "32 Dec 9999 10:00:00";
}

void TestMailDates::failedParseIsExactlyZero()
{
    QFETCH(QString, text);
    const double value = ParseMailDate(text);
    QVERIFY2(value == MailDate::ZeroDate, qPrintable(QString::number(value, 'g', 17)));
}

void TestMailDates::parsedValueIsDaysPlusFraction()
{
    // 1 August 2004 is day 38200; noon is half a day.
    QCOMPARE(ParseMailDate(QStringLiteral("Sun, 1 Aug 2004 12:00:00 +0200")), 38200.5);
    QCOMPARE(ParseMailDate(QStringLiteral("30 Dec 1899 00:00:01")), 1.0 / 86400.0);
    QCOMPARE(ParseMailDate(QStringLiteral("01 Jan 1900 18:00:00")), 2.75);
}

void TestMailDates::isBlank_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("spaces") << "    " << true;
    QTest::newRow("NULs and spaces") << QString::fromLatin1(" \0\0 \0", 5) << true;
    QTest::newRow("tab") << "\t" << false;
    QTest::newRow("CR LF") << "\r\n" << false;
    QTest::newRow("word in spaces") << "  a  " << false;
    QTest::newRow("word between NULs") << QString::fromLatin1("\0x\0", 3) << false;
}

void TestMailDates::isBlank()
{
    QFETCH(QString, text);
    QFETCH(bool, blank);
    QCOMPARE(IsBlank(text), blank);
}

void TestMailDates::monthFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("month");
    QTest::newRow("jan") << "jan" << 1;
    QTest::newRow("Feb") << "Feb" << 2;
    QTest::newRow("MAY") << "MAY" << 5;
    QTest::newRow("sep") << "sep" << 9;
    QTest::newRow("dec") << "dec" << 12;
    QTest::newRow("full name") << "january" << 0;
    QTest::newRow("leading blank") << " jan" << 0;
    QTest::newRow("sept") << "sept" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestMailDates::monthFromName()
{
    QFETCH(QString, name);
    QFETCH(int, month);
    QCOMPARE(MonthFromName(name), month);
}

void TestMailDates::dateSerial_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("serial");

    QTest::newRow("epoch") << 1899 << 12 << 30 << true << 0.0;
    QTest::newRow("1 Jan 1900") << 1900 << 1 << 1 << true << 2.0;
    QTest::newRow("1 Aug 2004") << 2004 << 8 << 1 << true << 38200.0;
    QTest::newRow("month 13") << 2003 << 13 << 1 << true << 37987.0;   // 1 Jan 2004
    QTest::newRow("month 0") << 2004 << 0 << 1 << true << 37956.0;     // 1 Dec 2003
    QTest::newRow("month -1") << 2004 << -1 << 1 << true << 37926.0;   // 1 Nov 2003
    QTest::newRow("day 0") << 2004 << 1 << 0 << true << 37986.0;       // 31 Dec 2003
    QTest::newRow("day 400") << 2004 << 1 << 400 << true << 38386.0;   // 3 Feb 2005
    QTest::newRow("windowed 4") << 4 << 8 << 1 << true << 38200.0;
    QTest::newRow("windowed 99, month 13") << 99 << 13 << 1 << true << 36526.0; // 1 Jan 2000
    QTest::newRow("before 1899") << 1899 << 12 << 29 << true << -1.0;
    QTest::newRow("first day") << 100 << 1 << 1 << true << -657434.0;
    QTest::newRow("last day") << 9999 << 12 << 31 << true << 2958465.0;
    QTest::newRow("before first day") << 100 << 1 << 0 << false << 0.0;
    QTest::newRow("after last day") << 9999 << 12 << 32 << false << 0.0;
    QTest::newRow("negative year") << -1 << 1 << 1 << false << 0.0;
    QTest::newRow("far year carried back") << 10000 << 1 << -30 << true << 2958435.0; // 1 Dec 9999
}

void TestMailDates::dateSerial()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(bool, valid);
    QFETCH(double, serial);

    double out = -12345;
    QCOMPARE(MailDate::dateSerial(year, month, day, &out), valid);
    if (valid)
        QCOMPARE(out, serial);
    else
        QCOMPARE(out, -12345.0);
}

void TestMailDates::dateValueToDateTime_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("clock");
    QTest::newRow("noon 1 Aug 2004") << 38200.5 << "2004-08-01 12:00:00";
    QTest::newRow("zero date") << 0.0 << "1899-12-30 00:00:00";
    QTest::newRow("before 1899 counts on") << -0.75 << "1899-12-29 06:00:00";
    QTest::newRow("rounded to the second") << 38200.0 + 0.4 / 86400.0 << "2004-08-01 00:00:00";
    QTest::newRow("rounded up into next day") << 38200.0 + 86399.6 / 86400.0 << "2004-08-02 00:00:00";
    QTest::newRow("out of range") << 3.0e6 << "";
    QTest::newRow("not a number") << std::nan("") << "";
}

void TestMailDates::dateValueToDateTime()
{
    QFETCH(double, value);
    QFETCH(QString, clock);
    QCOMPARE(clockText(value), clock);
    if (!clock.isEmpty()) {
        const QDateTime local = MailDate::toDateTime(value);
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
        QCOMPARE(MailDate::fromDateTime(MailDate::toDateTime(value, Qt::UTC)),
                 std::round(value * 86400.0) / 86400.0);
    }
}

QTEST_GUILESS_MAIN(TestMailDates)
#include "test_mail_dates.moc"
