// Reading the Exec line of a desktop entry and filling in its field codes.

#include "desktop/DesktopEntry.h"

#include <QList>

namespace {

// The general escapes of string values; any other backslash stays, for the
// Exec quoting rule that is applied afterwards.
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        switch (value.at(i + 1).unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case '\\': out += QLatin1Char('\\'); break;
        default: out += c; continue; // keep the backslash, read the next char normally
        }
        ++i;
    }
    return out;
}

bool isTrue(const QString &value)
{
    return value.trimmed() == QLatin1String("true");
}

struct ExecArgument
{
    QString text;
    bool quoted = false;
};

// Splits at blanks; a double-quoted argument keeps its blanks, and inside it
// a backslash escapes ", `, $ and itself. False for an unclosed quote.
bool splitExec(const QString &exec, QList<ExecArgument> *arguments)
{
    const qsizetype n = exec.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (exec.at(i) == QLatin1Char(' ') || exec.at(i) == QLatin1Char('\t')))
            ++i;
        if (i >= n)
            break;
        ExecArgument argument;
        if (exec.at(i) == QLatin1Char('"')) {
            argument.quoted = true;
            bool closed = false;
            for (++i; i < n; ++i) {
                const QChar c = exec.at(i);
                if (c == QLatin1Char('\\') && i + 1 < n
                    && QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
                    argument.text += exec.at(++i);
                } else if (c == QLatin1Char('"')) {
                    closed = true;
                    ++i;
                    break;
                } else {
                    argument.text += c;
                }
            }
            if (!closed)
                return false;
        } else {
            while (i < n && exec.at(i) != QLatin1Char(' ') && exec.at(i) != QLatin1Char('\t'))
                argument.text += exec.at(i++);
        }
        arguments->append(argument);
    }
    return true;
}

bool isFileCode(QChar code)
{
    return code == QLatin1Char('f') || code == QLatin1Char('F') || code == QLatin1Char('u')
           || code == QLatin1Char('U');
}

// One argument with its field codes expanded; codes without a value (the
// deprecated ones among them) are dropped.
QString expandCodes(const QString &text, const DesktopEntry &entry, const QString &file,
                    const QString &entryPath, bool *sawFile)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('%') || i + 1 >= text.size()) {
            out += text.at(i);
            continue;
        }
        const QChar code = text.at(++i);
        if (isFileCode(code)) {
            out += file;
            *sawFile = true;
        } else if (code == QLatin1Char('%')) {
            out += QLatin1Char('%');
        } else if (code == QLatin1Char('c')) {
            out += entry.name;
        } else if (code == QLatin1Char('k')) {
            out += entryPath;
        }
    }
    return out;
}

} // namespace

DesktopEntry ParseDesktopEntry(const QByteArray &text)
{
    DesktopEntry entry;
    bool inEntryGroup = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QString trimmed = QString::fromUtf8(line).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            inEntryGroup = trimmed == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        if (!inEntryGroup || equals <= 0)
            continue;
        const QString key = trimmed.left(equals).trimmed();
        const QString value = unescapeValue(trimmed.mid(equals + 1).trimmed());
        if (key == QLatin1String("Exec")) {
            entry.exec = value;
            entry.valid = true;
        } else if (key == QLatin1String("TryExec")) {
            entry.tryExec = value;
        } else if (key == QLatin1String("Name")) {
            entry.name = value;
        } else if (key == QLatin1String("Icon")) {
            entry.icon = value;
        } else if (key == QLatin1String("Terminal")) {
            entry.terminal = isTrue(value);
        } else if (key == QLatin1String("Hidden")) {
            entry.hidden = isTrue(value);
        }
    }
    return entry;
}

QStringList DesktopEntryCommand(const DesktopEntry &entry, const QString &file, const QString &entryPath)
{
    QList<ExecArgument> arguments;
    if (!entry.valid || !splitExec(entry.exec, &arguments))
        return {};
    QStringList command;
    bool sawFile = false;
    for (const ExecArgument &argument : std::as_const(arguments)) {
        if (!argument.quoted && argument.text == QLatin1String("%i")) {
            if (!entry.icon.isEmpty())
                command << QStringLiteral("--icon") << entry.icon;
            continue;
        }
        const QString expanded = expandCodes(argument.text, entry, file, entryPath, &sawFile);
        // An argument that was nothing but a code without value goes away.
        if (expanded.isEmpty() && !argument.text.isEmpty())
            continue;
        command << expanded;
    }
    if (command.isEmpty())
        return {};
    // An entry that takes no file would open an empty window.
    if (!sawFile)
        command << file;
    return command;
}

QStringList DesktopFileCandidates(const QString &id)
{
    QStringList names{id};
    QString name = id;
    for (qsizetype dash = name.indexOf(QLatin1Char('-')); dash > 0; dash = name.indexOf(QLatin1Char('-'), dash)) {
        name[dash] = QLatin1Char('/');
        names << name;
    }
    return names;
}
