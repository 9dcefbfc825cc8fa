#include "desktop/Platform.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QSystemTrayIcon>

namespace {

class LinuxPlatform : public Platform
{
public:
    QString getOpenFileName(QWidget *parent, const QString &title, const QString &folder,
                            const QString &filter) override
    {
        return QFileDialog::getOpenFileName(parent, title, folder, filter);
    }

    QString getSaveFileName(QWidget *parent, const QString &title, const QString &folder,
                            const QString &filter) override
    {
        // The window asks the overwrite question itself, for the name it
        // really writes (it may add ".mvl"), so the dialog must not ask too.
        return QFileDialog::getSaveFileName(parent, title, folder, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    }

    bool openDocument(const QString &path) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }

    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }

    bool startTextViewer(const QString &path) override
    {
        // An argument list, never a shell line: the path cannot run anything.
        for (const char *candidate : {"xdg-open", "gedit", "mousepad", "kate", "xterm"}) {
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(candidate));
            if (program.isEmpty())
                continue;
            QStringList args;
            if (QLatin1String(candidate) == QLatin1String("xterm"))
                args << QStringLiteral("-e") << QStringLiteral("less") << path;
            else
                args << path;
            if (QProcess::startDetached(program, args))
                return true;
        }
        return false;
    }

    bool hasMailViewer() override
    {
        const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (xdgMime.isEmpty())
            return false;
        QProcess query;
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                              QStringLiteral("message/rfc822")});
        if (!query.waitForFinished(5000))
            return false;
        return !query.readAllStandardOutput().trimmed().isEmpty();
    }

    OsVersionInfo osVersion() override
    {
        OsVersionInfo info;
        info.ok = true;
        info.platformId = OsVersionInfo::Other;
        info.otherName = QSysInfo::prettyProductName() + QStringLiteral(" (kernel ")
                         + QSysInfo::kernelVersion() + QStringLiteral(")");
        return info;
    }

    MemoryStatus memoryStatus() override
    {
        MemoryStatus status;
        QFile meminfo(QStringLiteral("/proc/meminfo"));
        if (!meminfo.open(QIODevice::ReadOnly))
            return status;
        quint64 total = 0, available = 0;
        for (const QByteArray &line : meminfo.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() < 2)
                continue;
            const quint64 kib = parts[1].toULongLong();
            if (parts[0] == "MemTotal:")
                total = kib * 1024;
            else if (parts[0] == "MemAvailable:")
                available = kib * 1024;
        }
        if (total == 0)
            return status;
        status.ok = true;
        status.totalPhys = total;
        status.availPhys = available;
        status.memoryLoad = quint32((total - qMin(available, total)) * 100 / total);
        return status;
    }

    bool systemTrayAvailable() override { return QSystemTrayIcon::isSystemTrayAvailable(); }
};

LinuxPlatform &systemPlatform()
{
    static LinuxPlatform platform;
    return platform;
}

Platform *installed = nullptr;

} // namespace

Platform &Platform::current()
{
    return installed ? *installed : systemPlatform();
}

void Platform::install(Platform *platform)
{
    installed = platform;
}
