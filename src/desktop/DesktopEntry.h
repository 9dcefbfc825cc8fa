#pragma once
// What a freedesktop.org desktop entry (a ".desktop" file) says about
// starting its application, and the command line that opens one file with it.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct DesktopEntry
{
    bool valid = false; // a [Desktop Entry] group with an Exec key
    QString exec;       // string escapes (\s, \n, \t, \r, \\) already resolved
    QString tryExec;
    QString name;
    QString icon;
    bool terminal = false;
    bool hidden = false;
};

DesktopEntry ParseDesktopEntry(const QByteArray &text);

// The program and its arguments that open `file` with the entry: Exec split
// by its quoting rules, the field codes expanded (%f %F %u %U give the file,
// which is appended when the line has none of them). Empty when the Exec
// line cannot be read. `entryPath` is the entry's own file, for %k.
QStringList DesktopEntryCommand(const DesktopEntry &entry, const QString &file, const QString &entryPath);

// The names under which the desktop file id `id` may lie in an
// "applications" folder: the id itself, then with its dashes standing for
// sub-folders ("kde4-kate.desktop" -> "kde4/kate.desktop").
QStringList DesktopFileCandidates(const QString &id);
