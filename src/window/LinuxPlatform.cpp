// The desktop services of a Linux desktop: Qt's file dialogs, xdg-open and
// the desktop's default applications, /proc for memory figures.

#include "window/Platform.h"

#include "desktop/DesktopEntry.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QSystemTrayIcon>

#include <unistd.h>

namespace {

// Graphical editors that open a file given as their one argument.
const char *const KnownTextEditors[] = {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad",
                                        "pluma", "xed", "featherpad", "leafpad", "geany", "xedit"};
const char *const KnownTerminals[] = {"x-terminal-emulator", "xterm"};

QString findProgram(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

QString firstTerminal()
{
    for (const char *name : KnownTerminals)
        if (const QString program = findProgram(name); !program.isEmpty())
            return program;
    return QString();
}

// The desktop file id `xdg-mime` names as the default for a type.
QString defaultApplicationId(const QString &mimeType)
{
    const QString xdgMime = findProgram("xdg-mime");
    if (xdgMime.isEmpty())
        return QString();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return QString();
    }
    const QString answer = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    return answer.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(';'), 0, 0).trimmed();
}

QString locateDesktopFile(const QString &id)
{
    for (const QString &name : DesktopFileCandidates(id)) {
        const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

// The desktop's default application for plain text, ready to open `path`;
// a terminal application runs in a terminal. Empty when there is none.
QStringList defaultTextViewerCommand(const QString &path)
{
    const QString id = defaultApplicationId(QStringLiteral("text/plain"));
    const QString entryPath = id.isEmpty() ? QString() : locateDesktopFile(id);
    if (entryPath.isEmpty())
        return {};
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const DesktopEntry entry = ParseDesktopEntry(file.read(1024 * 1024));
    if (entry.hidden || (!entry.tryExec.isEmpty() && QStandardPaths::findExecutable(entry.tryExec).isEmpty()))
        return {};
    const QStringList command = DesktopEntryCommand(entry, path, entryPath);
    if (command.isEmpty() || !entry.terminal)
        return command;
    const QString terminal = firstTerminal();
    if (terminal.isEmpty())
        return {};
    return QStringList{terminal, QStringLiteral("-e")} + command;
}

// A viewer that fails does so at once: it cannot open the display, or the
// file, or is no viewer at all. One that is still running after this long,
// or has ended without a failure (handing the file to a running instance),
// has shown the file.
constexpr int ViewerFailsWithinMs = 500;

// Started as a detached program would be, in a session of its own and
// outliving the window; the object that reaps it goes when it ends.
bool startViewer(const QStringList &command)
{
    auto *viewer = new QProcess;
    viewer->setProgram(command.first());
    viewer->setArguments(command.mid(1));
    viewer->setStandardInputFile(QProcess::nullDevice());
    viewer->setProcessChannelMode(QProcess::ForwardedChannels);
    viewer->setChildProcessModifier([] { ::setsid(); });
    viewer->start();
    if (!viewer->waitForStarted()) {
        delete viewer;
        return false;
    }
    if (viewer->waitForFinished(ViewerFailsWithinMs)) {
        const bool shown = viewer->exitStatus() == QProcess::NormalExit && viewer->exitCode() == 0;
        delete viewer;
        return shown;
    }
    QObject::connect(viewer, &QProcess::finished, viewer, &QObject::deleteLater);
    return true;
}

// In the order they are tried: the desktop's default for plain text, the
// known editors on the PATH, a pager in a terminal.
QList<QStringList> textViewerCommands(const QString &path)
{
    QList<QStringList> commands;
    if (const QStringList command = defaultTextViewerCommand(path); !command.isEmpty())
        commands << command;
    for (const char *editor : KnownTextEditors)
        if (const QString program = findProgram(editor); !program.isEmpty())
            commands << QStringList{program, path};
    const QString terminal = firstTerminal();
    const QString pager = findProgram("less");
    if (!terminal.isEmpty() && !pager.isEmpty())
        commands << QStringList{terminal, QStringLiteral("-e"), pager, path};
    return commands;
}

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
        // Never the generic opener: it would look up the handler of the
        // mail's own type, the one just found missing, and show nothing.
        // Argument lists, never a shell line: the path cannot run anything.
        // One that fails at once counts as not started; the next is tried.
        for (const QStringList &command : textViewerCommands(path))
            if (startViewer(command))
                return true;
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
