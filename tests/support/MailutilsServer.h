#pragma once
// A real GNU mailutils pop3d for integration tests (see RealPop3Server):
// virtual users in a passwd-format file per domain with crypt hashes, and a
// Maildir per user, its files with LF line ends.
//
// Users log in as "name@domain". The server locks a mailbox per session: a
// second login to it gets "-ERR [IN-USE] Mailbox in use" until the first
// session has quit. Run as root, the server runs as "nobody" in group
// "mail".
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

#include "RealPop3Server.h"

class MailutilsServer : public RealPop3Server
{
public:
    MailutilsServer();

    // pop3d and openssl are installed (Debian: mailutils-pop3d, openssl),
    // and pop3d may take the group "mail" (root, or that primary group).
    static bool isAvailable();
    static QString unavailableReason();

    QString name() const override { return QStringLiteral("mailutils"); }
    QString cannotRunReason() const override;
    QString loginName(const QString &user) const override { return user + QStringLiteral("@example.org"); }
    // `login` is "name@domain".
    bool addUser(const QString &login, const QString &password) override;
    QByteArray storedForm(const QByteArray &message) const override;
    QString maildir(const QString &login) const override;

protected:
    QString processName() const override { return QStringLiteral("pop3d"); }
    bool writeConfig() override;
    void launch() override;

private:
    QString cryptHash(const QString &password);
};
