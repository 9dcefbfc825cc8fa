#pragma once
// A real GNU mailutils pop3d for integration tests: a child process on a
// free loopback port with its own configuration, virtual users in a
// passwd-format file with crypt hashes, and a Maildir per user, all in a
// temporary folder that goes away with the object.
//
// Users log in as "name@domain". The server locks a mailbox per session: a
// second login to it gets "-ERR [IN-USE] Mailbox in use" until the first
// session has quit. Run as root, the server runs as "nobody" in group
// "mail" and every file it needs is handed to that user.
//
// It differs from Dovecot in what a client sees: a mail without an
// "X-UIDL:" header gets one (its UIDL) added after its last header line,
// in what TOP and RETR send and in the stored file once a session ends;
// TOP sends one empty line more after the header; the greeting carries an
// APOP time stamp; and a TOP or RETR reply goes out in several pieces with
// Nagle's algorithm on.
//
//     if (!MailutilsServer::isAvailable())
//         QSKIP(qPrintable(MailutilsServer::unavailableReason()));
//     MailutilsServer pop3d;
//     pop3d.addUser("alice@example.org", "secret");
//     pop3d.deliver("alice@example.org", "Subject: hi\r\n\r\nbody\r\n");
//     QVERIFY2(pop3d.start(), qPrintable(pop3d.errorString()));

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class MailutilsServer
{
public:
    MailutilsServer();
    ~MailutilsServer();
    MailutilsServer(const MailutilsServer &) = delete;
    MailutilsServer &operator=(const MailutilsServer &) = delete;

    // pop3d and openssl are installed (Debian: mailutils-pop3d, openssl),
    // and pop3d may take the group "mail" (root, or that primary group).
    static bool isAvailable();
    static QString unavailableReason();

    // `login` is "name@domain". Users may be added before or while the
    // server runs. Logins and passwords must not contain ':', '/' or line
    // ends.
    bool addUser(const QString &login, const QString &password);

    // Starts the server and waits (bounded) until it greets. False with
    // errorString() on failure.
    bool start();
    // SIGTERM, then waits for the exit. Also done on destruction.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // The server's own log, for failure messages.
    QString log() const;

    // Puts one mail into the user's Maildir/new, stored with LF line ends
    // as Maildir files are (the server sends CR LF again). Mails are
    // numbered in the order they were delivered.
    bool deliver(const QString &login, const QByteArray &message);
    // The stored mails of the user, oldest first, as the files hold them.
    QList<QByteArray> storedMails(const QString &login) const;
    QString maildir(const QString &login) const;
    QString rootPath() const { return m_dir.path(); }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool writeConfig();
    bool waitUntilAnswering();
    void handOver(const QString &path) const; // to the server's user
    QString cryptHash(const QString &password);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    int m_delivered = 0;
    QString m_error;
    // The account the server runs as.
    uint m_uid = 0;
    uint m_gid = 0;
    bool m_dropPrivileges = false;
};
