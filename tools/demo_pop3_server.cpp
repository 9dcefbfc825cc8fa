// A small POP3 server for trying Mailvane out: serves the mails of a folder
// (one file per mail, in name order), accepts the user "demo" with the
// password "demo", and honours DELE, RSET and QUIT for as long as it runs.
// It listens on loopback only.
//
//   mailvane_demo_server MAIL_FOLDER PORT [LOGIN_FILE]
//
// With LOGIN_FILE it writes a login file for 127.0.0.1:PORT there.

#include "desktop/LoginFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

namespace {

struct Mail
{
    QByteArray text; // CR LF line ends
    QByteArray uid;
};

QList<Mail> loadMails(const QString &folder)
{
    QList<Mail> mails;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray text = file.readAll().replace("\r\n", "\n").replace('\n', "\r\n");
        if (!text.endsWith("\r\n"))
            text += "\r\n";
        const QByteArray uid = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        mails.append({text, uid});
    }
    return mails;
}

QByteArray dotStuffed(const QByteArray &text)
{
    QByteArray out;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith('.'))
            out += '.';
        out += line + '\n';
    }
    out.chop(1);
    return out;
}

class Session : public QObject
{
public:
    Session(QTcpSocket *socket, QList<Mail> &mails, QSet<int> &gone)
        : m_socket(socket), m_mails(mails), m_gone(gone)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { onRead(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
        m_socket->write("+OK Mailvane demo server ready.\r\n");
    }
    ~Session() override { m_socket->deleteLater(); }

private:
    bool exists(int n) const { return n >= 1 && n <= m_mails.size() && !m_gone.contains(n) && !m_marked.contains(n); }

    void onRead()
    {
        m_buffer += m_socket->readAll();
        int end;
        while ((end = m_buffer.indexOf("\r\n")) >= 0) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 2);
            handle(line);
        }
        if (m_buffer.size() > 4096)
            m_socket->abort();
    }

    void reply(const QByteArray &text) { m_socket->write(text); }

    void handle(const QByteArray &line)
    {
        const QList<QByteArray> words = line.trimmed().split(' ');
        const QByteArray verb = words.value(0).toUpper();
        const int n = words.value(1).toInt();
        if (verb == "QUIT") {
            if (m_loggedIn)
                m_gone.unite(m_marked);
            reply("+OK Bye.\r\n");
            m_socket->disconnectFromHost();
        } else if (verb == "USER") {
            m_user = words.value(1);
            reply("+OK\r\n");
        } else if (verb == "PASS") {
            m_loggedIn = m_user == "demo" && words.value(1) == "demo";
            reply(m_loggedIn ? "+OK Logged in.\r\n" : "-ERR [AUTH] Use the user demo with the password demo.\r\n");
        } else if (!m_loggedIn) {
            reply("-ERR Please log in first.\r\n");
        } else if (verb == "STAT") {
            int count = 0;
            qint64 size = 0;
            for (int i = 1; i <= m_mails.size(); ++i)
                if (exists(i)) {
                    ++count;
                    size += m_mails[i - 1].text.size();
                }
            reply("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(size) + "\r\n");
        } else if ((verb == "LIST" || verb == "UIDL") && words.size() > 1 && !words[1].isEmpty()) {
            if (!exists(n))
                return reply("-ERR No such message.\r\n");
            reply("+OK " + QByteArray::number(n) + ' '
                  + (verb == "LIST" ? QByteArray::number(m_mails[n - 1].text.size()) : m_mails[n - 1].uid) + "\r\n");
        } else if (verb == "LIST" || verb == "UIDL") {
            QByteArray out = "+OK\r\n";
            for (int i = 1; i <= m_mails.size(); ++i)
                if (exists(i))
                    out += QByteArray::number(i) + ' '
                           + (verb == "LIST" ? QByteArray::number(m_mails[i - 1].text.size()) : m_mails[i - 1].uid)
                           + "\r\n";
            reply(out + ".\r\n");
        } else if (verb == "RETR" || verb == "TOP") {
            if (!exists(n))
                return reply("-ERR No such message.\r\n");
            QByteArray text = m_mails[n - 1].text;
            if (verb == "TOP") {
                const int headerEnd = text.indexOf("\r\n\r\n");
                const int bodyLines = words.value(2).toInt();
                if (headerEnd >= 0) {
                    int cut = headerEnd + 4;
                    for (int i = 0; i < bodyLines && cut < text.size(); ++i) {
                        const int next = text.indexOf("\r\n", cut);
                        cut = next < 0 ? int(text.size()) : next + 2;
                    }
                    text = text.left(cut);
                }
            }
            reply("+OK\r\n" + dotStuffed(text) + ".\r\n");
        } else if (verb == "DELE") {
            if (!exists(n))
                return reply("-ERR No such message.\r\n");
            m_marked.insert(n);
            reply("+OK Marked to be deleted.\r\n");
        } else if (verb == "RSET") {
            m_marked.clear();
            reply("+OK\r\n");
        } else if (verb == "NOOP") {
            reply("+OK\r\n");
        } else {
            reply("-ERR Unknown command.\r\n");
        }
    }

    QTcpSocket *m_socket;
    QList<Mail> &m_mails;
    QSet<int> &m_gone;
    QSet<int> m_marked;
    QByteArray m_buffer;
    QByteArray m_user;
    bool m_loggedIn = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: mailvane_demo_server MAIL_FOLDER PORT [LOGIN_FILE]\n");
        return 2;
    }
    QList<Mail> mails = loadMails(args[1]);
    QSet<int> gone;
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(args[2].toUInt()))) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%s: %s\n", qPrintable(args[2]),
                     qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            new Session(socket, mails, gone);
    });
    if (args.size() > 3) {
        QString error;
        if (!SaveLoginFile(args[3], QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("127.0.0.1"),
                           QString::number(server.serverPort()), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("Demo POP3 server with %d mails on 127.0.0.1:%d (user demo, password demo)\n", int(mails.size()),
                int(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
