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
#include <QTemporaryDir>
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

void putRows(frmMain &w, int count)
{
    w.grdMails->Clear();
    w.grdMails->SetRows(2 + count);
    for (int n = 1; n <= count; ++n) {
        w.grdMails->SetTextMatrix(1 + n, 1, QStringLiteral(" Sender %1").arg(n));
        w.grdMails->SetTextMatrix(1 + n, 2, QStringLiteral(" Subject %1").arg(n));
        w.grdMails->SetTextMatrix(1 + n, 3, QString::number(n));
    }
}

bool view(frmMain &w, int row)
{
    w.grdMails->SetCol(1);
    w.grdMails->SetRow(row);
    w.mnuCompleteMail_Click();
    if (!kit::session(w).bListForView())
        return false;
    return QTest::qWaitFor([&] { return !kit::session(w).bListForView() && w.prgProgress->isHidden(); }, 60000);
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

        MessageBoxRecorder boxes;
        PlatformRecorder platform;
        QTemporaryDir programDir;
        const QString path = QDir(programDir.path()).filePath(QStringLiteral("test.eml"));
        frmMain w;
        w.setProgramFolder(programDir.path());
        kit::fillLogin(w, dovecot.port());
        w.cmdLogin_Click();
        QVERIFY2(QTest::qWaitFor([&] { return !w.grdStats->isHidden() && w.prgProgress->isHidden(); }, 20000),
                 qPrintable(boxes.texts().join(u'|') + dovecot.log()));
        putRows(w, 2);

        QVERIFY2(view(w, 2), qPrintable(boxes.texts().join(u'|')));
        QCOMPARE(kit::readFile(path).size(), big.size());
        QVERIFY(kit::readFile(path) == big); // no multi-megabyte diff in the log
        QCOMPARE(platform.callsTo(QStringLiteral("startTextViewer")).size(), 1);

        QVERIFY2(view(w, 3), qPrintable(boxes.texts().join(u'|')));
        QCOMPARE(kit::readFile(path), small);
        QCOMPARE(platform.callsTo(QStringLiteral("startTextViewer")).size(), 2);
        QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("From: Sender 1\r\nSubject: Subject 1\r\nWant to View?"),
                                             QStringLiteral("From: Sender 2\r\nSubject: Subject 2\r\nWant to View?")}));
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
    }
};

QTEST_MAIN(TestViewDovecot)
#include "test_view_dovecot.moc"
