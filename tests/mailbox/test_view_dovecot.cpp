// Viewing complete mails through the real window against a real Dovecot:
// the message file holds exactly the octets the server holds.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "RawPop3.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

// About `size` octets: lines starting with dots, a "-ERR" line, a line
// holding only ".", and every octet from 0x80 to 0xFF.
QByteArray awkwardMail(int size)
{
    QByteArray text = "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: awkward\r\n"
                      "Date: Tue, 3 Aug 2004 10:11:12 +0200\r\n\r\n";
    QByteArray high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += char(c);
    for (int line = 0; text.size() < size; ++line) {
        switch (line % 6) {
        case 0: text += ".starts with a dot " + QByteArray::number(line) + "\r\n"; break;
        case 1: text += "-ERR in the body is no status line\r\n"; break;
        case 2: text += ".\r\n"; break;
        case 3: text += high.mid(line % 64, 64) + "\r\n"; break;
        case 4: text += "..two dots\r\n"; break;
        default: text += QByteArray(70, char('a' + line % 26)) + "\r\n"; break;
        }
    }
    return text + "-ERR\r\n.last\r\n";
}

// RETR as Dovecot answers it over a plain connection, status and
// terminating lines removed and dots unstuffed.
QByteArray retrFromServer(quint16 port, int n)
{
    return RawPop3MultiLine(port, "bob", "secret", "RETR " + QByteArray::number(n));
}

} // namespace

class TestViewDovecot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void viewedFileIsTheServersMail()
    {
        const QByteArray big = awkwardMail(3 * 1024 * 1024);
        const QByteArray small = "From: Carl <carl@example.com>\r\nSubject: short\r\n\r\n.\r\n-ERR\r\nbye \xe9\r\n";
        DovecotServer dovecot;
        QVERIFY(dovecot.addUser(QStringLiteral("bob"), QStringLiteral("secret")));
        QVERIFY(dovecot.deliver(QStringLiteral("bob"), big));
        QVERIFY(dovecot.deliver(QStringLiteral("bob"), small));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));
        QCOMPARE(retrFromServer(dovecot.port(), 1), big);
        QCOMPARE(retrFromServer(dovecot.port(), 2), small);

        RecordedWindow f;
        const QString path = f.messageFile();
        kit::fillLogin(f.w, dovecot.port());
        f.w.cmdLogin_Click();
        QVERIFY2(QTest::qWaitFor([&] { return !f.w.grdStats->isHidden() && f.w.prgProgress->isHidden(); }, 20000),
                 qPrintable(f.boxes.texts().join(u'|') + dovecot.log()));
        kit::putMailRows(f.w, 2);

        kit::viewMail(f.w, 1);
        QVERIFY2(kit::session(f.w).bListForView() && kit::viewDone(f.w, 60000),
                 qPrintable(f.boxes.texts().join(u'|')));
        QCOMPARE(kit::readFile(path).size(), big.size());
        QVERIFY(kit::readFile(path) == big); // no multi-megabyte diff in the log
        QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).size(), 1);

        kit::viewMail(f.w, 2);
        QVERIFY2(kit::session(f.w).bListForView() && kit::viewDone(f.w, 60000),
                 qPrintable(f.boxes.texts().join(u'|')));
        QCOMPARE(kit::readFile(path), small);
        QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).size(), 2);
        QCOMPARE(f.boxes.texts(), (QStringList{QStringLiteral("From: Sender 1\r\nSubject: Subject 1\r\nWant to View?"),
                                               QStringLiteral("From: Sender 2\r\nSubject: Subject 2\r\nWant to View?")}));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
    }
};

QTEST_MAIN(TestViewDovecot)
#include "test_view_dovecot.moc"
