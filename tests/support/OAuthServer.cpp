// Starting and steering the local authorization server.

#include "OAuthServer.h"

#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QUrl>

#include <signal.h>
#include <sys/prctl.h>

OAuthServer::OAuthServer()
{
    writeControl();
}

OAuthServer::~OAuthServer()
{
    stop();
}

bool OAuthServer::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MAILVANE_OAUTH_SERVER),
                    {QStringLiteral("--control"), m_dir.filePath(QStringLiteral("control")), QStringLiteral("--log"),
                     m_dir.filePath(QStringLiteral("log"))});
    QByteArray line;
    const QDeadlineTimer deadline(15000);
    while (!line.contains('\n') && !deadline.hasExpired() && m_process.waitForReadyRead(int(deadline.remainingTime())))
        line += m_process.readAllStandardOutput();
    if (!line.startsWith("port ")) {
        m_error = QStringLiteral("the authorization server did not start: ") + QString::fromLocal8Bit(line)
                  + m_process.errorString();
        return false;
    }
    m_port = quint16(line.mid(5).trimmed().toUInt());
    return m_port != 0;
}

void OAuthServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString OAuthServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path);
}

void OAuthServer::set(const QString &key, const QString &value)
{
    m_control.insert(key, value);
    writeControl();
}

void OAuthServer::writeControl()
{
    QByteArray text;
    for (auto it = m_control.cbegin(); it != m_control.cend(); ++it)
        text += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    kit::writeFile(m_dir.filePath(QStringLiteral("control")), text);
}

QStringList OAuthServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList OAuthServer::log(const QString &path) const
{
    QStringList lines;
    for (const QString &line : log()) {
        if (line.section(u' ', 1, 1) == path)
            lines << line;
    }
    return lines;
}

OAuthProvider OAuthServer::provider(const QString &id) const
{
    OAuthProvider provider;
    provider.id = id;
    provider.authorizationUrl = QUrl(url(QStringLiteral("authorize")));
    provider.tokenUrl = QUrl(url(QStringLiteral("token")));
    provider.clientId = QStringLiteral("mailvane-test");
    provider.scope = QStringLiteral("mail offline_access");
    provider.mechanism = OAuthMechanism::XOAuth2;
    provider.servers = {QStringLiteral("127.0.0.1")};
    return provider;
}

QByteArray OAuthServer::post(const QString &path, const QByteArray &form) const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(5000))
        return "<no connection>";
    socket.write("POST /" + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                 "application/x-www-form-urlencoded\r\nContent-Length: "
                 + QByteArray::number(form.size()) + "\r\nConnection: close\r\n\r\n" + form);
    QByteArray answer;
    while (socket.waitForReadyRead(5000) || socket.bytesAvailable() > 0)
        answer += socket.readAll();
    const int body = answer.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray("<no answer>") : answer.mid(body + 4);
}

QString OAuthServer::fakeBrowserFolder()
{
    return QStringLiteral(MAILVANE_FAKE_BROWSER_DIR);
}

QString OAuthServer::fakeBrowser()
{
    return fakeBrowserFolder() + QStringLiteral("/xdg-open");
}
