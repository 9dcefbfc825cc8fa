// No reply waits on a delayed acknowledgement. Servers like GNU mailutils
// pop3d write a reply in pieces with Nagle's algorithm on: the second piece
// leaves only once the client has acknowledged the first. A client that
// delays its acknowledgements (Linux does, about 40 ms, once the dialogue
// goes back and forth) then waits that long for every reply.

#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QSslKey>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int MailCount = 50;
// Far below the 2 s that 50 replies take when each waits for the delayed
// acknowledgement (at least 40 ms), and far above their time without.
constexpr qint64 MaxMilliseconds = 1500;

QByteArray headersOf(int n)
{
    return "Date: Tue, 3 Aug 2004 10:11:12 +0200\r\nFrom: Sender " + QByteArray::number(n) + " <s"
           + QByteArray::number(n) + "@example.com>\r\nSubject: Mail " + QByteArray::number(n)
           + "\r\nTo: bob@example.com\r\n";
}

// A POP3 server for a mailbox of MailCount mails that writes every reply in
// two pieces, each with its own write, Nagle's algorithm on.
class TwoPieceServer : public QObject
{
public:
    TwoPieceServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 0);
                m_socket = socket;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                writeInTwo(socket, "+OK POP3 server ready\r\n");
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> commands() const { return m_commands; }

private:
    void answer(QTcpSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine();
            m_commands << line;
            const QList<QByteArray> words = line.trimmed().split(' ');
            writeInTwo(socket, replyTo(words.value(0).toUpper(), words.value(1).toInt()));
            if (words.value(0).toUpper() == "QUIT")
                socket->disconnectFromHost();
        }
    }

    static QByteArray replyTo(const QByteArray &verb, int n)
    {
        if (verb == "CAPA")
            return "+OK Capability list follows\r\nTOP\r\nUIDL\r\nUSER\r\n.\r\n";
        if (verb == "USER" || verb == "RSET" || verb == "QUIT")
            return "+OK\r\n";
        if (verb == "PASS")
            return "+OK opened mailbox for bob\r\n";
        if (verb == "STAT")
            return "+OK " + QByteArray::number(MailCount) + " " + QByteArray::number(MailCount * 1000) + "\r\n";
        if (verb == "UIDL" || verb == "LIST") {
            QByteArray reply = "+OK\r\n";
            for (int i = 1; i <= MailCount; ++i)
                reply += QByteArray::number(i) + (verb == "UIDL" ? " id-" + QByteArray::number(i) : " 1000") + "\r\n";
            return reply + ".\r\n";
        }
        if (verb == "TOP" && n >= 1 && n <= MailCount)
            return "+OK\r\n" + headersOf(n) + "\r\n.\r\n";
        return "-ERR unknown command\r\n";
    }

    // The status line (or half of a one-line reply) first, then the rest.
    static void writeInTwo(QTcpSocket *socket, const QByteArray &reply)
    {
        const qsizetype firstLine = reply.indexOf('\n') + 1;
        const qsizetype cut = firstLine < reply.size() ? firstLine : reply.size() / 2;
        socket->write(reply.left(cut));
        socket->flush();
        socket->write(reply.mid(cut));
        socket->flush();
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QList<QByteArray> m_commands;
};

// The same over TLS from the first byte: each piece is a record of its own.
// Every line gets "+OK" and one more line as its reply.
class TwoPieceTlsServer : public QTcpServer
{
public:
    bool start(const QString &certificateFile, const QString &keyFile)
    {
        QFile cert(certificateFile), key(keyFile);
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
            return false;
        m_certificate = QSslCertificate(cert.readAll());
        m_key = QSslKey(key.readAll(), QSsl::Ec);
        return !m_certificate.isNull() && !m_key.isNull() && listen(QHostAddress::LocalHost, 0);
    }
    QSslCertificate certificate() const { return m_certificate; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 0);
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        connect(socket, &QSslSocket::readyRead, socket, [socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                socket->write("+OK " + line + "\r\n");
                socket->flush();
                socket->write("the rest of the reply to " + line + "\r\n.\r\n");
                socket->flush();
            }
        });
        socket->startServerEncryption();
    }

private:
    QSslCertificate m_certificate;
    QSslKey m_key;
};

// A self-signed certificate for 127.0.0.1.
bool makeCertificate(const QString &folder, QString *error)
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *error = QStringLiteral("openssl is not installed");
        return false;
    }
    QProcess run;
    run.setWorkingDirectory(folder);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(openssl, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                        "-keyout", "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                        "subjectAltName=IP:127.0.0.1"});
    if (!run.waitForFinished(60000) || run.exitCode() != 0) {
        *error = QString::fromLocal8Bit(run.readAll());
        return false;
    }
    return true;
}

} // namespace

class TestDelayedAck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void headerSweepDoesNotWaitPerReply()
    {
        TwoPieceServer server;
        QVERIFY(server.port() != 0);
        RecordedWindow f;
        kit::fillLogin(f.w, server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.w.grdStats->isHidden() && f.w.cmdShow->isEnabled(), 10000);
        QCOMPARE(f.w.lblMails->text(), QString::number(MailCount));

        f.w.cboFrom->setEditText(QStringLiteral("1"));
        f.w.cboTill->setEditText(QString::number(MailCount));
        const int before = server.commands().size();
        QElapsedTimer sweep;
        sweep.start();
        f.w.cmdShow->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.w.cmdShow->text() == QLatin1String("Show"), 20000);
        const qint64 elapsed = sweep.elapsed();

        QCOMPARE(f.w.grdMails->Rows(), MailCount + 2);
        QCOMPARE(f.w.grdMails->TextMatrix(MailCount + 1, 2), QStringLiteral(" Mail %1").arg(MailCount));
        QCOMPARE(server.commands().size() - before, MailCount); // one TOP per mail, nothing else
        QVERIFY(f.boxes.boxes.isEmpty());
        // A stall per reply takes at least 50 x 40 ms = 2 s; without one
        // this takes a few tens of milliseconds, a busy machine allowed for.
        QVERIFY2(elapsed < MaxMilliseconds, qPrintable(QStringLiteral("%1 TOP replies took %2 ms").arg(MailCount).arg(elapsed)));
    }

    void tlsRepliesDoNotWaitEither()
    {
        QTemporaryDir folder;
        QString error;
        if (!makeCertificate(folder.path(), &error))
            QSKIP(qPrintable(error));
        TwoPieceTlsServer server;
        QVERIFY(server.start(folder.filePath(QStringLiteral("cert.pem")), folder.filePath(QStringLiteral("key.pem"))));

        TcpClientSocket socket;
        socket.addCaCertificates({server.certificate()});
        socket.setImplicitTls(true);
        socket.SetRemoteHost(QStringLiteral("127.0.0.1"));
        socket.SetRemotePort(server.serverPort());
        // One command in flight: the next goes out once the reply is whole.
        int sent = 0;
        QString received;
        QStringList replies;
        QElapsedTimer timer; // from the first command on, the handshake left out
        qint64 elapsed = 0;
        auto sendNext = [&] { socket.SendData(QStringLiteral("NOOP %1\r\n").arg(++sent)); };
        connect(&socket, &TcpClientSocket::connected, this, [&] {
            timer.start();
            sendNext();
        });
        connect(&socket, &TcpClientSocket::dataArrival, this, [&] {
            QString data;
            socket.GetData(data);
            received += data;
            if (!received.endsWith(QLatin1String("\r\n.\r\n")))
                return;
            replies << received;
            received.clear();
            if (sent < MailCount)
                sendNext();
            else
                elapsed = timer.elapsed();
        });
        QSignalSpy errors(&socket, &TcpClientSocket::errorOccurred);
        socket.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(replies.size() == MailCount || !errors.isEmpty(), 20000);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(1).toString()));
        QVERIFY(socket.isEncrypted());
        QCOMPARE(replies.last(), QStringLiteral("+OK NOOP %1\r\nthe rest of the reply to NOOP %1\r\n.\r\n").arg(MailCount));
        QVERIFY2(elapsed < MaxMilliseconds, qPrintable(QStringLiteral("%1 replies over TLS took %2 ms").arg(MailCount).arg(elapsed)));
    }
};

QTEST_MAIN(TestDelayedAck)
#include "test_delayed_ack.moc"
