#pragma once
// What the real POP3 servers run as child processes of a test (Dovecot,
// GNU mailutils pop3d) have in common: a free loopback port to give them,
// the wait until they greet, and taking them down.

#include <QString>

class QProcess;

namespace ServerProcess {

// A port nobody listens on right now; 0 when none could be found. Someone
// else may take it before the server binds it: callers try again.
quint16 freeLoopbackPort();

enum class Start { Answering, Exited, Silent };
// Waits (bounded) until the server on this loopback port greets with "+OK";
// Exited as soon as the process has ended.
Start waitForGreeting(QProcess &process, quint16 port);
// What went wrong, for a start that is not Answering, ending in a line end
// for the server's log to follow.
QString startProblem(Start start, const QString &server, quint16 port);

// SIGTERM, then a bounded wait for the exit, then SIGKILL.
void stop(QProcess &process);

} // namespace ServerProcess
