// Logging in over TLS: POP3S from the first byte, STLS on the plain port
// when the server offers it, certificates checked against the system's
// authorities plus the test's own CA, and no plain-text login once an
// upgrade was offered and failed.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "TestCertificates.h"
#include "TlsDovecot.h"
#include "window/frmMain.h"
#include "window/StatusLamp.h"
#include "WindowTestKit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSslSocket>
#include <QtTest>

#include <memory>

using Pop3Scripts::Cut;
Q_DECLARE_METATYPE(Pop3Scripts::Cut)

namespace {

const QColor Green(0, 255, 0);
const QColor Red(255, 0, 0);
const QString StlsFailure =
    QStringLiteral("The mail server offers a secure connection (STLS), but it could not be set up:\r\n");

const QString Password = QStringLiteral("pw");

bool sentAnyLogin(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines)
        if (line.contains("USER") || line.contains("PASS") || line.contains("secret"))
            return true;
    return false;
}

} // namespace

class TestPop3Tls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        if (QSslSocket::supportsSsl())
            m_certificates.make();
    }

    void implicitTlsIsPort995()
    {
        WindowFixture f; // its window logs in on a plain port
        frmMain tls;
        QVERIFY(tls.UsesImplicitTls(995));
        QVERIFY(!tls.UsesImplicitTls(110));
        QVERIFY(!tls.UsesImplicitTls(9950));
        tls.addImplicitTlsPort(9950);
        QVERIFY(tls.UsesImplicitTls(9950));

        // A login on 995 starts the connection with TLS; elsewhere it does not.
        kit::fillLogin(tls, 995, TlsUser, Password);
        tls.cmdLogin_Click();
        QVERIFY(tls.sockPOP3->implicitTls());
        QCOMPARE(kit::session(tls).vCommand(), QString()); // nothing goes out before the handshake
        Pop3Scripts::session(f.server, "carol", "pw", {"a"}, {10});
        kit::fillLogin(f.w, f.server.port(), TlsUser, Password);
        f.w.cmdLogin_Click();
        QVERIFY(!f.w.sockPOP3->implicitTls());
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void capabilityListDecides_data()
    {
        QTest::addColumn<QByteArray>("capaReply");
        QTest::addColumn<Cut>("cut");
        QTest::addColumn<bool>("stls");
        QTest::newRow("CAPA refused") << QByteArray("-ERR Unknown command.\r\n") << Cut::Whole << false;
        QTest::newRow("no STLS in the list") << QByteArray("+OK\r\nTOP\r\nUIDL\r\nUSER\r\nSASL PLAIN\r\n.\r\n")
                                            << Cut::Whole << false;
        QTest::newRow("names that only contain STLS")
            << QByteArray("+OK\r\nXSTLS\r\nX-STLS-LATER\r\nIMPLEMENTATION STLS-less\r\n.\r\n") << Cut::Whole
            << false;
        QTest::newRow("STLS offered") << QByteArray("+OK Capability list follows\r\nTOP\r\nSTLS\r\nUSER\r\n.\r\n")
                                      << Cut::Whole << true;
        QTest::newRow("stls in lower case") << QByteArray("+OK\r\nstls\r\n.\r\n") << Cut::Whole << true;
        QTest::newRow("offered one byte at a time") << QByteArray("+OK\r\nUSER\r\nSTLS\r\n.\r\n") << Cut::Bytes
                                                    << true;
        QTest::newRow("refused one byte at a time") << QByteArray("-ERR no\r\n") << Cut::Bytes << false;
    }
    void capabilityListDecides()
    {
        QFETCH(QByteArray, capaReply);
        QFETCH(Cut, cut);
        QFETCH(bool, stls);
        WindowFixture f;
        Pop3Scripts::greeting(f.server, cut);
        f.server.reply("CAPA\r\n", Pop3Scripts::cut(capaReply, cut));
        if (stls) {
            f.server.reply("STLS\r\n", "-ERR Not now.\r\n");
            f.server.expectClientClose();
        } else {
            f.server.reply("USER carol\r\n", "+OK\r\n");
            f.server.reply("PASS pw\r\n", "+OK Logged in.\r\n");
            Pop3Scripts::stat(f.server, 1, 10);
            Pop3Scripts::uidl(f.server, {"a"});
            Pop3Scripts::list(f.server, {10});
        }
        kit::fillLogin(f.w, f.server.port(), TlsUser, Password);
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        if (stls) {
            // Offered and refused: no plain login follows.
            QTRY_COMPARE(f.boxes.boxes.size(), 1);
            QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
            QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
            QCOMPARE(f.boxes.boxes[0].text, StlsFailure + QStringLiteral("It refused STLS: -ERR Not now.\r\n"
                                                                         "The login has been stopped; your user name "
                                                                         "and password were not sent."));
            QCOMPARE(f.server.receivedLines(), (QList<QByteArray>{"CAPA\r\n", "STLS\r\n"}));
            QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
            QVERIFY(f.w.cmdLogin->isEnabled());
            QCOMPARE(f.w.sockPOP3->State(), 0);
        } else {
            // The dialogue as ever, with the command names standing as it
            // expects them.
            QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
            QCOMPARE(f.w.shpStatus->FillColor(), Green);
            QCOMPARE(f.w.lblMails->text(), QStringLiteral("1"));
            QVERIFY(f.boxes.boxes.isEmpty());
            QCOMPARE(f.server.receivedLines().first(), QByteArray("CAPA\r\n"));
            QCOMPARE(f.server.receivedLines().at(1), QByteArray("USER carol\r\n"));
        }
    }

    void failedUpgradeNeverSendsTheLogin_data()
    {
        QTest::addColumn<QList<QByteArray>>("answer");
        QTest::addColumn<bool>("serverCloses");
        QTest::addColumn<QString>("reason");
        QTest::newRow("garbage instead of a handshake")
            << QList<QByteArray>{"+OK Begin TLS negotiation now.\r\n", "this is not TLS at all\r\n"} << false
            << QString();
        QTest::newRow("closed instead of a handshake") << QList<QByteArray>{"+OK\r\n"} << true << QString();
        QTest::newRow("silent after agreeing") << QList<QByteArray>{"+OK\r\n"} << false
                                               << QStringLiteral("did not answer");
        QTest::newRow("a plain reply smuggled behind the agreement")
            << QList<QByteArray>{"+OK\r\n+OK user accepted\r\n+OK logged in\r\n"} << false
            << QStringLiteral("did not answer");
    }
    void failedUpgradeNeverSendsTheLogin()
    {
        QFETCH(QList<QByteArray>, answer);
        QFETCH(bool, serverCloses);
        QFETCH(QString, reason);
        WindowFixture f;
        Pop3Scripts::greetingWithCapa(f.server, {"TOP", "STLS", "USER"});
        f.server.expect("STLS\r\n");
        for (const QByteArray &chunk : answer)
            f.server.send(chunk);
        if (serverCloses)
            f.server.closeConnection();
        else
            f.server.expectClientClose();
        f.w.setReplyTimeout(1000);
        kit::fillLogin(f.w, f.server.port(), TlsUser, QStringLiteral("secret"));
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QVERIFY2(f.boxes.boxes[0].text.startsWith(StlsFailure), qPrintable(f.boxes.boxes[0].text));
        QVERIFY2(f.boxes.boxes[0].text.contains(reason), qPrintable(f.boxes.boxes[0].text));
        QTRY_VERIFY(f.server.isFinished());
        // The handshake's bytes are no lines of the script; only what came
        // before them is compared.
        QCOMPARE(f.server.receivedLines().mid(0, 2), (QList<QByteArray>{"CAPA\r\n", "STLS\r\n"}));
        QVERIFY(!sentAnyLogin(f.server.receivedLines()));
        QCOMPARE(kit::session(f.w).vCommand(), QString());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.shpStatus->FillColor(), Red);
        QCOMPARE(f.w.sockPOP3->State(), 0);
        QVERIFY(f.w.prgProgress->isHidden());
    }

    void refusedGreetingIsReportedAsBefore()
    {
        WindowFixture f;
        f.server.send("-ERR Too many connections.\r\n").expectClientClose();
        kit::fillLogin(f.w, f.server.port(), TlsUser, Password);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{QStringLiteral("Server error\r\n-ERR Too many connections.\r\n")});
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        f.w.sockPOP3->Close();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList()); // no CAPA after a refusal
    }

    void loginsOverTlsThroughDovecot_data()
    {
        QTest::addColumn<bool>("implicitTls");
        QTest::newRow("POP3S from the first byte") << true;
        QTest::newRow("STLS on the plain port") << false;
    }
    void loginsOverTlsThroughDovecot()
    {
        QFETCH(bool, implicitTls);
        std::unique_ptr<DovecotServer> dovecot = startTlsDovecot(m_certificates, QStringLiteral("good.pem"), Password);
        if (!dovecot)
            return;
        RecordedWindow f;
        f.w.sockPOP3->addCaCertificates(m_certificates.ca());
        kit::fillTlsLogin(f.w, *dovecot, implicitTls, Password);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY2(f.boxes.boxes.isEmpty(), qPrintable(f.boxes.texts().join(u'|') + dovecot->log()));
        QVERIFY(f.w.sockPOP3->isEncrypted()); // Dovecot takes no STLS after the login
        QCOMPARE(f.w.shpStatus->FillColor(), Green);
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("2"));
        QTRY_COMPARE(*kit::session(f.w).colNewMails(), (QStringList{"1", "2"}));

        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
    }

    void certificateThatDoesNotVerifyEndsTheLogin_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("trustTestCa");
        QTest::addColumn<QString>("reason");
        QTest::newRow("expired") << "expired.pem" << true << "the certificate has expired";
        QTest::newRow("wrong host") << "wronghost.pem" << true
                                    << "the certificate was issued for another host, not \"127.0.0.1\"";
        QTest::newRow("self-signed") << "selfsigned.pem" << true << "the certificate is self-signed";
        QTest::newRow("unknown authority") << "good.pem" << false
                                           << "the certificate was not issued by a trusted authority";
    }
    void certificateThatDoesNotVerifyEndsTheLogin()
    {
        QFETCH(QString, certificate);
        QFETCH(bool, trustTestCa);
        QFETCH(QString, reason);
        std::unique_ptr<DovecotServer> dovecot = startTlsDovecot(m_certificates, certificate, Password);
        if (!dovecot)
            return;
        const QString refused = QStringLiteral("The mail server's certificate was refused: ");

        // POP3S and STLS alike: the login stops before USER, with the reason,
        // and the user may trust the certificate (declined here).
        for (const bool implicitTls : {true, false}) {
            RecordedWindow f;
            f.boxes.answers.enqueue(MsgAnswer::No);
            if (trustTestCa)
                f.w.sockPOP3->addCaCertificates(m_certificates.ca());
            kit::fillTlsLogin(f.w, *dovecot, implicitTls, Password);
            f.w.cmdLogin_Click();
            QTRY_COMPARE(f.boxes.boxes.size(), 1);
            QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
            QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
            const QString text = f.boxes.boxes[0].text;
            QVERIFY2(text.startsWith(refused), qPrintable(text));
            QVERIFY2(text.contains(reason), qPrintable(text));
            QCOMPARE(kit::session(f.w).vCommand(), QString()); // USER never went out
            QTRY_VERIFY(f.w.cmdLogin->isEnabled());
            QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
            QCOMPARE(f.w.shpStatus->FillColor(), Red);
            QCOMPARE(f.w.sockPOP3->State(), 0);
            QCOMPARE(f.boxes.boxes.size(), 1);
        }
    }

private:
    TestCertificates m_certificates;
};

QTEST_MAIN(TestPop3Tls)
#include "test_pop3_tls.moc"
