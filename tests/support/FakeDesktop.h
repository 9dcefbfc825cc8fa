#pragma once
// A desktop of the test's own making, for the real Linux platform: a PATH
// that holds only the tools `xdg-mime` needs and the programs the test puts
// there, and XDG data and config folders of its own. Every program the test
// adds is a small script that writes its arguments, one per line, to a file
// the test reads back. The environment is restored when it goes.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

class FakeDesktop
{
public:
    FakeDesktop()
    {
        const QDir root(m_dir.path());
        for (const char *folder : {"bin", "data/applications", "system-data", "config", "system-config"})
            root.mkpath(QString::fromLatin1(folder));
        // The real xdg-mime and what it runs; nothing else of the system.
        for (const char *tool : {"xdg-mime", "sed", "grep", "cut", "head", "tr", "cat", "awk", "basename",
                                 "dirname", "readlink", "which", "uname"}) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(tool));
            if (found.isEmpty())
                m_missingTools << QString::fromLatin1(tool);
            else
                QFile::link(found, bin(QString::fromLatin1(tool)));
        }
        set("PATH", root.filePath(QStringLiteral("bin")));
        set("XDG_DATA_HOME", root.filePath(QStringLiteral("data")));
        set("XDG_DATA_DIRS", root.filePath(QStringLiteral("system-data")));
        set("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")));
        set("XDG_CONFIG_DIRS", root.filePath(QStringLiteral("system-config")));
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID", "XDG_MENU_PREFIX", "BROWSER"})
            set(name, QString(), false);
    }

    ~FakeDesktop()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->second.isNull())
                qunsetenv(it->first.constData());
            else
                qputenv(it->first.constData(), it->second);
        }
    }

    FakeDesktop(const FakeDesktop &) = delete;
    FakeDesktop &operator=(const FakeDesktop &) = delete;

    // Tools of the system the fake desktop could not borrow.
    QStringList missingTools() const { return m_missingTools; }

    // A program on the PATH that records how it was started, then runs the
    // shell lines `afterwards` (e.g. "exit 1": an editor that fails).
    QString addProgram(const QString &name, const QByteArray &afterwards = QByteArray())
    {
        const QString path = bin(name);
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return QString();
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(argumentsFile(name)) + "'\n"
                     + afterwards + "\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    // A desktop entry "id" with these lines in its [Desktop Entry] group,
    // listed as the default application for plain text.
    void setDefaultTextApplication(const QString &id, const QByteArray &entryLines)
    {
        QFile entry(QDir(m_dir.path()).filePath(QStringLiteral("data/applications/") + id));
        if (entry.open(QIODevice::WriteOnly))
            entry.write("[Desktop Entry]\nType=Application\nMimeType=text/plain;\n" + entryLines + "\n");
        QFile list(QDir(m_dir.path()).filePath(QStringLiteral("config/mimeapps.list")));
        if (list.open(QIODevice::WriteOnly))
            list.write("[Default Applications]\ntext/plain=" + id.toUtf8() + "\n");
    }

    // The arguments a program was started with; nothing when it never ran.
    QStringList argumentsOf(const QString &name) const
    {
        QFile file(argumentsFile(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(file.readAll());
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        return text.split(QLatin1Char('\n'));
    }

    bool wasStarted(const QString &name) const { return QFile::exists(argumentsFile(name)); }

    QString folder() const { return m_dir.path(); }

private:
    QString bin(const QString &name) const { return QDir(m_dir.path()).filePath(QStringLiteral("bin/") + name); }
    QString argumentsFile(const QString &name) const
    {
        return QDir(m_dir.path()).filePath(name + QStringLiteral(".args"));
    }

    void set(const char *name, const QString &value, bool present = true)
    {
        m_saved.append({QByteArray(name), qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()});
        if (present)
            qputenv(name, QFile::encodeName(value));
        else
            qunsetenv(name);
    }

    QTemporaryDir m_dir;
    QStringList m_missingTools;
    QList<QPair<QByteArray, QByteArray>> m_saved; // a null value: was not set
};
