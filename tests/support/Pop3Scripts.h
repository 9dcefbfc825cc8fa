#pragma once
// Small pieces of POP3 conversation to compose scripts from. Each returns
// the server so pieces chain: Pop3Scripts::login(server, "bob", "pw").

#include "ScriptedPop3Server.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace Pop3Scripts {

// How each reply is cut into chunks: all at once, one byte at a time,
// between every CR and its LF, or before, inside and after every line holding
// only "." (before the dot, after it, between its CR and LF).
enum class Cut { Whole, Bytes, SplitCrLf, Terminators };

QList<QByteArray> cut(const QByteArray &reply, Cut how);

ScriptedPop3Server &greeting(ScriptedPop3Server &server, Cut how = Cut::Whole);
// The greeting, then CAPA refused: a server that knows no STLS, so the
// plain login follows.
ScriptedPop3Server &greetingWithoutCapa(ScriptedPop3Server &server, Cut how = Cut::Whole);
// The greeting, then CAPA answered with these capability lines.
ScriptedPop3Server &greetingWithCapa(ScriptedPop3Server &server, const QList<QByteArray> &capabilities,
                                     Cut how = Cut::Whole);
// USER and PASS accepted; the greeting and the refused CAPA come first.
ScriptedPop3Server &login(ScriptedPop3Server &server, const QByteArray &user, const QByteArray &password,
                          Cut how = Cut::Whole);
ScriptedPop3Server &stat(ScriptedPop3Server &server, int count, qint64 size, Cut how = Cut::Whole);
QByteArray uidlReply(const QStringList &ids);
ScriptedPop3Server &uidl(ScriptedPop3Server &server, const QStringList &ids, Cut how = Cut::Whole);
QByteArray listReply(const QList<qint64> &sizes);
ScriptedPop3Server &list(ScriptedPop3Server &server, const QList<qint64> &sizes, Cut how = Cut::Whole);
// The whole login of a mailbox with these ids and sizes: greeting to LIST.
ScriptedPop3Server &session(ScriptedPop3Server &server, const QByteArray &user, const QByteArray &password,
                            const QStringList &ids, const QList<qint64> &sizes, Cut how = Cut::Whole);
// RSET (unless committing) and QUIT as a logout sends them back to back.
ScriptedPop3Server &logout(ScriptedPop3Server &server, bool commit = false);
ScriptedPop3Server &quit(ScriptedPop3Server &server);

} // namespace Pop3Scripts
