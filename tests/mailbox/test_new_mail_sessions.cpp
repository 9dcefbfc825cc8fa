// New mails across several POP3 sessions in one window, against the scripted
// server and a real Dovecot whose mailbox grows between the sessions: each
// session paints and lists exactly its own new mails, never those of the
// session before, also when both had the same number of them.

#include "DovecotServer.h"
#include "MessageBoxRecorder.h"
#include "window/VbColor.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>

using kit::TestMail;

namespace {

const QColor Blue = vb::ColorFromLiteral(QStringLiteral("&HFF0000"));

bool isBlueRow(const FlexGrid *grid, int row)
{
    for (int c = 0; c <= 4; ++c)
        if (grid->CellForeColor(row, c) != Blue)
            return false;
    return true;
}

// The mail numbers of the blue rows.
QStringList blueMails(const FlexGrid *grid)
{
    QStringList mails;
    for (int r = 2; r < grid->Rows(); ++r)
        if (isBlueRow(grid, r))
            mails << grid->TextMatrix(r, 3);
    return mails;
}

QStringList numbersUpTo(int count)
{
    QStringList numbers;
    for (int n = 1; n <= count; ++n)
        numbers << QString::number(n);
    return numbers;
}

bool showRange(frmMain &w, int count, bool onlyNew)
{
    w.ckShowOnlyNew->setChecked(onlyNew);
    kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QString::number(count));
    w.cmdShow->click();
    return QTest::qWaitFor([&] { return w.cmdShow->text() == QLatin1String("Show"); }, 10000);
}

// The logged-in window with `count` mails, of which only `newMail` is new:
// every mail listed with only that one blue, then "Show only new mails"
// listing only that one.
void checkOnlyNewMailIs(frmMain &w, int count, int newMail)
{
    QCOMPARE(w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
    QVERIFY(showRange(w, count, false));
    QCOMPARE(kit::column(w.grdMails, 3), numbersUpTo(count));
    QCOMPARE(blueMails(w.grdMails), QStringList{QString::number(newMail)});

    QVERIFY(showRange(w, count, true));
    QCOMPARE(kit::column(w.grdMails, 3), QStringList{QString::number(newMail)});
    QCOMPARE(blueMails(w.grdMails), QStringList{QString::number(newMail)});
    w.ckShowOnlyNew->setChecked(false);
}

bool logout(frmMain &w, MessageBoxRecorder &boxes)
{
    boxes.answers.enqueue(MsgAnswer::Yes);
    w.cmdLogin->click();
    return QTest::qWaitFor([&] { return w.cmdLogin->text() == QLatin1String("Login"); }, 10000);
}

TestMail mailWithUid(int n, const QByteArray &uid)
{
    TestMail mail = kit::numberedMails(n).last();
    mail.uid = uid;
    return mail;
}

} // namespace

class TestNewMailSessions : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        QFile::remove(QStringLiteral("bob_127.0.0.1.uidl"));
        QFile::remove(QStringLiteral("alice_127.0.0.1.uidl"));
    }

    void twoSessionsScripted()
    {
        MessageBoxRecorder boxes;
        QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write("u1\r\nu2\r\n");
        store.close();

        // Mail 3 arrives before the first session, mail 4 before the second.
        const QList<TestMail> first{mailWithUid(1, "u1"), mailWithUid(2, "u2"), mailWithUid(3, "u3")};
        const QList<TestMail> second = first + QList<TestMail>{mailWithUid(4, "u4")};
        ScriptedPop3Server server;
        kit::scriptLogin(server, first);
        kit::scriptTops(server, first, 1, 3);
        kit::scriptTops(server, first, 1, 3);
        Pop3Scripts::logout(server);
        server.acceptConnection();
        kit::scriptLogin(server, second);
        kit::scriptTops(server, second, 1, 4);
        kit::scriptTops(server, second, 1, 4);
        Pop3Scripts::logout(server);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        checkOnlyNewMailIs(w, 3, 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(logout(w, boxes));

        QVERIFY(kit::login(w, server.port()));
        checkOnlyNewMailIs(w, 4, 4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(logout(w, boxes));

        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(boxes.texts(), QStringList({"Confirm Logout?", "Confirm Logout?"}));
    }

    void twoSessionsDovecot()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        MessageBoxRecorder boxes;
        DovecotServer dovecot;
        QVERIFY(dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret")));
        const QList<TestMail> mails = kit::numberedMails(4);
        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[0])));
        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[1])));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString() + dovecot.log()));

        frmMain w;
        const auto login = [&] { return kit::login(w, dovecot.port(), 10000, QStringLiteral("alice")); };
        // A first session sees mails 1 and 2.
        QVERIFY(login());
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QVERIFY(logout(w, boxes));

        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[2])));
        QVERIFY(login());
        checkOnlyNewMailIs(w, 3, 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(logout(w, boxes));

        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[3])));
        QVERIFY(login());
        checkOnlyNewMailIs(w, 4, 4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(logout(w, boxes));
        QCOMPARE(boxes.texts(), QStringList(3, QStringLiteral("Confirm Logout?")));
    }
};

QTEST_MAIN(TestNewMailSessions)
#include "test_new_mail_sessions.moc"
