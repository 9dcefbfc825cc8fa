// Free ports, greeting waits and stops shared by the real servers.

#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

namespace ServerProcess {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

Start waitForGreeting(QProcess &process, quint16 port)
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning)
            return Start::Exited;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(1000)) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(2000))
                greeting += probe.readAll();
            if (greeting.startsWith("+OK")) {
                // Ends the probe's session cleanly (pop3d logs a hang-up).
                probe.write("QUIT\r\n");
                probe.waitForBytesWritten(1000);
                return Start::Answering;
            }
        }
        // Pause before the next try; returns early if it dies.
        process.waitForFinished(20);
    }
    return Start::Silent;
}

QString startProblem(Start start, const QString &server, quint16 port)
{
    if (start == Start::Exited)
        return server + QStringLiteral(" exited at start:\n");
    return server + QStringLiteral(" did not answer on port %1:\n").arg(port);
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace ServerProcess
