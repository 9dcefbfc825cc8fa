// The system-information texts from version and memory records.

#include "desktop/SystemInfoText.h"

#include <QtTest>

Q_DECLARE_METATYPE(OsVersionInfo)
Q_DECLARE_METATYPE(MemoryStatus)

namespace {

OsVersionInfo windows(int family, quint32 major, quint32 minor, quint32 build,
                      const QString &servicePack = QString())
{
    OsVersionInfo info;
    info.ok = true;
    info.platformId = family;
    info.major = major;
    info.minor = minor;
    info.build = build;
    info.servicePack = servicePack;
    return info;
}

MemoryStatus memory(quint32 load, quint64 total, quint64 avail)
{
    MemoryStatus status;
    status.ok = true;
    status.memoryLoad = load;
    status.totalPhys = total;
    status.availPhys = avail;
    return status;
}

} // namespace

class TestSystemInfo : public QObject
{
    Q_OBJECT

private slots:
    void osName_data();
    void osName();
    void memoryTexts_data();
    void memoryTexts();
};

void TestSystemInfo::osName_data()
{
    QTest::addColumn<OsVersionInfo>("info");
    QTest::addColumn<QString>("name");

    const int nt = OsVersionInfo::WinNT;
    const int w9x = OsVersionInfo::Win9x;
    QTest::newRow("Windows 2000 without service pack")
        << windows(nt, 5, 0, 2195) << QStringLiteral("Windows 2000 (Version 5.0) Build 2195");
    QTest::newRow("service pack cut at its first null")
        << windows(nt, 5, 0, 2195, QStringLiteral("Service Pack 4") + QChar(0) + QStringLiteral("junk"))
        << QStringLiteral("Windows 2000 (Version 5.0) Build 2195 (Service Pack 4)");
    QTest::newRow("service pack empty before its null")
        << windows(nt, 5, 0, 2195, QString(QChar(0)) + QStringLiteral("Service Pack 4"))
        << QStringLiteral("Windows 2000 (Version 5.0) Build 2195");
    QTest::newRow("XP SP1") << windows(nt, 5, 1, 2600, QStringLiteral("Service Pack 1"))
                            << QStringLiteral("Windows XP (Version 5.1) Build 2600 (Service Pack 1)");
    QTest::newRow(".NET Server") << windows(nt, 5, 2, 3790)
                                 << QStringLiteral("Windows .NET Server (Version 5.2) Build 3790");
    QTest::newRow("unknown 5.x falls back to 2000")
        << windows(nt, 5, 3, 4000) << QStringLiteral("Windows 2000 (Version 5.3) Build 4000");
    QTest::newRow("NT 4.0 SP6") << windows(nt, 4, 0, 1381, QStringLiteral("Service Pack 6"))
                                << QStringLiteral("Windows NT 4.0 Build 1381 (Service Pack 6)");
    QTest::newRow("NT 3.51") << windows(nt, 3, 51, 1057) << QStringLiteral("Windows NT 3.51 Build 1057");
    QTest::newRow("Millenium with one n") << windows(w9x, 4, 90, 3000)
                                          << QStringLiteral("Windows Millenium");
    QTest::newRow("98") << windows(w9x, 4, 10, 1998) << QStringLiteral("Windows 98");
    QTest::newRow("95") << windows(w9x, 4, 0, 950) << QStringLiteral("Windows 95");
    QTest::newRow("9x family with minor 0 is 95 whatever the major")
        << windows(w9x, 5, 0, 1) << QStringLiteral("Windows 95");
    QTest::newRow("9x minor outside the table") << windows(w9x, 4, 3, 1) << QString();
    QTest::newRow("major 6 is empty") << windows(nt, 6, 1, 7601, QStringLiteral("Service Pack 1"))
                                      << QString();
    QTest::newRow("major 10 is empty") << windows(nt, 10, 0, 19045) << QString();

    OsVersionInfo failed = windows(nt, 5, 1, 2600);
    failed.ok = false;
    QTest::newRow("failed query") << failed << QString();

    OsVersionInfo linuxInfo;
    linuxInfo.ok = true;
    linuxInfo.platformId = OsVersionInfo::Other;
    linuxInfo.otherName = QStringLiteral("Debian GNU/Linux 12 (bookworm) (kernel 6.1.0-18-amd64)");
    QTest::newRow("Linux") << linuxInfo << linuxInfo.otherName;
    linuxInfo.ok = false;
    QTest::newRow("Linux, failed query") << linuxInfo << QString();
}

void TestSystemInfo::osName()
{
    QFETCH(OsVersionInfo, info);
    QFETCH(QString, name);
    QCOMPARE(fOSName(info), name);
}

void TestSystemInfo::memoryTexts_data()
{
    QTest::addColumn<MemoryStatus>("status");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("small") << memory(37, 536870912, 338228838)
                           << QStringList{"Percentage of RAM in use:37%", "Total RAM:536870912 bytes",
                                          "Available RAM:338228838 bytes"};
    QTest::newRow("just above 2 GiB") << memory(0, Q_UINT64_C(2147483649), Q_UINT64_C(2147483648))
                                      << QStringList{"Percentage of RAM in use:0%",
                                                     "Total RAM:2147483649 bytes",
                                                     "Available RAM:2147483648 bytes"};
    QTest::newRow("above 4 GiB") << memory(100, Q_UINT64_C(68719476736), Q_UINT64_C(4294967297))
                                 << QStringList{"Percentage of RAM in use:100%",
                                                "Total RAM:68719476736 bytes",
                                                "Available RAM:4294967297 bytes"};
    QTest::newRow("unknown status") << MemoryStatus()
                                    << QStringList{"Percentage of RAM in use:", "Total RAM:",
                                                   "Available RAM:"};
}

void TestSystemInfo::memoryTexts()
{
    QFETCH(MemoryStatus, status);
    QFETCH(QStringList, texts);
    QCOMPARE(MemoryUsedText(status), texts[0]);
    QCOMPARE(TotalMemText(status), texts[1]);
    QCOMPARE(AvailMemText(status), texts[2]);
}

QTEST_GUILESS_MAIN(TestSystemInfo)
#include "test_system_info.moc"
