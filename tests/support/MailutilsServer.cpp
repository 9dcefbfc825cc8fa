// Starting, stopping and filling a private GNU mailutils pop3d.

#include "MailutilsServer.h"
#include "ServerProcess.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
const QString kPop3d = QStringLiteral("/usr/sbin/pop3d");

QString openssl()
{
    return QStandardPaths::findExecutable(QStringLiteral("openssl"));
}

using kit::writeFile;

bool usable(const QString &text)
{
    return !text.contains(QLatin1Char(':')) && !text.contains(QLatin1Char('/')) && !text.contains(QLatin1Char('\n'))
           && !text.contains(QLatin1Char('\r'));
}
} // namespace

MailutilsServer::MailutilsServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/mailvane-mailutils-XXXXXX"))
{
    m_uid = ::getuid();
    m_gid = ::getgid();
    if (::geteuid() == 0) {
        // pop3d changes its group to "mail" at start; as root we hand it
        // to "nobody" in that group.
        const struct passwd *pw = ::getpwnam("nobody");
        const struct group *gr = ::getgrnam("mail");
        if (pw && gr) {
            m_uid = pw->pw_uid;
            m_gid = gr->gr_gid;
            m_dropPrivileges = true;
        }
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return;
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::ExeOther);
    handOver(m_dir.path());
    for (const char *sub : {"run", "locks", "home", "passwd"}) {
        QDir(m_dir.path()).mkdir(QString::fromLatin1(sub));
        handOver(path(QString::fromLatin1(sub)));
    }
}

MailutilsServer::~MailutilsServer()
{
    stop();
}

namespace {
// pop3d changes its group to "mail" at start, which only root or a user of
// that primary group may do.
bool mayTakeMailGroup()
{
    const struct group *mail = ::getgrnam("mail");
    return ::geteuid() == 0 || (mail && ::getgid() == mail->gr_gid);
}
} // namespace

bool MailutilsServer::isAvailable()
{
    return QFileInfo(kPop3d).isExecutable() && !openssl().isEmpty() && mayTakeMailGroup();
}

QString MailutilsServer::unavailableReason()
{
    if (!mayTakeMailGroup())
        return QStringLiteral("pop3d must change its group to \"mail\" at start: run the tests as root or with "
                              "\"mail\" as the primary group");
    return QStringLiteral("GNU mailutils pop3d (%1) or openssl is not installed; the project's scripts "
                          "install them (Debian packages mailutils-pop3d, openssl)")
        .arg(kPop3d);
}

void MailutilsServer::handOver(const QString &p) const
{
    if (m_dropPrivileges) {
        if (::chown(QFile::encodeName(p).constData(), m_uid, m_gid) != 0) {
            // The server will say what it cannot reach; nothing more to do.
        }
    }
}

QString MailutilsServer::maildir(const QString &login) const
{
    const QString name = login.section(QLatin1Char('@'), 0, 0);
    const QString domain = login.section(QLatin1Char('@'), 1);
    return path(QStringLiteral("home/%1/%2/INBOX").arg(domain, name));
}

QString MailutilsServer::cryptHash(const QString &password)
{
    QProcess hasher;
    hasher.start(openssl(), {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("-stdin")});
    hasher.write(password.toUtf8() + '\n');
    hasher.closeWriteChannel();
    if (!hasher.waitForFinished(10000) || hasher.exitCode() != 0)
        return QString();
    return QString::fromLatin1(hasher.readAllStandardOutput().trimmed());
}

bool MailutilsServer::addUser(const QString &login, const QString &password)
{
    const QString name = login.section(QLatin1Char('@'), 0, 0);
    const QString domain = login.section(QLatin1Char('@'), 1);
    if (name.isEmpty() || domain.isEmpty() || domain.contains(QLatin1Char('@')) || !usable(login)
        || !usable(password)) {
        m_error = QStringLiteral("unusable login (name@domain) or password");
        return false;
    }
    const QString hash = cryptHash(password);
    if (!hash.startsWith(QLatin1String("$6$"))) {
        m_error = QStringLiteral("openssl passwd -6 gave no hash");
        return false;
    }
    const QString home = path(QStringLiteral("home/%1/%2").arg(domain, name));
    QDir().mkpath(maildir(login));
    handOver(path(QStringLiteral("home/") + domain));
    handOver(home);
    handOver(maildir(login));
    for (const char *sub : {"new", "cur", "tmp"}) {
        const QString dir = maildir(login) + QLatin1Char('/') + QString::fromLatin1(sub);
        QDir().mkpath(dir);
        handOver(dir);
    }
    const QString line =
        QStringLiteral("%1:%2:%3:%4::%5:/bin/false\n").arg(name, hash).arg(m_uid).arg(m_gid).arg(home);
    const QString file = path(QStringLiteral("passwd/") + domain);
    if (!writeFile(file, line.toUtf8(), QIODevice::Append)) {
        m_error = QStringLiteral("cannot write the password file of ") + domain;
        return false;
    }
    handOver(file);
    return true;
}

bool MailutilsServer::writeConfig()
{
    const QString dir = m_dir.path();
    QString conf;
    conf += QStringLiteral("mode daemon;\n"
                           "foreground yes;\n");
    conf += QStringLiteral("pidfile %1/run/pop3d.pid;\n").arg(dir);
    conf += QStringLiteral("logging { syslog no; };\n"
                           "tcp-wrappers { enable no; };\n"
                           "auth {\n"
                           "  authentication clear;\n"
                           "  authentication generic;\n"
                           "  authorization clear;\n"
                           "  authorization virtdomain;\n"
                           "};\n");
    conf += QStringLiteral("virtdomain { passwd-dir %1/passwd; };\n").arg(dir);
    conf += QStringLiteral("mandatory-locking { enable yes; lock-directory %1/locks; };\n").arg(dir);
    conf += QStringLiteral("server 127.0.0.1:%1 { tls-mode no; };\n").arg(m_port);
    const QString file = path(QStringLiteral("pop3d.conf"));
    if (!writeFile(file, conf.toUtf8()))
        return false;
    handOver(file);
    return true;
}

bool MailutilsServer::start()
{
    if (isRunning())
        return true;
    if (!isAvailable()) {
        m_error = unavailableReason();
        return false;
    }
    if (!m_dir.isValid())
        return false;
    // A port found free may be taken by someone else before pop3d binds
    // it: a few attempts.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerProcess::freeLoopbackPort();
        if (m_port == 0 || !writeConfig()) {
            m_error = QStringLiteral("cannot prepare the configuration");
            return false;
        }
        const QString out = path(QStringLiteral("pop3d.out"));
        m_process.setStandardOutputFile(out, QIODevice::Append);
        m_process.setStandardErrorFile(out, QIODevice::Append);
        // Taken down with the test, even if the test crashes.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        const QStringList pop3d{kPop3d, QStringLiteral("--config-file=") + path(QStringLiteral("pop3d.conf"))};
        if (m_dropPrivileges) {
            // The death signal is cleared with the change of user: set again.
            m_process.start(QStringLiteral("setpriv"),
                            QStringList{QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                                        QStringLiteral("--clear-groups"), QStringLiteral("--pdeathsig=TERM")}
                                + pop3d);
        } else {
            m_process.start(pop3d.first(), pop3d.mid(1));
        }
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("pop3d did not start: ") + m_process.errorString();
            return false;
        }
        if (waitUntilAnswering())
            return true;
        stop();
    }
    return false;
}

bool MailutilsServer::waitUntilAnswering()
{
    const ServerProcess::Start start = ServerProcess::waitForGreeting(m_process, m_port);
    if (start == ServerProcess::Start::Answering)
        return true;
    m_error = ServerProcess::startProblem(start, QStringLiteral("pop3d"), m_port) + log();
    return false;
}

void MailutilsServer::stop()
{
    ServerProcess::stop(m_process);
}

bool MailutilsServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

QString MailutilsServer::log() const
{
    QFile file(path(QStringLiteral("pop3d.out")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

bool MailutilsServer::deliver(const QString &login, const QByteArray &message)
{
    const QString box = maildir(login);
    if (!QFileInfo(box + QStringLiteral("/new")).isDir()) {
        m_error = QStringLiteral("no such user: ") + login;
        return false;
    }
    // Names that sort in delivery order, as the server numbers them.
    ++m_delivered;
    const QString name = QStringLiteral("%1.M%2P%3.mailvane")
                             .arg(1600000000 + m_delivered)
                             .arg(m_delivered)
                             .arg(QCoreApplication::applicationPid());
    const QString tmp = box + QStringLiteral("/tmp/") + name;
    const QString target = box + QStringLiteral("/new/") + name;
    QByteArray stored = message;
    stored.replace("\r\n", "\n");
    if (!writeFile(tmp, stored)) {
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

QList<QByteArray> MailutilsServer::storedMails(const QString &login) const
{
    // The server renames a file when it sets flags, but keeps the front.
    QMap<QString, QByteArray> byName;
    for (const char *sub : {"new", "cur"}) {
        QDir dir(maildir(login) + QLatin1Char('/') + QString::fromLatin1(sub));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                byName.insert(name, file.readAll());
        }
    }
    return byName.values();
}
