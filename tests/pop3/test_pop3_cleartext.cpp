// The password never goes out readable by surprise. On a plain connection
// to another machine the window asks once per server and port before USER
// goes out (Yes is remembered, No sends nothing, the tray never asks); a
// server and port known to speak TLS (a pinned certificate, an earlier TLS
// login) that offers no STLS is a downgrade and stops the login before
// USER, on loopback too. A relay that strips STLS from the CAPA reply of a
// real TLS Dovecot shows the downgrade the way an attacker would cause it.
//
// Most window tests log in to 127.0.0.1, where the password never leaves
// the machine and nothing is asked. The question is shown against this
// machine's own non-loopback address, which the scripted server listens on.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "net/SignInSettings.h"
#include "net/TcpClientSocket.h"
#include "TestCertificates.h"
#include "TlsDovecot.h"
#include "WindowTestKit.h"

#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <utility>

namespace {

const QString Question = QStringLiteral("does not offer a secure connection (STLS): your password would go to it "
                                        "unencrypted");
const QString Downgrade = QStringLiteral("did not offer a secure connection (STLS) this time, although ");

QSettings settings()
{
    return QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"));
}

// An address of this machine that is not loopback; null when it has none.
QHostAddress ownRemoteAddress()
{
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLinkLocal())
            return address;
    }
    return QHostAddress();
}

// A POP3 relay between the window and a server, as someone on the path
// would run it: it passes everything on, or takes the named capabilities out
// of the server's plain-text lines and keeps what the client sent in plain
// text. After the answer to STLS the bytes are TLS and pass untouched.
class CapaRewriter : public QObject
{
public:
    explicit CapaRewriter(quint16 upstream)
        : m_upstream(upstream)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection())
                relay(client);
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }
    // Capability lines ("STLS", "PIPELINING") taken out of the next
    // connections' plain text; none: everything passes.
    void setDropping(const QList<QByteArray> &names) { m_dropping = names; }
    // The lines the client sent in plain text while dropping.
    QList<QByteArray> clientLines() const { return m_clientLines; }

private:
    struct Plain
    {
        QByteArray fromServer;
        QByteArray fromClient;
        bool stlsSent = false;
        bool over = false; // TLS from here on
    };

    void relay(QTcpSocket *client)
    {
        auto *server = new QTcpSocket(client);
        auto plain = std::make_shared<Plain>();
        const QList<QByteArray> dropping = m_dropping;
        connect(server, &QTcpSocket::readyRead, client, [=] {
            if (dropping.isEmpty() || plain->over) {
                client->write(server->readAll());
                return;
            }
            plain->fromServer.append(server->readAll());
            qsizetype end;
            while (!plain->over && (end = plain->fromServer.indexOf("\r\n")) >= 0) {
                const QByteArray line = plain->fromServer.left(end + 2);
                plain->fromServer.remove(0, end + 2);
                if (!dropping.contains(line.trimmed().toUpper()))
                    client->write(line);
                // The client sends STLS only once the list is in: this line
                // is its answer.
                plain->over = plain->stlsSent;
            }
            if (plain->over)
                client->write(std::exchange(plain->fromServer, QByteArray()));
        });
        connect(client, &QTcpSocket::readyRead, server, [=] {
            const QByteArray data = client->readAll();
            if (!dropping.isEmpty() && !plain->stlsSent) {
                plain->fromClient.append(data);
                qsizetype end;
                while (!plain->stlsSent && (end = plain->fromClient.indexOf("\r\n")) >= 0) {
                    const QByteArray line = plain->fromClient.left(end + 2);
                    m_clientLines.append(line);
                    plain->fromClient.remove(0, end + 2);
                    plain->stlsSent = line.trimmed().toUpper() == "STLS";
                }
            }
            server->write(data);
        });
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        server->connectToHost(QHostAddress::LocalHost, m_upstream);
    }

    QTcpServer m_server;
    quint16 m_upstream;
    QList<QByteArray> m_dropping;
    QList<QByteArray> m_clientLines;
};

// A window filled in to log in to real Dovecot (STLS on its plain port)
// through a relay.
struct RelayedTlsLogin
{
    TestCertificates certificates;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<CapaRewriter> relay;
    RecordedWindow f;

    // False when there is no Dovecot to test against.
    bool start()
    {
        if (QSslSocket::supportsSsl())
            certificates.make();
        const QString password = QStringLiteral("pw");
        dovecot = startTlsDovecot(certificates, QStringLiteral("good.pem"), password);
        if (!dovecot)
            return false;
        relay = std::make_unique<CapaRewriter>(dovecot->port());
        f.w.sockPOP3->addCaCertificates(certificates.ca());
        kit::fillLogin(f.w, relay->port(), TlsUser, password);
        return true;
    }
};

} // namespace

Q_DECLARE_METATYPE(MsgAnswer)

class TestPop3Cleartext : public QObject
{
    Q_OBJECT
private slots:
    void init() { settings().clear(); }

    void askedOnceBeforeThePasswordLeavesTheMachine_data()
    {
        QTest::addColumn<QList<QByteArray>>("capabilities"); // empty: CAPA refused
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<bool>("inTray");
        QTest::newRow("Yes, no STLS in CAPA") << QList<QByteArray>{"TOP", "USER", "UIDL"} << MsgAnswer::Yes << false;
        QTest::newRow("Yes, CAPA refused") << QList<QByteArray>() << MsgAnswer::Yes << false;
        QTest::newRow("No") << QList<QByteArray>{"USER"} << MsgAnswer::No << false;
        QTest::newRow("in the tray nobody is asked") << QList<QByteArray>{"USER"} << MsgAnswer::Yes << true;
    }
    void askedOnceBeforeThePasswordLeavesTheMachine()
    {
        QFETCH(QList<QByteArray>, capabilities);
        QFETCH(MsgAnswer, answer);
        QFETCH(bool, inTray);
        const QHostAddress address = ownRemoteAddress();
        if (address.isNull())
            QSKIP("This machine has no address but loopback to be reached on.");
        WindowFixture f;
        QVERIFY(f.server.listenOn(address));
        const auto greeting = [&] {
            if (capabilities.isEmpty())
                Pop3Scripts::greetingWithoutCapa(f.server);
            else
                Pop3Scripts::greetingWithCapa(f.server, capabilities);
        };
        greeting();
        const bool sends = answer == MsgAnswer::Yes && !inTray;
        if (sends) {
            f.server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK\r\n");
            Pop3Scripts::stat(f.server, 1, 100);
            Pop3Scripts::uidl(f.server, {"a1"});
            Pop3Scripts::list(f.server, {100});
            Pop3Scripts::logout(f.server);
            // The second login asks nothing.
            f.server.acceptConnection();
            greeting();
            f.server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK\r\n");
            Pop3Scripts::stat(f.server, 1, 100);
            Pop3Scripts::uidl(f.server, {"a1"});
            Pop3Scripts::list(f.server, {100});
        } else {
            f.server.expectClientClose();
        }
        kit::session(f.w).bMinimized() = inTray;
        f.boxes.answers.enqueue(answer);
        kit::fillLogin(f.w, f.server.port());
        f.w.txtMailServer->setText(address.toString());
        f.w.cmdLogin_Click();
        if (!sends) {
            QTRY_VERIFY(f.server.isFinished());
            QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
            QCOMPARE(f.server.mismatches(), QStringList());
            QCOMPARE(f.server.receivedLines(), QList<QByteArray>{"CAPA\r\n"});
            QCOMPARE(f.boxes.boxes.size(), inTray ? 0 : 1);
            QVERIFY(!settings().contains(SignInSettings::cleartextGroup() + u'/' + address.toString() + u':'
                                         + QString::number(f.server.port())));
            if (!inTray)
                QVERIFY2(f.boxes.boxes.at(0).text.contains(Question), qPrintable(f.boxes.boxes.at(0).text));
            return;
        }
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.boxes.size(), 1);
        const QString text = f.boxes.boxes.at(0).text;
        QVERIFY2(text.contains(Question), qPrintable(text));
        QVERIFY2(text.contains(address.toString() + QStringLiteral(" port ") + QString::number(f.server.port())),
                 qPrintable(text));
        QCOMPARE(f.boxes.boxes.at(0).buttons, MsgButtons::YesNo);
        QVERIFY(settings()
                    .value(SignInSettings::cleartextGroup() + u'/' + address.toString() + u':'
                           + QString::number(f.server.port()))
                    .toBool());
        f.boxes.answers.enqueue(MsgAnswer::Yes); // Confirm Logout?
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.texts().size(), 2); // the question and Confirm Logout? only
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void knownTlsServerWithoutStlsIsADowngrade_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("why");
        QTest::addColumn<bool>("capaRefused");
        QTest::addColumn<bool>("inTray");
        const QString pin = QStringLiteral("Certificates");
        const QString tls = SignInSettings::tlsLoginsGroup();
        const QString pinned = QStringLiteral("you trust a certificate for it");
        const QString before = QStringLiteral("Mailvane has logged in to it over TLS before");
        QTest::newRow("pinned certificate, no STLS") << pin << pinned << false << false;
        QTest::newRow("pinned certificate, CAPA refused") << pin << pinned << true << false;
        QTest::newRow("earlier TLS login, no STLS") << tls << before << false << false;
        QTest::newRow("earlier TLS login, in the tray") << tls << before << false << true;
    }
    void knownTlsServerWithoutStlsIsADowngrade()
    {
        QFETCH(QString, group);
        QFETCH(QString, why);
        QFETCH(bool, capaRefused);
        QFETCH(bool, inTray);
        WindowFixture f;
        const QString key = QStringLiteral("127.0.0.1:") + QString::number(f.server.port());
        settings().setValue(group + u'/' + key,
                            group == QLatin1String("Certificates") ? QVariant(QStringLiteral("AB:CD")) : QVariant(true));
        if (capaRefused)
            Pop3Scripts::greetingWithoutCapa(f.server);
        else
            Pop3Scripts::greetingWithCapa(f.server, {"TOP", "USER", "SASL PLAIN"});
        f.server.expectClientClose();
        kit::session(f.w).bMinimized() = inTray;
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QCOMPARE(f.server.receivedLines(), QList<QByteArray>{"CAPA\r\n"});
        QCOMPARE(f.server.mismatches(), QStringList());
        if (inTray) {
            QCOMPARE(f.boxes.texts(), QStringList());
            return;
        }
        QCOMPARE(f.boxes.boxes.size(), 1);
        const QString text = f.boxes.boxes.at(0).text;
        QVERIFY2(text.contains(Downgrade + why), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("your user name and password were not sent")), qPrintable(text));
        QVERIFY2(text.contains(key), qPrintable(text));
    }

    void relayStrippingStlsFromARealServerIsStopped()
    {
        RelayedTlsLogin login;
        if (!login.start())
            return;
        RecordedWindow &f = login.f;
        // Once over TLS through the path...
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QVERIFY(f.w.sockPOP3->isEncrypted());
        QVERIFY(kit::logout(f.w, f.boxes));
        // ...then someone on it takes STLS out of the list.
        login.relay->setDropping({"STLS"});
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QCOMPARE(f.boxes.boxes.size(), 2);
        const QString text = f.boxes.boxes.at(1).text;
        QVERIFY2(text.contains(Downgrade + QStringLiteral("Mailvane has logged in to it over TLS before")),
                 qPrintable(text));
        QCOMPARE(login.relay->clientLines(), QList<QByteArray>{"CAPA\r\n"});
    }

    void upgradeAsksForTheListAgain()
    {
        // What a server lists before STLS could come from anyone on the path,
        // and a server may list more once encrypted: the window asks again
        // after the upgrade and goes by that answer. Real Dovecot lists
        // PIPELINING; the relay takes it out of the plain-text list.
        RelayedTlsLogin login;
        if (!login.start())
            return;
        RecordedWindow &f = login.f;
        login.relay->setDropping({"PIPELINING"});
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QVERIFY(f.w.sockPOP3->isEncrypted());
        QCOMPARE(login.relay->clientLines(), (QList<QByteArray>{"CAPA\r\n", "STLS\r\n"}));
        QVERIFY(kit::session(f.w).serverPipelines());
        QVERIFY(f.boxes.boxes.isEmpty());
    }
};

QTEST_MAIN(TestPop3Cleartext)
#include "test_pop3_cleartext.moc"
