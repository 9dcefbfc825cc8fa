// A private Dovecot: its configuration, users and TLS certificate.

#include "DovecotServer.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslSocket>

#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
const QString kDovecot = QStringLiteral("/usr/sbin/dovecot");
const QString kPop3 = QStringLiteral("/usr/lib/dovecot/pop3");
const QString kPop3Login = QStringLiteral("/usr/lib/dovecot/pop3-login");

using kit::writeFile;
} // namespace

DovecotServer::DovecotServer()
    // Dovecot runs as a plain user; as root we hand it to "nobody".
    : RealPop3Server(QStringLiteral("mailvane-dovecot"), ::geteuid() == 0 ? nobody() : testAccount(),
                     {QStringLiteral("run"), QStringLiteral("state"), QStringLiteral("home"), QStringLiteral("users")})
{
}

bool DovecotServer::isAvailable()
{
    return QFileInfo(kDovecot).isExecutable() && QFileInfo::exists(kPop3)
           && QFileInfo::exists(kPop3Login);
}

QString DovecotServer::cannotRunReason() const
{
    return isAvailable() ? QString() : unavailableReason();
}

QString DovecotServer::unavailableReason()
{
    return QStringLiteral("Dovecot with POP3 (%1, %2) is not installed; the project's scripts "
                          "install it (Debian package dovecot-pop3d)")
        .arg(kDovecot, kPop3);
}

QString DovecotServer::maildir(const QString &user) const
{
    return path(QStringLiteral("home/") + user + QStringLiteral("/Maildir"));
}

bool DovecotServer::addUser(const QString &name, const QString &password)
{
    if (password.contains(QLatin1Char(':'))) {
        m_error = QStringLiteral("unusable user name or password");
        return false;
    }
    return addUserStored(name, QStringLiteral("{PLAIN}") + password);
}

bool DovecotServer::addUserStored(const QString &name, const QString &password)
{
    if (name.isEmpty() || name.contains(QLatin1Char(':')) || password.contains(QLatin1Char(':'))
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\n'))
        || password.contains(QLatin1Char('\n'))) {
        m_error = QStringLiteral("unusable user name or password");
        return false;
    }
    const QString home = path(QStringLiteral("home/") + name);
    if (!makeMaildir(maildir(name))) {
        m_error = QStringLiteral("cannot make the Maildir of ") + name;
        return false;
    }
    const QString line = QStringLiteral("%1:%2:%3:%4::%5::\n")
                             .arg(name, password)
                             .arg(m_account.uid)
                             .arg(m_account.gid)
                             .arg(home);
    // One password file per user: Dovecot rereads a changed file at most
    // once a second, but opens a new user's file at the first login.
    const QString file = path(QStringLiteral("users/") + name);
    if (QFileInfo::exists(file) || !writeFile(file, line.toUtf8())) {
        m_error = QStringLiteral("cannot write the password file of ") + name;
        return false;
    }
    handOver(file);
    return true;
}

bool DovecotServer::enableTls(const QString &certificateFile, const QString &keyFile)
{
    const QString cert = path(QStringLiteral("cert.pem"));
    const QString key = path(QStringLiteral("key.pem"));
    QFile::remove(cert);
    QFile::remove(key);
    if (!QFile::copy(certificateFile, cert) || !QFile::copy(keyFile, key)) {
        m_error = QStringLiteral("cannot copy the certificate or key");
        return false;
    }
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    handOver(cert);
    handOver(key);
    m_tls = true;
    return true;
}

void DovecotServer::enableOAuth(const QString &introspectionUrl)
{
    m_introspectionUrl = introspectionUrl;
}

bool DovecotServer::replaceCertificate(const QString &certificateFile, const QString &keyFile)
{
    const QList<QSslCertificate> wanted = QSslCertificate::fromPath(certificateFile);
    if (!m_tls || !isRunning() || wanted.isEmpty() || !enableTls(certificateFile, keyFile)) {
        m_error = QStringLiteral("cannot replace the certificate");
        return false;
    }
    // SIGHUP: the master rereads its configuration, and new login processes
    // load the new files.
    ::kill(pid_t(m_process.processId()), SIGHUP);
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QSslSocket probe;
        probe.setPeerVerifyMode(QSslSocket::VerifyNone);
        probe.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_tlsPort);
        if (probe.waitForEncrypted(2000) && probe.peerCertificate() == wanted.first())
            return true;
        m_process.waitForFinished(20);
    }
    m_error = QStringLiteral("dovecot still serves the old certificate:\n") + log();
    return false;
}

bool DovecotServer::writeConfig()
{
    static int instances = 0;
    do {
        m_tlsPort = m_tls ? freeLoopbackPort() : 0;
    } while (m_tls && m_tlsPort == port());
    const QString dir = rootPath();
    QString conf;
    conf += QStringLiteral("instance_name = mailvane-test-%1-%2\n")
                .arg(QCoreApplication::applicationPid())
                .arg(++instances);
    conf += QStringLiteral("base_dir = %1/run\n").arg(dir);
    conf += QStringLiteral("state_dir = %1/state\n").arg(dir);
    conf += QStringLiteral("log_path = %1/dovecot.log\n").arg(dir);
    conf += QStringLiteral("protocols = pop3\n"
                           "listen = 127.0.0.1\n"
                           "disable_plaintext_auth = no\n"
                           "auth_failure_delay = 0\n");
    conf += QStringLiteral("auth_mechanisms = %1%2\n")
                .arg(m_mechanisms, m_introspectionUrl.isEmpty() ? QString() : QStringLiteral(" xoauth2 oauthbearer"));
    conf += QStringLiteral("default_internal_user = %1\n").arg(m_account.userName);
    conf += QStringLiteral("default_internal_group = %1\n").arg(m_account.groupName);
    conf += QStringLiteral("default_login_user = %1\n").arg(m_account.userName);
    conf += QStringLiteral("first_valid_uid = 1\n"
                           "first_valid_gid = 1\n"
                           "mail_location = maildir:~/Maildir\n");
    if (m_tls) {
        conf += QStringLiteral("ssl = yes\nssl_cert = <%1/cert.pem\nssl_key = <%1/key.pem\n").arg(dir);
    } else {
        conf += QStringLiteral("ssl = no\n");
    }
    if (m_introspectionUrl.isEmpty()) {
        conf += QStringLiteral("passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/users/%u\n}\n").arg(dir);
    } else {
        // Tokens go to the token service only, passwords to the file only.
        conf += QStringLiteral("passdb {\n  driver = passwd-file\n  mechanisms = %2\n"
                               "  args = scheme=PLAIN %1/users/%u\n}\n"
                               "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
                               "  args = %1/oauth2.conf.ext\n}\n")
                    .arg(dir, m_mechanisms);
        // Dovecot trusts "active": the token service decides expiry.
        const QString oauth = QStringLiteral("introspection_mode = post\n"
                                             "introspection_url = %1\n"
                                             "username_attribute = username\n"
                                             "active_attribute = active\n"
                                             "active_value = true\n"
                                             "force_introspection = yes\n")
                                  .arg(m_introspectionUrl);
        if (!writeFile(path(QStringLiteral("oauth2.conf.ext")), oauth.toUtf8()))
            return false;
        handOver(path(QStringLiteral("oauth2.conf.ext")));
    }
    conf += QStringLiteral("userdb {\n  driver = passwd-file\n  args = %1/users/%u\n}\n").arg(dir);
    conf += QStringLiteral("service pop3-login {\n"
                           "  chroot =\n"
                           "  inet_listener pop3 {\n"
                           "    address = 127.0.0.1\n"
                           "    port = %1\n"
                           "  }\n"
                           "  inet_listener pop3s {\n")
                .arg(m_port);
    if (m_tls)
        conf += QStringLiteral("    address = 127.0.0.1\n    port = %1\n    ssl = yes\n").arg(m_tlsPort);
    else
        conf += QStringLiteral("    port = 0\n");
    conf += QStringLiteral("  }\n"
                           "}\n"
                           // Failed logins must not slow later tests down.
                           "service anvil {\n"
                           "  chroot =\n"
                           "  unix_listener anvil-auth-penalty {\n"
                           "    mode = 0\n"
                           "  }\n"
                           "}\n");
    const QString file = path(QStringLiteral("dovecot.conf"));
    if (!writeFile(file, conf.toUtf8()))
        return false;
    handOver(file);
    return true;
}

void DovecotServer::launch()
{
    const bool drop = m_account.dropPrivileges;
    const uid_t uid = m_account.uid;
    const gid_t gid = m_account.gid;
    m_process.setChildProcessModifier([drop, uid, gid] {
        if (drop) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        }
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process.start(kDovecot, {QStringLiteral("-c"), path(QStringLiteral("dovecot.conf")), QStringLiteral("-F")});
}

QString DovecotServer::log() const
{
    QString text;
    for (const char *name : {"dovecot.out", "dovecot.log"}) {
        QFile file(path(QString::fromLatin1(name)));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(file.readAll());
    }
    return text;
}

void DovecotServer::clearMailbox(const QString &user, bool dropIndexes)
{
    const QString box = maildir(user);
    for (const char *sub : {"new", "cur", "tmp"}) {
        QDir dir(box + QLatin1Char('/') + QString::fromLatin1(sub));
        const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString &file : files)
            dir.remove(file);
    }
    if (dropIndexes) {
        QDir dir(box);
        const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString &file : files)
            dir.remove(file);
    }
}
