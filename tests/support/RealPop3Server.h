#pragma once
// A real POP3 server for integration tests, the one interface of Dovecot and
// GNU mailutils pop3d: a child process on a free loopback port with its own
// configuration, users and Maildirs, all in a temporary folder that goes
// away with the object. Run as root, the server runs as "nobody" and every
// file it needs is handed to that user. A test that runs against either
// names it ("dovecot", "mailutils"), as its CTest labels do:
//
//     std::unique_ptr<RealPop3Server> server = RealPop3Server::makeForTest(name);
//     if (!server)
//         return; // skipped
//     const QString alice = server->loginName(QStringLiteral("alice"));
//     server->addUser(alice, QStringLiteral("secret"));
//     server->deliver(alice, "Subject: hi\r\n\r\nbody\r\n");
//     QVERIFY2(server->start(), qPrintable(server->errorString()));

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class RealPop3Server
{
public:
    virtual ~RealPop3Server();
    RealPop3Server(const RealPop3Server &) = delete;
    RealPop3Server &operator=(const RealPop3Server &) = delete;

    // The servers a test can name; make() returns null for any other name.
    static QStringList names();
    static std::unique_ptr<RealPop3Server> make(const QString &name);
    // For a test: the named server, or null with the test skipped when the
    // server cannot run here.
    static std::unique_ptr<RealPop3Server> makeForTest(const QString &name);

    virtual QString name() const = 0;
    // Empty when the server is installed and can run here; else why not.
    virtual QString cannotRunReason() const = 0;

    // What `user` logs in as: the name itself on Dovecot, "user@example.org"
    // on mailutils, whose users belong to a domain.
    virtual QString loginName(const QString &user) const = 0;
    // Users may be added before or while the server runs. Logins and
    // passwords must not contain ':', '/' or line ends.
    virtual bool addUser(const QString &login, const QString &password) = 0;
    // Puts one mail into the user's Maildir/new, stored as the server
    // stores mails (storedForm); mails are numbered in delivery order.
    bool deliver(const QString &login, const QByteArray &message);
    // The bytes a delivered mail is stored as: as given on Dovecot, with LF
    // line ends on mailutils (the server sends CR LF again).
    virtual QByteArray storedForm(const QByteArray &message) const { return message; }
    // The user's mails as the files hold them, in delivery order (a server
    // renames a file when it sets flags, but keeps the front).
    QList<QByteArray> storedMails(const QString &login) const;
    virtual QString maildir(const QString &login) const = 0;

    // Starts the server and waits (bounded) until it greets. False with
    // errorString() on failure.
    bool start();
    // SIGTERM, then waits for the exit. Also done on destruction.
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // The server's own output and log, for failure messages.
    virtual QString log() const;
    QString rootPath() const { return m_dir.path(); }

protected:
    // The account the server runs as: the test's own, or a plain one that
    // root hands the server to.
    struct Account
    {
        uint uid = 0;
        uint gid = 0;
        QString userName;
        QString groupName;
        bool dropPrivileges = false;
    };
    // The test's own account.
    static Account testAccount();
    // The account "nobody" in this group ("" for its own); the test's own
    // when there is no such user or group.
    static Account nobody(const char *group = "");

    // The temporary folder's name begins with `prefix`; it is made readable
    // for the server's account and these folders are made in it.
    RealPop3Server(const QString &prefix, const Account &account, const QStringList &folders);

    // The program's name in messages and in its output file "<name>.out".
    virtual QString processName() const = 0;
    // Writes the configuration for a start on port().
    virtual bool writeConfig() = 0;
    // Starts m_process with that configuration, as the server's account,
    // taken down with the test even if the test crashes.
    virtual void launch() = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Hands a file or folder to the server's account.
    void handOver(const QString &path) const;
    // Makes `folder` and everything up to it below the temporary folder,
    // with new, cur and tmp, handed over; false when it cannot.
    bool makeMaildir(const QString &folder) const;
    // A port nobody listens on right now; 0 when none could be found.
    static quint16 freeLoopbackPort();

    const Account m_account;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;

private:
    bool waitUntilAnswering();

    QTemporaryDir m_dir;
    int m_delivered = 0;
};
