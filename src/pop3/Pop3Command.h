#pragma once
// POP3 command lines as the window puts them on the wire: the verb, one
// blank, the arguments separated by single blanks, CR LF. A command without
// arguments keeps its blank ("STAT \r\n"), as servers have always seen it
// from this program.

#include <QString>

namespace Pop3Command {

// `verb` may carry its trailing blank ("LIST " as kept in vCommand) or not.
QString line(const QString &verb, const QString &args = QString());
QString line(const QString &verb, qint64 n);
QString line(const QString &verb, qint64 n, qint64 m);

// The verb of a command line, upper case, without blank or line end.
QString verbOf(const QString &commandLine);

// True when the positive reply to this command line is multi-line
// (LIST and UIDL without argument, TOP, RETR).
bool expectsMultiLine(const QString &commandLine);

} // namespace Pop3Command
