#pragma once
// POP3 command lines as the window puts them on the wire: the verb, one
// blank, the arguments separated by single blanks, CR LF. A command without
// arguments keeps its blank ("STAT \r\n"), as servers have always seen it
// from this program.

#include <QString>

namespace Pop3Command {

// The commands of the dialogue as the window names the outstanding one
// (vCommand, strPrevCommand): the verb and its blank.
namespace Verb {
inline const QString User = QStringLiteral("USER ");
inline const QString Pass = QStringLiteral("PASS ");
inline const QString Stat = QStringLiteral("STAT ");
inline const QString List = QStringLiteral("LIST ");
inline const QString Uidl = QStringLiteral("UIDL ");
inline const QString Top = QStringLiteral("TOP ");
inline const QString Retr = QStringLiteral("RETR ");
inline const QString Dele = QStringLiteral("DELE ");
inline const QString Rset = QStringLiteral("RSET ");
inline const QString Quit = QStringLiteral("QUIT ");
// Asked before the dialogue, without a blank.
inline const QString Capa = QStringLiteral("CAPA");
inline const QString Stls = QStringLiteral("STLS");
} // namespace Verb

// `verb` may carry its trailing blank ("LIST " as kept in vCommand) or not.
QString line(const QString &verb, const QString &args = QString());
QString line(const QString &verb, qint64 n);
QString line(const QString &verb, qint64 n, qint64 m);

// A command that has always gone out without the blank: "CAPA\r\n".
QString bareLine(const QString &verb);

// The verb with its blank as vCommand keeps it: "LIST " for "LIST 3\r\n".
QString commandName(const QString &commandLine);

// The verb of a command line, upper case, without blank or line end.
QString verbOf(const QString &commandLine);

// True when the positive reply to this command line is multi-line
// (LIST and UIDL without argument, TOP, RETR, CAPA).
bool expectsMultiLine(const QString &commandLine);

} // namespace Pop3Command
