// Mail numbers and ranges read from the texts of boxes, grid cells and
// listing lines, including texts that name numbers beyond any integer.

#include "mailbox/MailNumbers.h"

#include <QtTest>

#include <limits>

class TestMailNumbers : public QObject
{
    Q_OBJECT
private slots:
    void mailNumberOf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mail");
        QTest::newRow("plain") << "12" << 12;
        QTest::newRow("blanks and trailing text") << " 7 \r\n" << 7;
        QTest::newRow("no number") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("half rounds to even") << "2.5" << 2;
        QTest::newRow("beyond int") << "99999999999999999999" << std::numeric_limits<int>::max();
        QTest::newRow("far below int") << "-99999999999" << std::numeric_limits<int>::min();
    }
    void mailNumberOf()
    {
        QFETCH(QString, text);
        QFETCH(int, mail);
        QCOMPARE(mailbox::mailNumberOf(text), mail);
    }

    void readMailRange_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("till");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("expectedFrom");
        QTest::addColumn<int>("expectedTill");
        QTest::newRow("range") << "3" << "9" << true << 3 << 9;
        QTest::newRow("one mail") << "4" << "4" << true << 4 << 4;
        QTest::newRow("reversed") << "9" << "3" << false << 0 << 0;
        QTest::newRow("empty bound") << "" << "3" << false << 0 << 0;
        QTest::newRow("half typed") << "3" << "9x" << false << 0 << 0;
        QTest::newRow("fraction") << "1.5" << "3" << false << 0 << 0;
        QTest::newRow("beyond int") << "1" << "2147483648" << false << 0 << 0;
    }
    void readMailRange()
    {
        QFETCH(QString, from);
        QFETCH(QString, till);
        QFETCH(bool, valid);
        QFETCH(int, expectedFrom);
        QFETCH(int, expectedTill);
        int lower = 0;
        int upper = 0;
        QCOMPARE(mailbox::readMailRange(from, till, &lower, &upper), valid);
        QCOMPARE(lower, expectedFrom);
        QCOMPARE(upper, expectedTill);
    }
};

QTEST_GUILESS_MAIN(TestMailNumbers)
#include "test_mail_numbers.moc"
