#pragma once
// Asks a POP3 server directly, over a plain blocking socket, what a test
// wants to compare the window's view with.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Logs in as user/password and sends one command with a multi-line reply
// ("LIST", "UIDL", "RETR 1"). Returns the reply's lines after the status
// line without the terminating line, dot-unstuffed, each with its CR LF; a
// text in angle brackets when the server could not be asked.
QByteArray RawPop3MultiLine(quint16 port, const QByteArray &user, const QByteArray &password,
                            const QByteArray &command);
// The same reply as lines without their line ends ("1 120", "2 240").
QList<QByteArray> RawPop3Lines(quint16 port, const QByteArray &user, const QByteArray &password,
                               const QByteArray &command);
