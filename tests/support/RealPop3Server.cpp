// What Dovecot and GNU mailutils pop3d share as test servers: their folder
// and account, Maildir delivery, and starting, waiting for and stopping the
// process.

#include "RealPop3Server.h"
#include "DovecotServer.h"
#include "MailutilsServer.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

QString groupName(gid_t gid)
{
    const struct group *gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

} // namespace

QStringList RealPop3Server::names()
{
    return {QStringLiteral("dovecot"), QStringLiteral("mailutils")};
}

std::unique_ptr<RealPop3Server> RealPop3Server::make(const QString &name)
{
    if (name == QLatin1String("dovecot"))
        return std::make_unique<DovecotServer>();
    if (name == QLatin1String("mailutils"))
        return std::make_unique<MailutilsServer>();
    return {};
}

std::unique_ptr<RealPop3Server> RealPop3Server::makeForTest(const QString &name)
{
    std::unique_ptr<RealPop3Server> server = make(name);
    if (!server) {
        QTest::qFail(qPrintable(QStringLiteral("no test server is called ") + name), __FILE__, __LINE__);
        return {};
    }
    if (!server->cannotRunReason().isEmpty()) {
        QTest::qSkip(qPrintable(server->cannotRunReason()), __FILE__, __LINE__);
        return {};
    }
    return server;
}

RealPop3Server::Account RealPop3Server::testAccount()
{
    Account account;
    account.uid = ::getuid();
    account.gid = ::getgid();
    const struct passwd *pw = ::getpwuid(account.uid);
    account.userName = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(account.uid);
    account.groupName = groupName(account.gid);
    return account;
}

RealPop3Server::Account RealPop3Server::nobody(const char *group)
{
    const struct passwd *pw = ::getpwnam("nobody");
    const struct group *gr = *group ? ::getgrnam(group) : nullptr;
    if (!pw || (*group && !gr))
        return testAccount();
    Account account;
    account.uid = pw->pw_uid;
    account.gid = gr ? gr->gr_gid : pw->pw_gid;
    account.userName = QStringLiteral("nobody");
    account.groupName = groupName(account.gid);
    account.dropPrivileges = true;
    return account;
}

RealPop3Server::RealPop3Server(const QString &prefix, const Account &account, const QStringList &folders)
    : m_account(account)
    , m_dir(QDir::tempPath() + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX"))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return;
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::ExeOther);
    handOver(m_dir.path());
    for (const QString &folder : folders) {
        QDir(m_dir.path()).mkdir(folder);
        handOver(path(folder));
    }
}

RealPop3Server::~RealPop3Server()
{
    stop();
}

void RealPop3Server::handOver(const QString &p) const
{
    if (m_account.dropPrivileges) {
        if (::chown(QFile::encodeName(p).constData(), m_account.uid, m_account.gid) != 0) {
            // The server will say what it cannot reach; nothing more to do.
        }
    }
}

bool RealPop3Server::makeMaildir(const QString &folder) const
{
    // Every folder from the temporary folder down belongs to the server.
    const QString relative = QDir(m_dir.path()).relativeFilePath(folder);
    QString made = m_dir.path();
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += QLatin1Char('/') + part;
        if (!QDir().mkpath(made))
            return false;
        handOver(made);
    }
    for (const char *sub : {"new", "cur", "tmp"}) {
        const QString dir = folder + QLatin1Char('/') + QString::fromLatin1(sub);
        if (!QDir().mkpath(dir))
            return false;
        handOver(dir);
    }
    return true;
}

bool RealPop3Server::deliver(const QString &login, const QByteArray &message)
{
    const QString box = maildir(login);
    if (!QFileInfo(box + QStringLiteral("/new")).isDir()) {
        m_error = QStringLiteral("no such user: ") + login;
        return false;
    }
    // The servers number new mails by the time at the front of the file
    // name: names that sort in delivery order.
    ++m_delivered;
    const QString name = QStringLiteral("%1.M%2P%3.mailvane")
                             .arg(1600000000 + m_delivered)
                             .arg(m_delivered)
                             .arg(QCoreApplication::applicationPid());
    const QString tmp = box + QStringLiteral("/tmp/") + name;
    const QString target = box + QStringLiteral("/new/") + name;
    if (!kit::writeFile(tmp, storedForm(message))) {
        m_error = QStringLiteral("cannot write ") + tmp;
        return false;
    }
    handOver(tmp);
    if (!QFile::rename(tmp, target)) {
        m_error = QStringLiteral("cannot move the mail into ") + target;
        return false;
    }
    return true;
}

QList<QByteArray> RealPop3Server::storedMails(const QString &login) const
{
    QMap<QString, QByteArray> byName;
    for (const char *sub : {"new", "cur"}) {
        QDir dir(maildir(login) + QLatin1Char('/') + QString::fromLatin1(sub));
        for (const QString &name : dir.entryList(QDir::Files))
            byName.insert(name, kit::readFile(dir.filePath(name)));
    }
    return byName.values();
}

bool RealPop3Server::start()
{
    if (isRunning())
        return true;
    const QString missing = cannotRunReason();
    if (!missing.isEmpty()) {
        m_error = missing;
        return false;
    }
    if (!m_dir.isValid())
        return false;
    // A port found free may be taken by someone else before the server
    // binds it: a few attempts.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeLoopbackPort();
        if (m_port == 0 || !writeConfig()) {
            m_error = QStringLiteral("cannot prepare the configuration");
            return false;
        }
        const QString out = path(processName() + QStringLiteral(".out"));
        m_process.setStandardOutputFile(out, QIODevice::Append);
        m_process.setStandardErrorFile(out, QIODevice::Append);
        launch();
        if (!m_process.waitForStarted(10000)) {
            m_error = processName() + QStringLiteral(" did not start: ") + m_process.errorString();
            return false;
        }
        if (waitUntilAnswering())
            return true;
        stop();
    }
    return false;
}

bool RealPop3Server::waitUntilAnswering()
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = processName() + QStringLiteral(" exited at start:\n") + log();
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(1000)) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(2000))
                greeting += probe.readAll();
            if (greeting.startsWith("+OK")) {
                // Ends the probe's session cleanly (pop3d logs a hang-up).
                probe.write("QUIT\r\n");
                probe.waitForBytesWritten(1000);
                return true;
            }
        }
        // Pause before the next try; returns early if it dies.
        m_process.waitForFinished(20);
    }
    m_error = processName() + QStringLiteral(" did not answer on port %1:\n").arg(m_port) + log();
    return false;
}

void RealPop3Server::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool RealPop3Server::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

QString RealPop3Server::log() const
{
    QFile file(path(processName() + QStringLiteral(".out")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

quint16 RealPop3Server::freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
