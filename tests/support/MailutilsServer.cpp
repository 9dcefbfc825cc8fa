// A private GNU mailutils pop3d: its configuration and virtual users.

#include "MailutilsServer.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <grp.h>
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
    // pop3d changes its group to "mail" at start; as root we hand it to
    // "nobody" in that group.
    : RealPop3Server(QStringLiteral("mailvane-mailutils"), ::geteuid() == 0 ? nobody("mail") : testAccount(),
                     {QStringLiteral("run"), QStringLiteral("locks"), QStringLiteral("home"), QStringLiteral("passwd")})
{
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

QString MailutilsServer::cannotRunReason() const
{
    return isAvailable() ? QString() : unavailableReason();
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
    if (!makeMaildir(maildir(login))) {
        m_error = QStringLiteral("cannot make the Maildir of ") + login;
        return false;
    }
    const QString line =
        QStringLiteral("%1:%2:%3:%4::%5:/bin/false\n").arg(name, hash).arg(m_account.uid).arg(m_account.gid).arg(home);
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
    const QString dir = rootPath();
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

void MailutilsServer::launch()
{
    // Taken down with the test, even if the test crashes.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const QStringList pop3d{kPop3d, QStringLiteral("--config-file=") + path(QStringLiteral("pop3d.conf"))};
    if (m_account.dropPrivileges) {
        // The death signal is cleared with the change of user: set again.
        m_process.start(QStringLiteral("setpriv"),
                        QStringList{QStringLiteral("--reuid=%1").arg(m_account.uid),
                                    QStringLiteral("--regid=%1").arg(m_account.gid), QStringLiteral("--clear-groups"),
                                    QStringLiteral("--pdeathsig=TERM")}
                            + pop3d);
    } else {
        m_process.start(pop3d.first(), pop3d.mid(1));
    }
}

QByteArray MailutilsServer::storedForm(const QByteArray &message) const
{
    return QByteArray(message).replace("\r\n", "\n");
}
