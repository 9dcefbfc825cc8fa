// Formatting the command lines of the dialogue.

#include "pop3/Pop3Command.h"

#include "base/VbHelpers.h"

#include <QStringList>

namespace {
QString bareVerb(const QString &verb)
{
    QString v = verb;
    while (v.endsWith(QLatin1Char(' ')))
        v.chop(1);
    return v;
}
} // namespace

QString Pop3Command::line(const QString &verb, const QString &args)
{
    return bareVerb(verb) + QLatin1Char(' ') + args + vb::CrLf;
}

QString Pop3Command::bareLine(const QString &verb)
{
    return bareVerb(verb) + vb::CrLf;
}

QString Pop3Command::commandName(const QString &commandLine)
{
    return verbOf(commandLine) + QLatin1Char(' ');
}

QString Pop3Command::line(const QString &verb, qint64 n)
{
    return line(verb, QString::number(n));
}

QString Pop3Command::line(const QString &verb, qint64 n, qint64 m)
{
    return line(verb, QString::number(n) + QLatin1Char(' ') + QString::number(m));
}

QString Pop3Command::verbOf(const QString &commandLine)
{
    int end = 0;
    while (end < commandLine.size()) {
        const QChar c = commandLine.at(end);
        if (c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            break;
        ++end;
    }
    return commandLine.left(end).toUpper();
}

bool Pop3Command::expectsMultiLine(const QString &commandLine)
{
    const QString verb = verbOf(commandLine);
    if (verb == QLatin1String("TOP") || verb == QLatin1String("RETR") || verb == QLatin1String("CAPA"))
        return true;
    if (verb == QLatin1String("LIST") || verb == QLatin1String("UIDL")) {
        // With a mail number the answer is one line.
        QString rest = commandLine.mid(verb.size());
        while (rest.endsWith(QLatin1Char('\n')) || rest.endsWith(QLatin1Char('\r')))
            rest.chop(1);
        return rest.trimmed().isEmpty();
    }
    return false;
}
