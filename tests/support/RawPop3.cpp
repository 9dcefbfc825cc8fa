// A blocking POP3 client for checking servers directly.

#include "RawPop3.h"

#include <QHostAddress>
#include <QList>
#include <QTcpSocket>

QByteArray RawPop3MultiLine(quint16 port, const QByteArray &user, const QByteArray &password,
                            const QByteArray &command)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "<no connection>";
    QByteArray all;
    auto exchange = [&](const QByteArray &line, const QByteArray &end) {
        all.clear();
        if (!line.isEmpty())
            socket.write(line + "\r\n");
        while (!all.endsWith(end) && socket.waitForReadyRead(5000))
            all += socket.readAll();
    };
    exchange(QByteArray(), "\r\n");
    exchange("USER " + user, "\r\n");
    exchange("PASS " + password, "\r\n");
    exchange(command, "\r\n.\r\n");
    const QByteArray reply = all;
    socket.write("QUIT\r\n");
    socket.waitForReadyRead(2000);
    if (!reply.startsWith("+OK") || !reply.endsWith("\r\n.\r\n"))
        return "<bad reply>";
    const QByteArray body = reply.mid(reply.indexOf("\r\n") + 2).chopped(3);
    QByteArray content;
    for (const QByteArray &line : body.split('\n')) {
        if (line.isEmpty())
            continue;
        content += (line.startsWith('.') ? line.mid(1) : line) + '\n';
    }
    return content;
}

QList<QByteArray> RawPop3Lines(quint16 port, const QByteArray &user, const QByteArray &password,
                               const QByteArray &command)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : RawPop3MultiLine(port, user, password, command).split('\n'))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

QList<QByteArray> RawPop3Dialogue(quint16 port, const QList<QByteArray> &lines)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {"<no connection>"};
    QByteArray pending;
    auto replyLine = [&]() -> QByteArray {
        while (!pending.contains("\r\n") && socket.waitForReadyRead(5000))
            pending += socket.readAll();
        const int end = pending.indexOf("\r\n");
        if (end < 0)
            return "<no reply>";
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 2);
        return line;
    };
    QList<QByteArray> replies{replyLine()};
    for (const QByteArray &line : lines) {
        socket.write(line + "\r\n");
        replies << replyLine();
    }
    socket.write("QUIT\r\n");
    socket.waitForBytesWritten(2000);
    return replies;
}
