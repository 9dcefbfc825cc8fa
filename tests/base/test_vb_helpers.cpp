// Number conversions and progress arithmetic the window relies on.

#include "base/ProgressMath.h"
#include "base/VbHelpers.h"

#include <QtTest>

class TestVbHelpers : public QObject
{
    Q_OBJECT
private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "42" << 42.0;
        QTest::newRow("leading blanks") << "   17" << 17.0;
        QTest::newRow("blanks inside") << "1 2 3" << 123.0;
        QTest::newRow("trailing text") << "1234\r\n" << 1234.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("decimal") << "2.5x" << 2.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("hex") << "&HFF" << 255.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("large") << "4000000000" << 4000000000.0;
        QTest::newRow("leading zeros") << "007" << 7.0;
        QTest::newRow("fifteen digits") << "123456789012345" << 123456789012345.0;
        QTest::newRow("sixteen digits") << "1234567890123456" << 1234567890123456.0;
        QTest::newRow("digits of another script") << QString::fromUtf8("\u0663") << 0.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(vb::Val(text), expected);
    }

    void colourLiterals_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<quint32>("rgb");
        QTest::newRow("blue") << "&HFF0000" << quint32(0x0000FF);
        QTest::newRow("red") << "&H0000FF" << quint32(0xFF0000);
        QTest::newRow("green") << "&H00FF00" << quint32(0x00FF00);
        QTest::newRow("pale yellow") << "&HC0FFFF" << quint32(0xFFFFC0);
        QTest::newRow("long suffix") << "&H8000000F&" << quint32(0x0F0000);
        QTest::newRow("no number is black") << "&Hxyz" << quint32(0);
    }
    void colourLiterals()
    {
        QFETCH(QString, literal);
        QFETCH(quint32, rgb);
        QCOMPARE(vb::RgbFromLiteral(literal), rgb);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("2.5") << 2.5 << qint64(2);
        QTest::newRow("3.5") << 3.5 << qint64(4);
        QTest::newRow("-2.5") << -2.5 << qint64(-2);
        QTest::newRow("2.6") << 2.6 << qint64(3);
        QTest::newRow("1234") << 1234.0 << qint64(1234);
    }
    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(qint64, expected);
        QCOMPARE(vb::RoundHalfEven(value), expected);
    }

    void wholeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("110") << "110" << true << qint64(110);
        QTest::newRow("995") << "995" << true << qint64(995);
        QTest::newRow("65535") << "65535" << true << qint64(65535);
        QTest::newRow("65536") << "65536" << false << qint64(0);
        QTest::newRow("0") << "0" << false << qint64(0);
        QTest::newRow("negative") << "-1" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("letters") << "pop" << false << qint64(0);
        QTest::newRow("fraction") << "110.5" << false << qint64(0);
        QTest::newRow("blanks around") << " 110 " << true << qint64(110);
        QTest::newRow("trailing text") << "110x" << false << qint64(0);
    }
    void wholeNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        qint64 parsed = 0;
        QCOMPARE(vb::ParseWholeNumber(text, 1, 65535, &parsed), ok);
        if (ok)
            QCOMPARE(parsed, value);
    }

    void progressPercent_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<qint64>("max");
        QTest::addColumn<int>("expected"); // -1: bar left alone
        QTest::newRow("1 of 3") << qint64(1) << qint64(3) << 33;
        QTest::newRow("1 of 8 rounds to even") << qint64(1) << qint64(8) << 12;
        QTest::newRow("3 of 8 rounds to even") << qint64(3) << qint64(8) << 38;
        QTest::newRow("all") << qint64(8) << qint64(8) << 100;
        QTest::newRow("over 100") << qint64(9) << qint64(8) << -1;
        QTest::newRow("total 0") << qint64(5) << qint64(0) << -1;
        QTest::newRow("negative total") << qint64(5) << qint64(-3) << -1;
        QTest::newRow("20 MB mail") << qint64(10'000'000) << qint64(20'000'000) << 50;
    }
    void progressPercent()
    {
        QFETCH(qint64, value);
        QFETCH(qint64, max);
        QFETCH(int, expected);
        const std::optional<int> percent = ProgressPercent(value, max);
        QCOMPARE(percent.has_value() ? *percent : -1, expected);
    }
};

QTEST_GUILESS_MAIN(TestVbHelpers)
#include "test_vb_helpers.moc"
