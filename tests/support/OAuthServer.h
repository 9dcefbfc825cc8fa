#pragma once
// The local authorization server (mailvane_oauth_server) as a child of the
// test: started on a free loopback port, told how to behave through its
// control file, its request log read back, stopped with the object. Also
// the provider record that points Mailvane at it, and the fake browser.
//
//     OAuthServer server;
//     QVERIFY2(server.start(), qPrintable(server.errorString()));
//     server.set("consent", "deny");
//     OAuthProvider provider = server.provider();

#include "net/OAuthProvider.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class OAuthServer
{
public:
    OAuthServer();
    ~OAuthServer();
    OAuthServer(const OAuthServer &) = delete;
    OAuthServer &operator=(const OAuthServer &) = delete;

    bool start();
    void stop();
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>/<path>"
    QString url(const QString &path) const;

    // One line of the control file; the server reads it at every request.
    void set(const QString &key, const QString &value);
    // The request log: "METHOD PATH field ...", one line per request.
    QStringList log() const;
    QStringList log(const QString &path) const; // the lines for one path

    // XOAUTH2 against this server, client id "mailvane-test", for every
    // server "127.0.0.1" port.
    OAuthProvider provider(const QString &id = QStringLiteral("Test")) const;

    // Asks the server directly (a blocking POST of a form), e.g. to revoke
    // a token; the answer's body, or a text in angle brackets.
    QByteArray post(const QString &path, const QByteArray &form) const;

    // The folder that holds the fake browser "xdg-open" (put it first on
    // PATH), and the script itself. MAILVANE_FAKE_BROWSER=follow (the
    // default) fetches the URL in the background and follows its
    // redirects; "ignore" does nothing; "fail" exits with 1. With
    // MAILVANE_FAKE_BROWSER_LOG set it appends each URL there, with
    // MAILVANE_FAKE_BROWSER_PAGE it saves the last page.
    static QString fakeBrowserFolder();
    static QString fakeBrowser();

private:
    void writeControl();

    QTemporaryDir m_dir;
    QProcess m_process;
    QMap<QString, QString> m_control;
    quint16 m_port = 0;
    QString m_error;
};
