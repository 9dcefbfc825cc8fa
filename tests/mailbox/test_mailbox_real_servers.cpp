// The real window against the real servers, Dovecot and GNU mailutils pop3d,
// with a generated mailbox: header retrieval, deletion by range (with the
// fresh login that follows) and by selection, what is left read from the
// server's Maildir; each a table with a row per server. What only mailutils
// asks of the window has tests of its own: ids of its making (or the mail's
// "X-UIDL:" header), which it also adds to the mails it serves; replies
// written in pieces with Nagle's algorithm on; one session per mailbox
// ("-ERR [IN-USE]" for a second one).

#include "RawPop3.h"
#include "RealPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("secret");
constexpr int MailCount = 5;

// Odd mails carry their own id in an X-UIDL header. The last one is big,
// so its RETR reply comes in many pieces.
struct Generated
{
    QByteArray date, from, subject, text;
};

Generated generated(int n)
{
    Generated mail;
    mail.date = "Wed, " + QByteArray::number(n + 3) + " Aug 2004 1" + QByteArray::number(n) + ":2"
                + QByteArray::number(n) + ":00 +0200";
    mail.from = "Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n) + "@example.com>";
    mail.subject = "Generated mail " + QByteArray::number(n);
    mail.text = "Received: from example.com\r\nDate: " + mail.date + "\r\nFrom: " + mail.from
                + "\r\nTo: alice@example.org\r\nSubject: " + mail.subject + "\r\n";
    if (n % 2 == 1)
        mail.text += "X-UIDL: own-id-" + QByteArray::number(n) + "\r\n";
    mail.text += "\r\n";
    const int lines = n == MailCount ? 4000 : n * 4;
    for (int i = 0; i < lines; ++i) {
        switch (i % 5) {
        case 0: mail.text += ".starts with a dot " + QByteArray::number(i) + "\r\n"; break;
        case 1: mail.text += "-ERR in the body is no status line\r\n"; break;
        case 2: mail.text += ".\r\n"; break;
        case 3: mail.text += "Caf\xe9 \xfc\xe8\xff line " + QByteArray::number(i) + "\r\n"; break;
        default: mail.text += "Body line " + QByteArray::number(i) + " of mail " + QByteArray::number(n) + "\r\n"; break;
        }
    }
    return mail;
}

QStringList subjectsOf(std::initializer_list<int> numbers)
{
    QStringList subjects;
    for (int n : numbers)
        subjects << QString::fromLatin1(generated(n).subject);
    return subjects;
}

void addServerRows()
{
    QTest::addColumn<QString>("server");
    for (const QString &server : RealPop3Server::names())
        QTest::newRow(qPrintable(server)) << server;
}

} // namespace

class TestMailboxRealServers : public QObject
{
    Q_OBJECT

    std::unique_ptr<RealPop3Server> m_server;
    QString m_user;
    std::unique_ptr<RecordedWindow> m_f;
    // What the server says before the window logs in, one line per mail.
    QList<QByteArray> m_list, m_uidl;

    // The named server with the generated mailbox, and a window logged in
    // to it; false, the test skipped or failed, when that cannot be.
    bool open(const QString &server)
    {
        m_server = RealPop3Server::makeForTest(server);
        if (!m_server)
            return false;
        m_user = m_server->loginName(QStringLiteral("alice"));
        QFile::remove(storeName());
        bool filled = m_server->addUser(m_user, Password);
        for (int n = 1; n <= MailCount && filled; ++n)
            filled = m_server->deliver(m_user, generated(n).text);
        if (!filled || !m_server->start()) {
            QTest::qFail(qPrintable(m_server->errorString() + m_server->log()), __FILE__, __LINE__);
            return false;
        }
        // UIDL first: mailutils counts its added id in a mail's size only
        // once it has made the id (and keeps the id in the file from the end
        // of that session on), as in the window's own login.
        m_uidl = RawPop3Lines(m_server->port(), m_user.toLatin1(), Password.toLatin1(), "UIDL");
        m_list = RawPop3Lines(m_server->port(), m_user.toLatin1(), Password.toLatin1(), "LIST");
        if (m_list.size() != MailCount || m_uidl.size() != MailCount) {
            QTest::qFail("the server does not list the mailbox", __FILE__, __LINE__);
            return false;
        }
        m_f = std::make_unique<RecordedWindow>();
        if (!kit::login(m_f->w, m_server->port(), 10000, m_user, Password)) {
            QTest::qFail(qPrintable(m_f->boxes.texts().join(u'|') + m_server->log()), __FILE__, __LINE__);
            return false;
        }
        return true;
    }
    QString storeName() const { return m_user + QStringLiteral("_127.0.0.1.uidl"); }
    QByteArray ask(const QByteArray &command) const
    {
        return RawPop3MultiLine(m_server->port(), m_user.toLatin1(), Password.toLatin1(), command);
    }
    // Subjects of the mails the server still holds, in delivery order.
    QStringList subjectsOnServer() const
    {
        QStringList subjects;
        for (const QByteArray &stored : m_server->storedMails(m_user)) {
            const qsizetype at = stored.indexOf("\nSubject: ") + 10;
            subjects << QString::fromLatin1(stored.mid(at, stored.indexOf('\n', at) - at).trimmed());
        }
        return subjects;
    }
    // A right click on the grid row, then the menu item, as a user does.
    bool chooseFromGridMenu(int row, QAction *item)
    {
        frmMain &w = m_f->w;
        FlexGrid *grid = w.grdMails;
        const QRect cell = grid->visualRect(grid->model()->index(row - grid->FixedRows(), 1));
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center());
        if (!QTest::qWaitFor([&] { return w.mnuMailOpts->isVisible(); }, 5000) || !item->isEnabled())
            return false;
        QTest::mouseClick(w.mnuMailOpts, Qt::LeftButton, {}, w.mnuMailOpts->actionGeometry(item).center());
        return true;
    }

private slots:
    void initTestCase() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void cleanup()
    {
        m_f.reset();
        m_server.reset();
    }

    void headers_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("till");
        QTest::newRow("dovecot, mails 2 to 4") << "dovecot" << 2 << 4;
        QTest::newRow("mailutils, every mail") << "mailutils" << 1 << MailCount;
    }
    void headers()
    {
        QFETCH(QString, server);
        QFETCH(int, from);
        QFETCH(int, till);
        if (!open(server))
            return;
        frmMain &w = m_f->w;
        QVERIFY(kit::showMails(w, from, till));
        QCOMPARE(w.grdMails->Rows(), till - from + 3);
        for (int n = from; n <= till; ++n) {
            const Generated mail = generated(n);
            const int row = n - from + 2;
            QCOMPARE(w.grdMails->TextMatrix(row, 0), " " + QString::fromLatin1(mail.date));
            QCOMPARE(w.grdMails->TextMatrix(row, 1), " " + QString::fromLatin1(mail.from));
            QCOMPARE(w.grdMails->TextMatrix(row, 2), " " + QString::fromLatin1(mail.subject));
            QCOMPARE(w.grdMails->TextMatrix(row, 3), QString::number(n));
            QCOMPARE(w.grdMails->TextMatrix(row, 4), QString::fromLatin1(m_list[n - 1].split(' ').value(1)));
        }
        QVERIFY(m_f->boxes.boxes.isEmpty());
        QVERIFY(kit::logout(w, m_f->boxes));
    }

    void rangeDeletionAndFreshLogin_data() { addServerRows(); }
    void rangeDeletionAndFreshLogin()
    {
        QFETCH(QString, server);
        if (!open(server))
            return;
        frmMain &w = m_f->w;
        kit::setRange(w.cboDelFrom, w.cboDelTill, QStringLiteral("2"), QStringLiteral("3"));
        w.cmdDelete->click();
        // The log-off, then the fresh login to the smaller mailbox: the
        // server must have let the first session go by then.
        QTRY_COMPARE_WITH_TIMEOUT(w.lblMails->text(), QStringLiteral("3"), 10000);
        QTRY_VERIFY(w.cmdShow->isEnabled() && !w.grdStats->isHidden());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(subjectsOnServer(), subjectsOf({1, 4, 5}));
        QVERIFY(kit::showMails(w, 1, 3));
        QCOMPARE(kit::column(w.grdMails, 2),
                 (QStringList{" " + subjectsOf({1})[0], " " + subjectsOf({4})[0], " " + subjectsOf({5})[0]}));
        QVERIFY2(m_f->boxes.boxes.isEmpty(), qPrintable(m_f->boxes.texts().join(u'|')));
        QVERIFY(kit::logout(w, m_f->boxes));
    }

    void selectionDeletionThenLogout_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("updateChanges");
        for (const QString &server : RealPop3Server::names()) {
            QTest::addRow("%s, Update Changes checked", qPrintable(server)) << server << true;
            QTest::addRow("%s, Update Changes unchecked", qPrintable(server)) << server << false;
        }
    }
    void selectionDeletionThenLogout()
    {
        QFETCH(QString, server);
        QFETCH(bool, updateChanges);
        if (!open(server))
            return;
        frmMain &w = m_f->w;
        QVERIFY(kit::showMails(w, 1, MailCount));
        kit::selectRows(w.grdMails, 3, 4); // mails 2 and 3
        m_f->boxes.answers.enqueue(MsgAnswer::Yes);
        QVERIFY(chooseFromGridMenu(4, w.mnuDeleteMail));
        QTRY_COMPARE(m_f->boxes.boxes.size(), 2); // the question, the closing message
        QCOMPARE(m_f->boxes.boxes[0].text,
                 QStringLiteral("You have selected multiple mails to delete.\r\n From 3 to 4\r\nConfirm?"));
        QTRY_VERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "4", "5"}));
        QVERIFY(w.ckUpdtChanges->isChecked());
        QCOMPARE(subjectsOnServer(), subjectsOf({1, 2, 3, 4, 5})); // only marked so far
        w.ckUpdtChanges->setChecked(updateChanges);
        QVERIFY(kit::logout(w, m_f->boxes));
        QTRY_COMPARE(subjectsOnServer(), updateChanges ? subjectsOf({1, 4, 5}) : subjectsOf({1, 2, 3, 4, 5}));
        QVERIFY(kit::login(w, m_server->port(), 10000, m_user, Password));
        QCOMPARE(w.lblMails->text(), QString::number(updateChanges ? 3 : 5));
        QVERIFY(kit::logout(w, m_f->boxes));
    }

    void loginAndStatisticsOnMailutils()
    {
        if (!open(QStringLiteral("mailutils")))
            return;
        frmMain &w = m_f->w;
        QCOMPARE(w.lblMails->text(), QString::number(MailCount));
        qint64 total = 0;
        for (int i = 0; i < MailCount; ++i) {
            const QList<QByteArray> pieces = m_list[i].split(' ');
            QCOMPARE(w.grdStats->TextMatrix(i + 1, 0), QString::fromLatin1(pieces[0]));
            QCOMPARE(w.grdStats->TextMatrix(i + 1, 1), QString::fromLatin1(pieces[1]));
            total += pieces[1].toLongLong();
        }
        QCOMPARE(w.lblMailSize->text(), QString::number(total));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("5 new mail(s)"));
        QVERIFY(kit::logout(w, m_f->boxes));

        // The store holds the server's ids: the mails' own and its own.
        QByteArray expected;
        for (const QByteArray &line : m_uidl)
            expected += line.split(' ').value(1) + "\r\n";
        QVERIFY(expected.startsWith("own-id-1\r\n"));
        QCOMPARE(kit::readFile(storeName()), expected);

        QVERIFY(kit::login(w, m_server->port(), 10000, m_user, Password));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("0 new mail(s)"));
        QVERIFY(kit::logout(w, m_f->boxes));
        QCOMPARE(m_f->boxes.texts(), QStringList(2, QStringLiteral("Confirm Logout?")));
    }

    void viewingWritesTheMailByteForByteOnMailutils_data()
    {
        QTest::addColumn<int>("mail");
        QTest::newRow("its own id") << 1;
        QTest::newRow("an id the server adds") << 2;
        QTest::newRow("big, in many pieces") << MailCount;
    }
    void viewingWritesTheMailByteForByteOnMailutils()
    {
        QFETCH(int, mail);
        if (!open(QStringLiteral("mailutils")))
            return;
        frmMain &w = m_f->w;
        QByteArray expected = generated(mail).text;
        if (mail % 2 == 0) {
            // The server adds its id after the last header line.
            const QByteArray id = m_uidl[mail - 1].split(' ').value(1);
            expected.replace(expected.indexOf("\r\n\r\n"), 2, "\r\nX-UIDL: " + id + "\r\n");
        }
        QVERIFY(kit::showMails(w, 1, MailCount));
        kit::selectRows(w.grdMails, mail + 1, mail + 1);
        m_f->boxes.answers.enqueue(MsgAnswer::Yes);
        QVERIFY(chooseFromGridMenu(mail + 1, w.mnuCompleteMail));
        QTRY_COMPARE_WITH_TIMEOUT(m_f->platform.count(QStringLiteral("startTextViewer")), 1, 20000);
        QTRY_VERIFY(w.prgProgress->isHidden() && w.cmdLogin->isEnabled());
        const QByteArray written = kit::readFile(m_f->messageFile());
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected); // no long diff in the log
        QCOMPARE(qint64(written.size()), m_list[mail - 1].split(' ').value(1).toLongLong());
        QCOMPARE(m_f->boxes.texts(), QStringList{QStringLiteral("From:%1\r\nSubject:%2\r\nWant to View?")
                                                     .arg(w.grdMails->TextMatrix(mail + 1, 1),
                                                          w.grdMails->TextMatrix(mail + 1, 2))});
        QVERIFY(kit::logout(w, m_f->boxes));
        QCOMPARE(ask("RETR " + QByteArray::number(mail)), expected);
    }

    void secondWindowWhileTheFirstIsLoggedInOnMailutils()
    {
        if (!open(QStringLiteral("mailutils")))
            return;
        frmMain &w = m_f->w;
        MessageBoxRecorder &boxes = m_f->boxes;
        // The server's refusal is shown as any refused login is; once the
        // first window has logged out, the second gets in.
        frmMain second;
        kit::fillLogin(second, m_server->port(), m_user, Password);
        second.cmdLogin->click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("Server error\r\n-ERR [IN-USE] Mailbox in use\r\n"));
        QTRY_VERIFY(second.cmdLogin->isEnabled() && second.prgProgress->isHidden());
        QVERIFY(second.grdStats->isHidden());
        QCOMPARE(w.lblMails->text(), QString::number(MailCount)); // the first session goes on
        QVERIFY(kit::showMails(w, 1, 2));
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2"}));

        QVERIFY(kit::logout(w, boxes));
        QVERIFY(kit::logout(second, boxes)); // closes its refused connection
        boxes.clear();
        QVERIFY(kit::login(second, m_server->port(), 10000, m_user, Password));
        QCOMPARE(second.lblMails->text(), QString::number(MailCount));
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(kit::logout(second, boxes));
    }
};

QTEST_MAIN(TestMailboxRealServers)
#include "test_mailbox_real_servers.moc"
