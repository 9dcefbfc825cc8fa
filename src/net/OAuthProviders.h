#pragma once
// The OAuth 2.0 sign-in services Mailvane knows: the settings file's
// sections "OAuth-<name>" first, then the presets for Microsoft and Google
// (a section "OAuth-Microsoft" or "OAuth-Google" fills in or overrides
// their fields), and the choice, for one login, whether it signs in with
// OAuth 2.0 and with which service.
//
// Keys of a section: AuthorizationUrl, TokenUrl, ClientId, ClientSecret
// (only where the service demands one), Scope, Mechanism (XOAUTH2 or
// OAUTHBEARER), Servers ("host" or "host:port", separated by commas or
// blanks), Always (true: also when a password is typed). The presets need
// only ClientId (Google's also ClientSecret): Mailvane cannot ship ids
// registered with Microsoft and Google.

#include "net/OAuthProvider.h"

#include <QList>
#include <QString>

// What one login does. `problem` is set when OAuth 2.0 is needed but the
// settings do not allow it (no client id, a bad address): the text says
// which setting to fill, and the login must not start.
struct OAuthChoice
{
    bool useOAuth = false;
    OAuthProvider provider;
    QString problem;
};

class OAuthProviders
{
public:
    // Read from the program's settings store.
    OAuthProviders();
    // Read from another settings file (tests of the settings themselves).
    explicit OAuthProviders(const QString &settingsFile);

    QList<OAuthProvider> providers() const { return m_providers; }
    // Where the settings live, for the texts that say what to fill in.
    QString settingsFileName() const { return m_fileName; }

    // The first service for the typed server and port. Microsoft's servers
    // always take OAuth 2.0; any other service only when the password box
    // is empty (a typed password is used as today, e.g. as Google's app
    // password). Depends on nothing but its arguments and what was read.
    OAuthChoice choose(const QString &user, const QString &server, int port, bool passwordEmpty) const;

    // outlook.office365.com and pop-mail.outlook.com: a Hotmail or MSN name
    // with one of them typed logs in over POP3, not HTTPMail.
    static bool isMicrosoftPop3Host(const QString &host);
    // The same, and any server that a section "OAuth-Microsoft" lists:
    // whatever answers for Microsoft takes Hotmail and MSN names over POP3.
    bool isMicrosoftServer(const QString &host) const;

    static const QString SectionPrefix; // "OAuth-"

private:
    void read(const QString &settingsFile);
    QString problemOf(const OAuthProvider &provider) const;

    QList<OAuthProvider> m_providers;
    QString m_fileName;
    // Settings that could not be read, per provider id: reported when the
    // provider is chosen, never before.
    QList<QPair<QString, QString>> m_readProblems;
};
