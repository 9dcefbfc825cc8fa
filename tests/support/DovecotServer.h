#pragma once
// A real Dovecot POP3 server for integration tests: a child process on a
// free loopback port with its own configuration, password file and Maildir
// per user, all in a temporary folder that goes away with the object.
// Failed logins are not slowed down, plain-text logins are allowed.
//
// Run as root, the server runs as "nobody" and every file it needs is
// handed to that user.
//
//     if (!DovecotServer::isAvailable())
//         QSKIP(qPrintable(DovecotServer::unavailableReason()));
//     DovecotServer dovecot;
//     dovecot.addUser("alice", "secret");
//     dovecot.deliver("alice", "Subject: hi\r\n\r\nbody\r\n");
//     QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class DovecotServer
{
public:
    DovecotServer();
    ~DovecotServer();
    DovecotServer(const DovecotServer &) = delete;
    DovecotServer &operator=(const DovecotServer &) = delete;

    // Dovecot with its POP3 parts is installed (Debian: dovecot-pop3d).
    static bool isAvailable();
    static QString unavailableReason();

    // Users may be added before or while the server runs. Names and
    // passwords must not contain ':' or line ends.
    bool addUser(const QString &name, const QString &password);
    // Serves POP3S on a second port and offers STLS on the plain one; call
    // before start(). The files are copied.
    bool enableTls(const QString &certificateFile, const QString &keyFile);
    // Also signs in with OAuth 2.0 (XOAUTH2, OAUTHBEARER) through Dovecot's
    // oauth2 passdb, which asks this RFC 7662 introspection URL about each
    // token; password logins keep to the password file. Call before start().
    void enableOAuth(const QString &introspectionUrl);
    // While running with TLS: serves this certificate instead, on the same
    // ports, and returns once (bounded) a new connection is handed it.
    bool replaceCertificate(const QString &certificateFile, const QString &keyFile);

    // Starts the server and waits (bounded) until it greets. False with
    // errorString() on failure.
    bool start();
    // SIGTERM, then waits for the exit. Also done on destruction.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }
    QString errorString() const { return m_error; }
    // Dovecot's own log, for failure messages.
    QString log() const;

    // Puts one mail, exactly these bytes, into the user's Maildir/new; mails
    // are numbered in the order they were delivered. Returns false on
    // failure.
    bool deliver(const QString &user, const QByteArray &message);
    // Removes the user's mails. With dropIndexes, Dovecot's index files go
    // too, so the same mails would get new UIDLs.
    void clearMailbox(const QString &user, bool dropIndexes = false);
    QString maildir(const QString &user) const;
    QString rootPath() const { return m_dir.path(); }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool writeConfig();
    bool waitUntilAnswering();
    void handOver(const QString &path) const; // to the server's user

    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_users;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    bool m_tls = false;
    QString m_introspectionUrl;
    int m_delivered = 0;
    QString m_error;
    // The account the server runs as.
    uint m_uid = 0;
    uint m_gid = 0;
    QString m_userName;
    QString m_groupName;
    bool m_dropPrivileges = false;
};
