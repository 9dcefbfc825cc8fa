// Login, statistics and new-mail detection through the real window against
// a real Dovecot.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "RawPop3.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

QByteArray mail(int n, int bodyLines)
{
    QByteArray text = "From: Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n)
                      + "@example.com>\r\nTo: alice@example.com\r\nSubject: Mail number " + QByteArray::number(n)
                      + "\r\nDate: Tue, 3 Aug 2004 10:11:12 +0200\r\n\r\n";
    for (int i = 0; i < bodyLines; ++i)
        text += "Line " + QByteArray::number(i) + " of mail " + QByteArray::number(n) + "\r\n";
    return text;
}

} // namespace

class TestPop3Dovecot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void newMailAcrossThreeLogins()
    {
        DovecotServer dovecot;
        QVERIFY(dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret")));
        for (int n = 1; n <= 5; ++n)
            QVERIFY(dovecot.deliver(QStringLiteral("alice"), mail(n, n * 3)));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString() + dovecot.log()));
        const QString store = QStringLiteral("alice_127.0.0.1.uidl");
        QFile::remove(store);

        RecordedWindow f;
        kit::fillLogin(f.w, dovecot.port(), QStringLiteral("alice"));

        auto login = [&] {
            f.w.cmdLogin_Click();
            QTRY_VERIFY(!f.w.grdStats->isHidden());
        };
        auto logout = [&] {
            f.boxes.answers.enqueue(MsgAnswer::Yes);
            f.w.cmdLogin_Click();
            QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        };

        login();
        const QList<QByteArray> sizes = RawPop3Lines(dovecot.port(), "alice", "secret", "LIST");
        QCOMPARE(sizes.size(), 5);
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("5"));
        qint64 total = 0;
        for (int i = 0; i < 5; ++i) {
            const QList<QByteArray> pieces = sizes[i].split(' ');
            QCOMPARE(f.w.grdStats->TextMatrix(i + 1, 0), QString::fromLatin1(pieces[0]));
            QCOMPARE(f.w.grdStats->TextMatrix(i + 1, 1), QString::fromLatin1(pieces[1]));
            total += pieces[1].toLongLong();
        }
        QCOMPARE(f.w.lblMailSize->text(), QString::number(total));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("5 new mail(s)"));
        logout();

        QByteArray expected;
        for (const QByteArray &line : RawPop3Lines(dovecot.port(), "alice", "secret", "UIDL"))
            expected += line.split(' ').value(1) + "\r\n";
        QFile file(store);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected);
        file.close();

        login();
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("0 new mail(s)"));
        logout();

        QVERIFY(dovecot.deliver(QStringLiteral("alice"), mail(6, 2)));
        login();
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("6"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
        QCOMPARE(*kit::session(f.w).colNewMails(), QStringList{QStringLiteral("6")});
        logout();

        const QList<QByteArray> ids = RawPop3Lines(dovecot.port(), "alice", "secret", "UIDL");
        QCOMPARE(ids.size(), 6); // "Update Changes" unchecked: every mail stays
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> stored = file.readAll().split('\n');
        QCOMPARE(stored.size(), 7); // six lines and the empty rest
        QCOMPARE(stored[5], ids[5].split(' ').value(1) + "\r");
        QCOMPARE(f.boxes.texts(), QStringList(3, QStringLiteral("Confirm Logout?")));
    }
};

QTEST_MAIN(TestPop3Dovecot)
#include "test_pop3_dovecot.moc"
