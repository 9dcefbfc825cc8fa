// The system-information texts made from the version and memory records.

#include "desktop/SystemInfoText.h"

namespace {

QString servicePackSuffix(const QString &servicePack)
{
    // The system hands over a fixed buffer; what follows its first null is noise.
    const qsizetype nul = servicePack.indexOf(QChar(0));
    const QString text = nul >= 0 ? servicePack.left(nul) : servicePack;
    if (text.isEmpty())
        return QString();
    return QStringLiteral(" (") + text + QLatin1Char(')');
}

QString number(quint64 value)
{
    return QString::number(value);
}

QString ntFiveName(const QString &product, const OsVersionInfo &info)
{
    return product + QStringLiteral(" (Version 5.") + number(info.minor) + QStringLiteral(") Build ")
           + number(info.build) + servicePackSuffix(info.servicePack);
}

} // namespace

QString fOSName(const OsVersionInfo &info)
{
    if (!info.ok)
        return QString();
    if (info.platformId == OsVersionInfo::Other)
        return info.otherName;

    const bool nt = info.platformId == OsVersionInfo::WinNT;
    const bool win9x = info.platformId == OsVersionInfo::Win9x;
    // Later rules overwrite earlier ones, as the table is read top to bottom.
    QString name;
    if (nt && info.major == 5)
        name = ntFiveName(QStringLiteral("Windows 2000"), info);
    if (nt && info.major == 5 && info.minor == 1)
        name = ntFiveName(QStringLiteral("Windows XP"), info);
    if (nt && info.major == 5 && info.minor == 2)
        name = ntFiveName(QStringLiteral("Windows .NET Server"), info);
    if (win9x && info.major == 4 && info.minor == 90)
        name = QStringLiteral("Windows Millenium");
    if (win9x && info.major == 4 && info.minor == 10)
        name = QStringLiteral("Windows 98");
    if (win9x && info.minor == 0)
        name = QStringLiteral("Windows 95");
    if (nt && info.major <= 4)
        name = QStringLiteral("Windows NT ") + number(info.major) + QLatin1Char('.')
               + number(info.minor) + QStringLiteral(" Build ") + number(info.build)
               + servicePackSuffix(info.servicePack);
    return name;
}

QString MemoryUsedText(const MemoryStatus &status)
{
    const QString label = QStringLiteral("Percentage of RAM in use:");
    return status.ok ? label + number(status.memoryLoad) + QLatin1Char('%') : label;
}

QString TotalMemText(const MemoryStatus &status)
{
    const QString label = QStringLiteral("Total RAM:");
    return status.ok ? label + number(status.totalPhys) + QStringLiteral(" bytes") : label;
}

QString AvailMemText(const MemoryStatus &status)
{
    const QString label = QStringLiteral("Available RAM:");
    return status.ok ? label + number(status.availPhys) + QStringLiteral(" bytes") : label;
}
