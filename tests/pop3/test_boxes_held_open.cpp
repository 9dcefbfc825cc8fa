// Message boxes that a reply opens, held open by the user for longer than
// the reply time-out, against the scripted server and a real Dovecot: the
// time-out measures only the server, and what the server sends while a box
// is open is handled after it, in order.

#include "DovecotServer.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>

#include <memory>

namespace {

constexpr int ShortTimeoutMs = 100;
constexpr int ReadingMs = 8 * ShortTimeoutMs;
const QString TimeoutText = QStringLiteral("did not answer");

// What the window looked like while the user held the box.
struct WhileOpen
{
    int boxes = 0;
    QString loginCaption;
};

// A user who reads the box for many reply time-outs. The time-out is made
// short the moment the box opens, so that the login before it is not raced.
std::function<bool()> readForAWhile(frmMain &w, MessageBoxRecorder &boxes, WhileOpen *seen,
                                    std::function<bool()> alsoWaitFor = {})
{
    auto clock = std::make_shared<QElapsedTimer>();
    return [&w, &boxes, seen, clock, alsoWaitFor] {
        if (!clock->isValid()) {
            w.setReplyTimeout(ShortTimeoutMs);
            clock->start();
        }
        seen->boxes = int(boxes.boxes.size());
        seen->loginCaption = w.cmdLogin->text();
        return clock->hasExpired(ReadingMs) && (!alsoWaitFor || alsoWaitFor());
    };
}

bool hasBoxWith(const MessageBoxRecorder &boxes, const QString &text)
{
    for (const QString &shown : boxes.texts())
        if (shown.contains(text))
            return true;
    return false;
}

} // namespace

class TestBoxesHeldOpen : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        QDir().remove(QStringLiteral("bob_127.0.0.1.uidl"));
        QDir().remove(QStringLiteral("alice_127.0.0.1.uidl"));
    }

    void boxPastTimeoutLeavesSessionOpen_data()
    {
        QTest::addColumn<bool>("passwordRefused");
        QTest::addColumn<QString>("boxText");
        QTest::newRow("password refused") << true
                                          << QStringLiteral("Server error\r\n-ERR [AUTH] Authentication failed.\r\n");
        QTest::newRow("no mails in mailbox") << false << QStringLiteral("No mails in mailbox");
    }
    void boxPastTimeoutLeavesSessionOpen()
    {
        QFETCH(bool, passwordRefused);
        QFETCH(QString, boxText);
        WindowFixture f;
        if (passwordRefused) {
            Pop3Scripts::greetingWithoutCapa(f.server);
            f.server.reply("USER bob\r\n", "+OK\r\n");
            f.server.reply("PASS secret\r\n", "-ERR [AUTH] Authentication failed.\r\n");
        } else {
            Pop3Scripts::session(f.server, "bob", "secret", {}, {});
        }
        Pop3Scripts::logout(f.server, passwordRefused); // a refused login has no mailbox to reset

        WhileOpen seen;
        f.boxes.holdOpen(boxText, readForAWhile(f.w, f.boxes, &seen));
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{boxText});
        QCOMPARE(seen.boxes, 1); // no time-out while the user read it
        QCOMPARE(f.boxes.heldTooLong, QStringList());

        // The connection is still there for the logout the caption offers.
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.sockPOP3->State(), int(TcpClientSocket::sckConnected));
        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.boxes.texts(), QStringList({boxText, QStringLiteral("Confirm Logout?")}));
    }

    void serverClosingWhileBoxOpenEndsSession()
    {
        WindowFixture f;
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", "+OK\r\n");
        f.server.reply("PASS secret\r\n", "-ERR [AUTH] Authentication failed.\r\n").closeConnection();

        WhileOpen seen;
        f.boxes.holdOpen(QStringLiteral("Server error"), readForAWhile(f.w, f.boxes, &seen, [&] {
                           return f.server.isFinished()
                                  && f.w.sockPOP3->State() != int(TcpClientSocket::sckConnected);
                       }));
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.heldTooLong, QStringList());
        // Closed after the refusal: the next click is a login, not a logout
        // on a connection that is gone.
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.sockPOP3->State(), int(TcpClientSocket::sckClosed));
        QCOMPARE(f.boxes.texts(), QStringList{"Server error\r\n-ERR [AUTH] Authentication failed.\r\n"});
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void timeoutCountsOnlyOnceTheBoxIsClosed()
    {
        // RSET refused, QUIT never answered: the wait for QUIT's reply is the
        // server's silence, but only from the moment the box is closed.
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
        f.server.expect("RSET \r\n");
        f.server.expect("QUIT \r\n");
        f.server.send("-ERR No.\r\n");

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY(!f.w.grdStats->isHidden() && f.w.cmdShow->isEnabled());
        WhileOpen seen;
        f.boxes.holdOpen(QStringLiteral("Server error"), readForAWhile(f.w, f.boxes, &seen));
        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin->click();
        QTRY_VERIFY(hasBoxWith(f.boxes, TimeoutText));
        QCOMPARE(seen.boxes, 2); // the question and the held box
        QCOMPARE(f.boxes.texts().mid(0, 2), QStringList({"Confirm Logout?", "Server error\r\n-ERR No.\r\n"}));
        QCOMPARE(f.boxes.boxes.size(), 3);
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void refusedPasswordOnDovecot()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        DovecotServer dovecot;
        QVERIFY(dovecot.addUser(QStringLiteral("alice"), QStringLiteral("right")));
        QVERIFY(dovecot.deliver(QStringLiteral("alice"), "Subject: hi\r\n\r\nbody\r\n"));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString() + dovecot.log()));

        RecordedWindow f;
        WhileOpen atLogin;
        f.boxes.holdOpen(QStringLiteral("Server error"), readForAWhile(f.w, f.boxes, &atLogin));
        kit::fillLogin(f.w, dovecot.port(), QStringLiteral("alice"));
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(atLogin.boxes, 1);
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(f.w.sockPOP3->State(), int(TcpClientSocket::sckConnected));

        // Logging out of the refused session: QUIT alone (Dovecot refuses
        // RSET before a login), no further error.
        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(f.boxes.heldTooLong, QStringList());
        QVERIFY(f.w.cmdLogin->isEnabled());
        const QStringList texts = f.boxes.texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith(QLatin1String("Server error\r\n-ERR")));
        QCOMPARE(texts[1], QStringLiteral("Confirm Logout?"));
        QVERIFY(!hasBoxWith(f.boxes, TimeoutText));
    }
};

QTEST_MAIN(TestBoxesHeldOpen)
#include "test_boxes_held_open.moc"
