// The scripted dialogues that many window tests share.

#include "Pop3Scripts.h"

namespace Pop3Scripts {

QList<QByteArray> cut(const QByteArray &reply, Cut how)
{
    switch (how) {
    case Cut::Whole:
        return {reply};
    case Cut::Bytes:
        return ScriptedPop3Server::chunksOf(reply, 1);
    case Cut::SplitCrLf: {
        QList<int> offsets;
        for (int i = 1; i < reply.size(); ++i)
            if (reply[i] == '\n' && reply[i - 1] == '\r')
                offsets << i;
        return ScriptedPop3Server::splitAt(reply, offsets);
    }
    case Cut::Terminators: {
        QList<int> offsets;
        for (int i = 0; i + 2 < reply.size(); ++i)
            if ((i == 0 || reply[i - 1] == '\n') && reply.mid(i, 3) == ".\r\n")
                offsets << i << i + 1 << i + 2;
        return ScriptedPop3Server::splitAt(reply, offsets);
    }
    }
    return {reply};
}

ScriptedPop3Server &greeting(ScriptedPop3Server &server, Cut how)
{
    return server.send(cut("+OK Dovecot ready.\r\n", how));
}

ScriptedPop3Server &greetingWithoutCapa(ScriptedPop3Server &server, Cut how)
{
    greeting(server, how);
    return server.reply("CAPA\r\n", cut("-ERR Unknown command.\r\n", how));
}

ScriptedPop3Server &greetingWithCapa(ScriptedPop3Server &server, const QList<QByteArray> &capabilities, Cut how)
{
    greeting(server, how);
    QByteArray reply = "+OK\r\n";
    for (const QByteArray &capability : capabilities)
        reply += capability + "\r\n";
    return server.reply("CAPA\r\n", cut(reply + ".\r\n", how));
}

ScriptedPop3Server &login(ScriptedPop3Server &server, const QByteArray &user, const QByteArray &password, Cut how)
{
    greetingWithoutCapa(server, how);
    server.reply("USER " + user + "\r\n", cut("+OK\r\n", how));
    server.reply("PASS " + password + "\r\n", cut("+OK Logged in.\r\n", how));
    return server;
}

ScriptedPop3Server &stat(ScriptedPop3Server &server, int count, qint64 size, Cut how)
{
    return server.reply("STAT \r\n", cut("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(size) + "\r\n", how));
}

QByteArray uidlReply(const QStringList &ids)
{
    QByteArray reply = "+OK\r\n";
    for (int i = 0; i < ids.size(); ++i)
        reply += QByteArray::number(i + 1) + ' ' + ids[i].toLatin1() + "\r\n";
    return reply + ".\r\n";
}

ScriptedPop3Server &uidl(ScriptedPop3Server &server, const QStringList &ids, Cut how)
{
    return server.reply("UIDL \r\n", cut(uidlReply(ids), how));
}

QByteArray listReply(const QList<qint64> &sizes)
{
    QByteArray reply = "+OK " + QByteArray::number(sizes.size()) + " messages\r\n";
    for (int i = 0; i < sizes.size(); ++i)
        reply += QByteArray::number(i + 1) + ' ' + QByteArray::number(sizes[i]) + "\r\n";
    return reply + ".\r\n";
}

ScriptedPop3Server &list(ScriptedPop3Server &server, const QList<qint64> &sizes, Cut how)
{
    return server.reply("LIST \r\n", cut(listReply(sizes), how));
}

ScriptedPop3Server &session(ScriptedPop3Server &server, const QByteArray &user, const QByteArray &password,
                            const QStringList &ids, const QList<qint64> &sizes, Cut how)
{
    qint64 total = 0;
    for (qint64 size : sizes)
        total += size;
    login(server, user, password, how);
    stat(server, int(sizes.size()), total, how);
    uidl(server, ids, how);
    if (!sizes.isEmpty())
        list(server, sizes, how);
    return server;
}

ScriptedPop3Server &logout(ScriptedPop3Server &server, bool commit)
{
    if (!commit)
        server.expect("RSET \r\n");
    server.expect("QUIT \r\n");
    if (!commit)
        server.send("+OK\r\n");
    return server.send("+OK Logging out.\r\n").closeConnection();
}

ScriptedPop3Server &quit(ScriptedPop3Server &server)
{
    return server.reply("QUIT \r\n", "+OK Logging out.\r\n").closeConnection();
}

} // namespace Pop3Scripts
