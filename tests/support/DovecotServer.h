#pragma once
// A real Dovecot POP3 server for integration tests (see RealPop3Server): a
// password file and a Maildir per user. Failed logins are not slowed down,
// plain-text logins are allowed.
//
//     if (!DovecotServer::isAvailable())
//         QSKIP(qPrintable(DovecotServer::unavailableReason()));
//     DovecotServer dovecot;
//     dovecot.addUser("alice", "secret");
//     dovecot.deliver("alice", "Subject: hi\r\n\r\nbody\r\n");
//     QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));

#include "RealPop3Server.h"

class DovecotServer : public RealPop3Server
{
public:
    DovecotServer();

    // Dovecot with its POP3 parts is installed (Debian: dovecot-pop3d).
    static bool isAvailable();
    static QString unavailableReason();

    QString name() const override { return QStringLiteral("dovecot"); }
    QString cannotRunReason() const override;
    QString loginName(const QString &user) const override { return user; }
    // Names and passwords must not contain ':', '/' or line ends.
    bool addUser(const QString &name, const QString &password) override;
    // A user whose password entry is given as stored, "{SCHEME}data" (e.g.
    // a {SCRAM-SHA-256} hash).
    bool addUserStored(const QString &name, const QString &storedPassword);
    // The SASL mechanisms offered (Dovecot's auth_mechanisms, e.g. "plain
    // cram-md5 scram-sha-256 apop"; "apop" puts a stamp in the greeting);
    // "plain" unless set. Call before start().
    void setAuthMechanisms(const QString &mechanisms) { m_mechanisms = mechanisms; }
    QString maildir(const QString &user) const override;
    QString log() const override;

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
    quint16 tlsPort() const { return m_tlsPort; }

    // Removes the user's mails. With dropIndexes, Dovecot's index files go
    // too, so the same mails would get new UIDLs.
    void clearMailbox(const QString &user, bool dropIndexes = false);

protected:
    QString processName() const override { return QStringLiteral("dovecot"); }
    bool writeConfig() override;
    void launch() override;

private:
    quint16 m_tlsPort = 0;
    bool m_tls = false;
    QString m_introspectionUrl;
    QString m_mechanisms = QStringLiteral("plain");
};
