// Which logins sign in with OAuth 2.0, with which service, and what the
// settings file must hold for it: the presets for Microsoft and Google,
// services the settings name for other servers, and settings that cannot
// be used.

#include "net/OAuthProviders.h"

#include "base/SettingsStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray MicrosoftId = "[OAuth-Microsoft]\nClientId=11111111-2222-3333-4444-555555555555\n";
const QByteArray GoogleId = "[OAuth-Google]\nClientId=123-abc.apps.googleusercontent.com\nClientSecret=GOCSPX-x\n";
const QByteArray Company = "[OAuth-Company]\n"
                           "AuthorizationUrl=https://sso.example.com/authorize\n"
                           "TokenUrl=https://sso.example.com/token\n"
                           "ClientId=mailvane\n"
                           "Scope=mail offline_access\n"
                           "Mechanism=oauthbearer\n"
                           "Servers=pop.example.com, mail.example.org:1995\n";

} // namespace

class TestOAuthProviders : public QObject
{
    Q_OBJECT
private slots:
    void chooses_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("passwordEmpty");
        // Empty: no OAuth 2.0.
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("mechanism");
        // A part of the text that says which setting to fill; empty: none.
        QTest::addColumn<QString>("problem");

        const QString alice = QStringLiteral("alice@outlook.com");
        QTest::newRow("Microsoft, password typed: still OAuth, the id is missing")
            << QByteArray() << alice << "outlook.office365.com" << 995 << false << "Microsoft" << "XOAUTH2"
            << "enter its client id as ClientId in section [OAuth-Microsoft] of ";
        QTest::newRow("Microsoft with its client id") << MicrosoftId << alice << "outlook.office365.com" << 995
                                                      << false << "Microsoft" << "XOAUTH2" << "";
        QTest::newRow("Microsoft's other host, typed loosely")
            << MicrosoftId << alice << " POP-MAIL.Outlook.com. " << 110 << true << "Microsoft" << "XOAUTH2" << "";
        QTest::newRow("a Hotmail name with Microsoft's host")
            << MicrosoftId << "bob@hotmail.com" << "outlook.office365.com" << 995 << false << "Microsoft"
            << "XOAUTH2" << "";
        QTest::newRow("Gmail with a password: the app password, as today")
            << QByteArray() << "carol@gmail.com" << "pop.gmail.com" << 995 << false << "" << "" << "";
        QTest::newRow("Gmail without a password, no client id")
            << QByteArray() << "carol@gmail.com" << "pop.gmail.com" << 995 << true << "Google" << "XOAUTH2"
            << "ClientId in section [OAuth-Google]";
        QTest::newRow("Gmail without a password, no client secret")
            << QByteArray(GoogleId).replace("ClientSecret=GOCSPX-x\n", "") << "carol@gmail.com" << "pop.gmail.com" << 995
            << true << "Google" << "XOAUTH2" << "as ClientSecret in section [OAuth-Google] of ";
        QTest::newRow("Gmail without a password") << GoogleId << "carol@gmail.com" << "pop.gmail.com" << 995 << true
                                                  << "Google" << "XOAUTH2" << "";
        QTest::newRow("another server: no OAuth, even without a password")
            << MicrosoftId + GoogleId << "dave" << "pop.example.net" << 110 << true << "" << "" << "";
        QTest::newRow("a company service by host, any port")
            << Company << "erin" << "pop.example.com" << 995 << true << "Company" << "OAUTHBEARER" << "";
        QTest::newRow("a company service by host and port") << Company << "erin" << "mail.example.org" << 1995 << true
                                                            << "Company" << "OAUTHBEARER" << "";
        QTest::newRow("a company service, another port") << Company << "erin" << "mail.example.org" << 995 << true
                                                          << "" << "" << "";
        QTest::newRow("a company service, password typed")
            << Company << "erin" << "pop.example.com" << 995 << false << "" << "" << "";
        QTest::newRow("a company service that refuses passwords")
            << Company + "Always=true\n" << "erin" << "pop.example.com" << 995 << false << "Company" << "OAUTHBEARER"
            << "";
        QTest::newRow("a company service over plain http")
            << QByteArray(Company).replace("https://sso.example.com/token", "http://sso.example.com/token") << "erin"
            << "pop.example.com" << 995 << true << "Company" << "OAUTHBEARER"
            << "TokenUrl in section [OAuth-Company] of ";
        QTest::newRow("plain http to this computer is fine")
            << QByteArray(Company).replace("https://sso.example.com/", "http://127.0.0.1:8080/") << "erin"
            << "pop.example.com" << 995 << true << "Company" << "OAUTHBEARER" << "";
        QTest::newRow("a company service without its token URL")
            << QByteArray(Company).replace("TokenUrl=https://sso.example.com/token\n", "") << "erin"
            << "pop.example.com" << 995 << true << "Company" << "OAUTHBEARER" << "needs TokenUrl";
        QTest::newRow("a company service without its client id")
            << QByteArray(Company).replace("ClientId=mailvane\n", "") << "erin" << "pop.example.com" << 995 << true
            << "Company" << "OAUTHBEARER" << "ClientId in section [OAuth-Company]";
        QTest::newRow("a mechanism Mailvane does not know")
            << QByteArray(Company).replace("oauthbearer", "GSSAPI") << "erin" << "pop.example.com" << 995 << true
            << "Company" << "XOAUTH2" << "must be XOAUTH2 or OAUTHBEARER, not \"GSSAPI\"";
        QTest::newRow("a section of the settings wins over the preset")
            << Company + "[OAuth-Gmail-Work]\nAuthorizationUrl=https://sso.example.com/a\n"
                         "TokenUrl=https://sso.example.com/t\nClientId=x\nServers=pop.gmail.com\n"
            << "carol@gmail.com" << "pop.gmail.com" << 995 << true << "Gmail-Work" << "XOAUTH2" << "";
        QTest::newRow("no user name") << MicrosoftId << " " << "outlook.office365.com" << 995 << true << "Microsoft"
                                      << "XOAUTH2" << "Type your user name";
    }
    void chooses()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, user);
        QFETCH(QString, server);
        QFETCH(int, port);
        QFETCH(bool, passwordEmpty);
        QFETCH(QString, provider);
        QFETCH(QString, mechanism);
        QFETCH(QString, problem);
        const OAuthProviders providers(settingsFile(settings));
        const OAuthChoice choice = providers.choose(user, server, port, passwordEmpty);
        QCOMPARE(choice.useOAuth, !provider.isEmpty());
        QCOMPARE(choice.provider.id, provider);
        if (choice.useOAuth)
            QCOMPARE(OAuthProvider::mechanismName(choice.provider.mechanism), mechanism);
        if (problem.isEmpty()) {
            QCOMPARE(choice.problem, QString());
        } else {
            QVERIFY2(choice.problem.contains(problem), qPrintable(choice.problem));
            if (!problem.startsWith(QLatin1String("Type")))
                QVERIFY2(choice.problem.contains(providers.settingsFileName()), qPrintable(choice.problem));
        }
    }

    // The settings may point a preset elsewhere (Microsoft's "common"
    // tenant for work accounts) without naming it again in full.
    void settingsOverridePresets()
    {
        const OAuthProviders providers(
            settingsFile(MicrosoftId + "AuthorizationUrl=https://login.microsoftonline.com/common/oauth2/v2.0/authorize\n"
                                       "TokenUrl=https://login.microsoftonline.com/common/oauth2/v2.0/token\n"));
        const OAuthProvider microsoft = providers.choose(QStringLiteral("a@b.c"), QStringLiteral("outlook.office365.com"),
                                                         995, false)
                                            .provider;
        QCOMPARE(microsoft.tokenUrl.toString(), QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token"));
        QCOMPARE(microsoft.scope, OAuthProvider::microsoft().scope);
        QCOMPARE(microsoft.servers, OAuthProvider::microsoft().servers);
        QVERIFY(microsoft.always);
    }

    // Without a file name the program's own store is read.
    void readsTheProgramsStore()
    {
        {
            const auto store = SettingsStore::open();
            store->clear();
            store->setValue(QStringLiteral("OAuth-Google/ClientId"), QStringLiteral("from-the-store"));
        }
        const OAuthProviders providers;
        QVERIFY2(providers.settingsFileName().endsWith(QLatin1String("/Mailvane/Mailvane.conf")),
                 qPrintable(providers.settingsFileName()));
        const OAuthChoice choice = providers.choose(QStringLiteral("c@gmail.com"), QStringLiteral("pop.gmail.com"), 995, true);
        QCOMPARE(choice.provider.clientId, QStringLiteral("from-the-store"));
        QVERIFY2(choice.problem.contains(QLatin1String("ClientSecret")), qPrintable(choice.problem));
        SettingsStore::open()->clear();
    }

    void microsoftPop3Hosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("microsoft");
        QTest::newRow("Office 365") << "outlook.office365.com" << true;
        QTest::newRow("Outlook.com") << "pop-mail.outlook.com" << true;
        QTest::newRow("letter case, blanks, rooted") << " Outlook.Office365.COM. " << true;
        QTest::newRow("the HTTPMail domain") << "hotmail.com" << false;
        QTest::newRow("outlook.com itself") << "outlook.com" << false;
        QTest::newRow("a longer name") << "outlook.office365.com.example.net" << false;
        QTest::newRow("Gmail") << "pop.gmail.com" << false;
        QTest::newRow("empty") << "" << false;
    }
    void microsoftPop3Hosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, microsoft);
        QCOMPARE(OAuthProviders::isMicrosoftPop3Host(host), microsoft);
    }

    // A Hotmail or MSN name goes to POP3 with any server that answers for
    // Microsoft: the two hosts, and what a section "OAuth-Microsoft" lists.
    void microsoftServersFromTheSettings_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("microsoft");
        const QByteArray listed = "[OAuth-Microsoft]\nServers=127.0.0.1, pop.example.com:995\n";
        QTest::newRow("no section, Office 365") << QByteArray() << "outlook.office365.com" << true;
        QTest::newRow("no section, loopback") << QByteArray() << "127.0.0.1" << false;
        QTest::newRow("listed host") << listed << "127.0.0.1" << true;
        QTest::newRow("listed host with its port") << listed << "Pop.Example.com" << true;
        QTest::newRow("the presets' hosts stay") << listed << "pop-mail.outlook.com" << true;
        QTest::newRow("another host") << listed << "pop.example.net" << false;
        QTest::newRow("another service's servers")
            << QByteArray("[OAuth-Company]\nServers=127.0.0.1\n") << "127.0.0.1" << false;
        QTest::newRow("empty") << listed << "" << false;
    }
    void microsoftServersFromTheSettings()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, host);
        QFETCH(bool, microsoft);
        QCOMPARE(OAuthProviders(settingsFile(settings)).isMicrosoftServer(host), microsoft);
    }

private:
    QString settingsFile(const QByteArray &text)
    {
        const QString path = m_dir.filePath(QStringLiteral("settings-%1.conf").arg(++m_files));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

QTEST_GUILESS_MAIN(TestOAuthProviders)
#include "test_oauth_providers.moc"
