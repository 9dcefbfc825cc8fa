#pragma once
// The desktop services the windows use: file dialogs, opening documents and
// web pages, the text viewer, system facts. Tests install a recorder.

#include "desktop/SystemInfo.h"

#include <QString>
#include <QUrl>

class QWidget;

class Platform
{
public:
    virtual ~Platform() = default;

    // Empty result: the user cancelled.
    virtual QString getOpenFileName(QWidget *parent, const QString &title, const QString &folder,
                                    const QString &filter) = 0;
    virtual QString getSaveFileName(QWidget *parent, const QString &title, const QString &folder,
                                    const QString &filter) = 0;

    // Opens a file or a web page with the user's default handler.
    virtual bool openDocument(const QString &path) = 0;
    virtual bool openUrl(const QUrl &url) = 0;
    // Starts the plain-text viewer on a file; false when none started, a
    // viewer that fails at once counting as not started.
    virtual bool startTextViewer(const QString &path) = 0;
    // A mail viewer is registered for message/rfc822.
    virtual bool hasMailViewer() = 0;

    virtual OsVersionInfo osVersion() = 0;
    virtual MemoryStatus memoryStatus() = 0;
    virtual bool systemTrayAvailable() = 0;

    static Platform &current();
    // Installs an implementation (not owned); nullptr restores the system's.
    static void install(Platform *platform);
};
