#pragma once
// What the settings store keeps about signing in to one server and port,
// beside the certificate pins and under the same "host:port" keys:
//   [TlsLogins]           host:port=true   Mailvane logged in there over TLS
//   [CleartextPasswords]  host:port=true   the user let the password go out
//                                          unencrypted there
//   [SignInMethods]       host:port=NAME   the sign-in method(s) to use there
// A missing TLS where a pin or a TLS login exists is a downgrade: the
// server and port are known to speak TLS.

#include <QString>
#include <QStringList>

class SignInSettings
{
public:
    // The program's own settings store.
    SignInSettings();
    // Another settings file (tests of the store itself).
    explicit SignInSettings(const QString &settingsFile);

    bool loggedInOverTls(const QString &host, int port) const;
    void rememberTlsLogin(const QString &host, int port);

    bool cleartextAllowed(const QString &host, int port) const;
    void allowCleartext(const QString &host, int port);

    // The method names of the entry, in order (separated by commas or
    // blanks, as written); empty when there is none.
    QStringList forcedMethods(const QString &host, int port) const;

    // Where the store lives and the names of its entries, for messages that
    // tell how to undo a choice.
    QString storeFileName() const;
    static QString tlsLoginsGroup();
    static QString cleartextGroup();
    static QString methodsGroup();

private:
    bool flag(const QString &group, const QString &host, int port) const;
    void setFlag(const QString &group, const QString &host, int port);

    QString m_settingsFile; // empty: the program's store
};
