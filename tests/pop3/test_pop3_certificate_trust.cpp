// A server certificate that does not verify can be trusted on purpose, for
// one server and port: the user is asked once, with the fingerprint, subject
// and dates; later logins take that certificate without asking and refuse
// any other; nothing of the login goes out before the Yes; tray mode never
// trusts anything new.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "net/CertificateTrust.h"
#include "net/TcpClientSocket.h"
#include "PlatformRecorder.h"
#include "TestCertificates.h"
#include "TlsDovecot.h"
#include "window/frmMain.h"
#include "window/StatusLamp.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSslKey>
#include <QSslSocket>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

const QColor Red(255, 0, 0);
const QString Refused = QStringLiteral("The mail server's certificate was refused: ");
const QString Changed = QStringLiteral("The mail server's certificate has changed since you trusted it for ");
const QString Password = QStringLiteral("secret");

// The "[Certificates]" section of the settings file as written, "<none>"
// when there is none.
QString settingsText()
{
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Mailvane/Mailvane.conf"));
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    const qsizetype start = text.indexOf(QStringLiteral("[Certificates]\n"));
    if (start < 0)
        return QStringLiteral("<none>");
    const qsizetype end = text.indexOf(QStringLiteral("\n["), start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

QString pinLine(quint16 port, const QString &fingerprint)
{
    return QStringLiteral("[Certificates]\n127.0.0.1%3A") + QString::number(port) + u'=' + fingerprint + u'\n';
}

// Keeps the trust question open a while, as a user reading it would, with
// the window's event loop running meanwhile.
class ReadingUser : public MessageBoxRecorder
{
public:
    int readingMs = 0;
    MsgAnswer show(QWidget *parent, const QString &title, const QString &text, MsgButtons buttons,
                   MsgIcon icon) override
    {
        if (buttons == MsgButtons::YesNo && text.startsWith(Refused))
            QTest::qWait(readingMs);
        return MessageBoxRecorder::show(parent, title, text, buttons, icon);
    }
};

// A POP3 server over TLS that records every line reaching it, plain or
// encrypted, and answers each with "+OK": POP3S from the first byte, or
// STLS after a plain greeting and CAPA.
class RecordingTlsServer : public QTcpServer
{
public:
    RecordingTlsServer(const QSslCertificate &certificate, const QSslKey &key, bool implicitTls)
        : m_certificate(certificate), m_key(key), m_implicitTls(implicitTls)
    {
        listen(QHostAddress::LocalHost, 0);
    }

    QList<QByteArray> plainLines;
    QList<QByteArray> encryptedLines;
    int connections = 0;
    int closed = 0;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        ++connections;
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(socket, &QSslSocket::encrypted, this, [socket, this] {
            if (m_implicitTls)
                socket->write("+OK ready\r\n");
        });
        connect(socket, &QSslSocket::readyRead, this, [socket, this] { readLines(socket); });
        connect(socket, &QSslSocket::disconnected, this, [this] { ++closed; });
        if (m_implicitTls)
            socket->startServerEncryption();
        else
            socket->write("+OK ready\r\n");
    }

private:
    void readLines(QSslSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine();
            if (socket->isEncrypted()) {
                encryptedLines << line;
                socket->write("+OK\r\n");
                continue;
            }
            plainLines << line;
            if (line.startsWith("CAPA")) {
                socket->write("+OK\r\nSTLS\r\nUSER\r\n.\r\n");
            } else if (line.startsWith("STLS")) {
                socket->write("+OK Begin TLS negotiation now.\r\n");
                socket->startServerEncryption();
            } else {
                socket->write("+OK\r\n");
            }
        }
    }

    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_implicitTls;
};

} // namespace

class TestPop3CertificateTrust : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QSslSocket::supportsSsl())
            m_certificates.make();
    }

    void init() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void trustedOnPurposeThroughDovecot_data()
    {
        QTest::addColumn<bool>("implicitTls");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("trustTestCa");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("subject");
        // The question stays open three times as long as the wait for a
        // silent server: that wait must not end the login meanwhile.
        QTest::addColumn<int>("readingMs");
        QTest::newRow("POP3S, self-signed, question open a while")
            << true << "selfsigned.pem" << false << "the certificate is self-signed" << "CN=127.0.0.1" << 3000;
        QTest::newRow("STLS, self-signed") << false << "selfsigned.pem" << false << "the certificate is self-signed"
                                           << "CN=127.0.0.1" << 0;
        QTest::newRow("POP3S, expired") << true << "expired.pem" << true << "the certificate has expired"
                                        << "CN=127.0.0.1" << 0;
        QTest::newRow("STLS, made out to another host")
            << false << "wronghost.pem" << true << "the certificate was issued for another host, not \"127.0.0.1\""
            << "CN=mail.example.org" << 0;
    }
    void trustedOnPurposeThroughDovecot()
    {
        QFETCH(bool, implicitTls);
        QFETCH(QString, certificate);
        QFETCH(bool, trustTestCa);
        QFETCH(QString, reason);
        QFETCH(QString, subject);
        QFETCH(int, readingMs);
        std::unique_ptr<DovecotServer> dovecot = startTlsDovecot(m_certificates, certificate, Password);
        if (!dovecot)
            return;
        const QString fingerprint = m_certificates.opensslFingerprint(certificate);
        ReadingUser boxes;
        frmMain w;
        if (trustTestCa)
            w.sockPOP3->addCaCertificates(m_certificates.ca());
        if (readingMs > 0)
            w.setReplyTimeout(readingMs / 3);
        boxes.readingMs = readingMs;
        const quint16 port = kit::fillTlsLogin(w, *dovecot, implicitTls, Password);

        // First login: stopped, then the question with the certificate.
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        const MessageBoxRecorder::Box question = boxes.boxes[0];
        QCOMPARE(question.title, QStringLiteral("Mailvane"));
        QCOMPARE(question.buttons, MsgButtons::YesNo);
        QCOMPARE(question.icon, MsgIcon::Exclamation);
        QVERIFY2(question.text.startsWith(Refused + reason), qPrintable(question.text));
        for (const QString &line :
             {QStringLiteral("\r\nSubject: ") + subject + QStringLiteral("\r\n"),
              QStringLiteral("\r\nValid from: ")
                  + TestCertificates::utcText(m_certificates.opensslDate(certificate, false)) + QStringLiteral("\r\n"),
              QStringLiteral("\r\nValid until: ")
                  + TestCertificates::utcText(m_certificates.opensslDate(certificate, true)) + QStringLiteral("\r\n"),
              QStringLiteral("\r\nSHA-256 fingerprint: ") + fingerprint + QStringLiteral("\r\n"),
              QStringLiteral("Do you want to trust this certificate for 127.0.0.1 port %1 from now on?").arg(port)})
            QVERIFY2(question.text.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + question.text));

        // Yes: stored, and the login goes on over a new connection.
        QTRY_VERIFY2(kit::loggedInAndIdle(w), qPrintable(boxes.texts().join(u'|')));
        QVERIFY2(boxes.boxes.size() == 1, qPrintable(boxes.texts().join(u'|')));
        QVERIFY(w.sockPOP3->isEncrypted());
        QCOMPARE(w.lblMails->text(), QStringLiteral("2"));
        QCOMPARE(settingsText(), pinLine(port, fingerprint));

        // The next login takes it without asking.
        QVERIFY(kit::logout(w, boxes));
        w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(w));
        QCOMPARE(boxes.texts().size(), 2);
        QCOMPARE(boxes.texts().last(), QStringLiteral("Confirm Logout?"));

        // Another certificate for the same server and port is refused.
        QVERIFY2(dovecot->replaceCertificate(m_certificates.path(QStringLiteral("selfsigned2.pem")),
                                             m_certificates.path(QStringLiteral("server.key"))),
                 qPrintable(dovecot->errorString()));
        QVERIFY(kit::logout(w, boxes));
        boxes.clear();
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        const MessageBoxRecorder::Box changed = boxes.boxes[0];
        QCOMPARE(changed.title, QStringLiteral("Mailvane"));
        QCOMPARE(changed.buttons, MsgButtons::Ok);
        QCOMPARE(changed.icon, MsgIcon::Exclamation);
        QVERIFY2(changed.text.startsWith(Changed + QStringLiteral("127.0.0.1 port %1.\r\n").arg(port)
                                         + QStringLiteral("Trusted fingerprint: ") + fingerprint
                                         + QStringLiteral("\r\nPresented fingerprint: ")
                                         + m_certificates.opensslFingerprint(QStringLiteral("selfsigned2.pem"))
                                         + QStringLiteral("\r\n")),
                 qPrintable(changed.text));
        QVERIFY(changed.text.contains(QStringLiteral("your user name and password were not sent")));
        QTRY_VERIFY(kit::loggedOutAndIdle(w));
        QCOMPARE(kit::session(w).vCommand(), QString());
        QCOMPARE(w.shpStatus->FillColor(), Red);
        QCOMPARE(settingsText(), pinLine(port, fingerprint));
    }

    void refusedCertificateSendsNothing_data()
    {
        QTest::addColumn<bool>("implicitTls");
        QTest::addColumn<QString>("trusted"); // trusted before, for this server and port
        QTest::newRow("POP3S, trust declined") << true << "";
        QTest::newRow("STLS, trust declined") << false << "";
        QTest::newRow("POP3S, certificate changed") << true << "selfsigned2.pem";
        QTest::newRow("STLS, certificate changed") << false << "selfsigned2.pem";
    }
    void refusedCertificateSendsNothing()
    {
        QFETCH(bool, implicitTls);
        QFETCH(QString, trusted);
        if (!certificatesReady(m_certificates))
            return;
        QFile keyFile(m_certificates.path(QStringLiteral("server.key")));
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        RecordingTlsServer server(m_certificates.certificate(QStringLiteral("selfsigned.pem")),
                                  QSslKey(&keyFile, QSsl::Ec), implicitTls);
        QVERIFY(server.isListening());
        const QString trustedFingerprint = trusted.isEmpty() ? QString() : m_certificates.opensslFingerprint(trusted);
        if (!trusted.isEmpty())
            CertificateTrust().trust(QStringLiteral("127.0.0.1"), server.serverPort(),
                                     m_certificates.certificate(trusted));
        const QString settingsBefore = settingsText();

        RecordedWindow f;
        f.boxes.answers.enqueue(MsgAnswer::No);
        if (implicitTls)
            f.w.addImplicitTlsPort(server.serverPort());
        kit::fillLogin(f.w, server.serverPort(), TlsUser, Password);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        if (trusted.isEmpty()) {
            QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
            QVERIFY2(f.boxes.boxes[0].text.startsWith(Refused), qPrintable(f.boxes.boxes[0].text));
        } else {
            QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::Ok);
            QVERIFY2(f.boxes.boxes[0].text.startsWith(Changed), qPrintable(f.boxes.boxes[0].text));
            QVERIFY(f.boxes.boxes[0].text.contains(QStringLiteral("Trusted fingerprint: ") + trustedFingerprint));
        }
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QTRY_COMPARE(server.closed, server.connections);
        QCOMPARE(server.connections, 1);
        QCOMPARE(server.encryptedLines, QList<QByteArray>());
        QCOMPARE(server.plainLines,
                 implicitTls ? QList<QByteArray>() : (QList<QByteArray>{"CAPA\r\n", "STLS\r\n"}));
        QCOMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(kit::session(f.w).vCommand(), QString());
        QCOMPARE(settingsText(), settingsBefore);
        QCOMPARE(CertificateTrust().trustedFingerprint(QStringLiteral("127.0.0.1"), server.serverPort()),
                 trustedFingerprint);
    }

    void trayModeNeverTrustsAnythingNew_data()
    {
        QTest::addColumn<bool>("implicitTls");
        QTest::newRow("POP3S") << true;
        QTest::newRow("STLS") << false;
    }
    void trayModeNeverTrustsAnythingNew()
    {
        QFETCH(bool, implicitTls);
        std::unique_ptr<DovecotServer> dovecot = startTlsDovecot(m_certificates, QStringLiteral("good.pem"), Password);
        if (!dovecot)
            return;
        RecordedWindow f;
        f.platform.systemTrayAvailableResult = true;
        f.w.sockPOP3->addCaCertificates(m_certificates.ca());
        const quint16 port = kit::fillTlsLogin(f.w, *dovecot, implicitTls, Password);
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QVERIFY(f.boxes.boxes.isEmpty());
        minimiseToTray(f.w);

        // A self-signed certificate turns up while nobody can be asked.
        replaceCertificate(*dovecot, QStringLiteral("selfsigned.pem"));
        autoLoginFails(f.w);
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(settingsText(), QStringLiteral("<none>"));

        // Back in the window, the user is asked and says Yes.
        f.w.TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!kit::session(f.w).bMinimized());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.boxes.size(), 1);
        QVERIFY(f.boxes.boxes[0].text.startsWith(Refused));
        const QString fingerprint = m_certificates.opensslFingerprint(QStringLiteral("selfsigned.pem"));
        QCOMPARE(settingsText(), pinLine(port, fingerprint));

        // In the tray again: the trusted certificate is taken silently...
        minimiseToTray(f.w);
        f.w.timLogin_Timer();
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        f.w.timLogin_Timer();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.boxes.size(), 1);

        // ...and a changed one is refused silently.
        replaceCertificate(*dovecot, QStringLiteral("selfsigned2.pem"));
        autoLoginFails(f.w);
        QCOMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(settingsText(), pinLine(port, fingerprint));
    }

private:
    void replaceCertificate(DovecotServer &dovecot, const QString &certificate)
    {
        QVERIFY2(dovecot.replaceCertificate(m_certificates.path(certificate),
                                            m_certificates.path(QStringLiteral("server.key"))),
                 qPrintable(dovecot.errorString()));
    }

    static void minimiseToTray(frmMain &w)
    {
        w.showMinimized();
        QVERIFY(kit::session(w).bMinimized());
        QTRY_VERIFY(w.isHidden());
        QVERIFY(w.ckAutoLogin->isChecked());
    }

    // One autologin cycle, logout then login; the login fails.
    static void autoLoginFails(frmMain &w)
    {
        w.timLogin_Timer();
        QTRY_VERIFY(kit::loggedOutAndIdle(w));
        w.timLogin_Timer();
        QVERIFY(!w.cmdLogin->isEnabled()); // the login runs
        QTRY_VERIFY(kit::loggedOutAndIdle(w));
        QCOMPARE(kit::session(w).vCommand(), QString());
        QVERIFY(kit::session(w).bMinimized());
    }

    TestCertificates m_certificates;
};

QTEST_MAIN(TestPop3CertificateTrust)
#include "test_pop3_certificate_trust.moc"
