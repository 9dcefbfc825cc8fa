// New mails across several POP3 sessions in one window, against the scripted
// server and a real Dovecot whose mailbox grows between the sessions: each
// session paints and lists exactly its own new mails, never those of the
// session before, also when both had the same number of them.

#include "DovecotServer.h"
#include "MessageBoxRecorder.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>

using kit::TestMail;

namespace {

QStringList numbersUpTo(int count)
{
    QStringList numbers;
    for (int n = 1; n <= count; ++n)
        numbers << QString::number(n);
    return numbers;
}

// The logged-in window with `count` mails, of which only `newMail` is new:
// every mail listed with only that one blue, then "Show only new mails"
// listing only that one.
void checkOnlyNewMailIs(frmMain &w, int count, int newMail)
{
    QCOMPARE(w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
    w.ckShowOnlyNew->setChecked(false);
    QVERIFY(kit::showMails(w, 1, count));
    QCOMPARE(kit::column(w.grdMails, 3), numbersUpTo(count));
    QCOMPARE(kit::blueMails(w.grdMails), QStringList{QString::number(newMail)});

    w.ckShowOnlyNew->setChecked(true);
    QVERIFY(kit::showMails(w, 1, count));
    QCOMPARE(kit::column(w.grdMails, 3), QStringList{QString::number(newMail)});
    QCOMPARE(kit::blueMails(w.grdMails), QStringList{QString::number(newMail)});
    w.ckShowOnlyNew->setChecked(false);
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
        WindowFixture f;
        QVERIFY(kit::writeFile(QStringLiteral("bob_127.0.0.1.uidl"), "u1\r\nu2\r\n"));

        // Mail 3 arrives before the first session, mail 4 before the second.
        const QList<TestMail> first{mailWithUid(1, "u1"), mailWithUid(2, "u2"), mailWithUid(3, "u3")};
        const QList<TestMail> second = first + QList<TestMail>{mailWithUid(4, "u4")};
        kit::scriptLogin(f.server, first);
        kit::scriptTops(f.server, first, 1, 3);
        kit::scriptTops(f.server, first, 1, 3);
        Pop3Scripts::logout(f.server);
        f.server.acceptConnection();
        kit::scriptLogin(f.server, second);
        kit::scriptTops(f.server, second, 1, 4);
        kit::scriptTops(f.server, second, 1, 4);
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        checkOnlyNewMailIs(f.w, 3, 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kit::logout(f.w, f.boxes));

        QVERIFY(f.login());
        checkOnlyNewMailIs(f.w, 4, 4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kit::logout(f.w, f.boxes));

        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.boxes.texts(), QStringList({"Confirm Logout?", "Confirm Logout?"}));
    }

    void twoSessionsDovecot()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        DovecotServer dovecot;
        QVERIFY(dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret")));
        const QList<TestMail> mails = kit::numberedMails(4);
        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[0])));
        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[1])));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString() + dovecot.log()));

        RecordedWindow f;
        const auto login = [&] { return kit::login(f.w, dovecot.port(), 10000, QStringLiteral("alice")); };
        // A first session sees mails 1 and 2.
        QVERIFY(login());
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QVERIFY(kit::logout(f.w, f.boxes));

        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[2])));
        QVERIFY(login());
        checkOnlyNewMailIs(f.w, 3, 3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kit::logout(f.w, f.boxes));

        QVERIFY(dovecot.deliver(QStringLiteral("alice"), kit::mailText(mails[3])));
        QVERIFY(login());
        checkOnlyNewMailIs(f.w, 4, 4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kit::logout(f.w, f.boxes));
        QCOMPARE(f.boxes.texts(), QStringList(3, QStringLiteral("Confirm Logout?")));
    }
};

QTEST_MAIN(TestNewMailSessions)
#include "test_new_mail_sessions.moc"
