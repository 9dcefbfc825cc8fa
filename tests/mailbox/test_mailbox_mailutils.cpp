// The real window against a real GNU mailutils pop3d: login and statistics,
// header retrieval, viewing byte for byte, deletion by range (with the fresh
// login that follows) and by selection. What differs from Dovecot: ids of
// its own making (or the mail's "X-UIDL:" header), which it also adds to the
// mails it serves; replies written in pieces with Nagle's algorithm on; and
// one session per mailbox ("-ERR [IN-USE]" for a second one).

#include "MailutilsServer.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "RawPop3.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString User = QStringLiteral("alice@example.org");
const QString Password = QStringLiteral("secret");
const QString StoreName = User + QStringLiteral("_127.0.0.1.uidl");
constexpr int MailCount = 5;

// Odd mails carry their own id, even ones get theirs from the server. The
// last one is big, so its RETR reply comes in many pieces.
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
    mail.subject = "Mailutils mail " + QByteArray::number(n);
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

} // namespace

class TestMailboxMailutils : public QObject
{
    Q_OBJECT

    std::unique_ptr<MailutilsServer> m_pop3d;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<PlatformRecorder> m_platform;
    std::unique_ptr<QTemporaryDir> m_programDir;
    std::unique_ptr<frmMain> m_w;
    // What the server says before the window logs in, one line per mail.
    QList<QByteArray> m_list, m_uidl;

    QByteArray ask(const QByteArray &command) const
    {
        return RawPop3MultiLine(m_pop3d->port(), User.toLatin1(), Password.toLatin1(), command);
    }
    static QList<QByteArray> lines(const QByteArray &content)
    {
        QList<QByteArray> result = content.split('\n');
        result.removeAll(QByteArray());
        for (QByteArray &line : result)
            line = line.trimmed();
        return result;
    }
    // Subjects of the mails the server still holds, in delivery order.
    QStringList subjectsOnServer() const
    {
        QStringList subjects;
        for (const QByteArray &stored : m_pop3d->storedMails(User)) {
            const qsizetype at = stored.indexOf("\nSubject: ") + 10;
            subjects << QString::fromLatin1(stored.mid(at, stored.indexOf('\n', at) - at));
        }
        return subjects;
    }

    bool login(frmMain &w)
    {
        w.cmdLogin->click();
        return QTest::qWaitFor([&] { return !w.grdStats->isHidden() && w.cmdShow->isEnabled(); }, 10000);
    }
    bool show(int from, int till)
    {
        m_w->cboFrom->setEditText(QString::number(from));
        m_w->cboTill->setEditText(QString::number(till));
        m_w->cmdShow->click();
        return QTest::qWaitFor([&] { return m_w->cmdShow->text() == QLatin1String("Show"); }, 10000);
    }
    bool logout(frmMain &w)
    {
        m_boxes->answers.enqueue(MsgAnswer::Yes);
        w.cmdLogin->click();
        return QTest::qWaitFor([&] { return w.cmdLogin->text() == QLatin1String("Login") && w.cmdLogin->isEnabled(); },
                               10000);
    }
    QStringList listed(int col) const
    {
        QStringList texts;
        for (int r = 2; r < m_w->grdMails->Rows(); ++r)
            texts << m_w->grdMails->TextMatrix(r, col);
        return texts;
    }
    // The block of grid rows from `first` to `last` as a drag leaves it,
    // the current cell in `last`.
    void selectRows(int first, int last)
    {
        FlexGrid *grid = m_w->grdMails;
        grid->SetRow(last);
        grid->SetCol(1);
        grid->clearSelection();
        grid->setRangeSelected(QTableWidgetSelectionRange(first - grid->FixedRows(), 0, last - grid->FixedRows(),
                                                          grid->Cols() - 1),
                               true);
    }
    // A right click on the grid row, then the menu item, as a user does.
    bool chooseFromGridMenu(int row, QAction *item)
    {
        FlexGrid *grid = m_w->grdMails;
        const QRect cell = grid->visualRect(grid->model()->index(row - grid->FixedRows(), 1));
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center());
        if (!QTest::qWaitFor([&] { return m_w->mnuMailOpts->isVisible(); }, 5000) || !item->isEnabled())
            return false;
        QTest::mouseClick(m_w->mnuMailOpts, Qt::LeftButton, {}, m_w->mnuMailOpts->actionGeometry(item).center());
        return true;
    }

private slots:
    void initTestCase()
    {
        if (!MailutilsServer::isAvailable())
            QSKIP(qPrintable(MailutilsServer::unavailableReason()));
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void init()
    {
        QFile::remove(StoreName);
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_platform = std::make_unique<PlatformRecorder>();
        m_programDir = std::make_unique<QTemporaryDir>();
        m_pop3d = std::make_unique<MailutilsServer>();
        QVERIFY2(m_pop3d->addUser(User, Password), qPrintable(m_pop3d->errorString()));
        for (int n = 1; n <= MailCount; ++n)
            QVERIFY(m_pop3d->deliver(User, generated(n).text));
        QVERIFY2(m_pop3d->start(), qPrintable(m_pop3d->errorString()));
        // UIDL first: the server counts its added id in a mail's size only
        // once it has made the id (and keeps the id in the file from the
        // end of that session on), as in the window's own login.
        m_uidl = lines(ask("UIDL"));
        m_list = lines(ask("LIST"));
        QCOMPARE(m_list.size(), MailCount);
        QCOMPARE(m_uidl.size(), MailCount);

        m_w = std::make_unique<frmMain>();
        m_w->setProgramFolder(m_programDir->path());
        kit::fillLogin(*m_w, m_pop3d->port(), User, Password);
        QVERIFY2(login(*m_w), qPrintable(m_boxes->texts().join(u'|') + m_pop3d->log()));
    }

    void cleanup()
    {
        m_w.reset();
        m_pop3d.reset();
        m_programDir.reset();
        m_platform.reset();
        m_boxes.reset();
    }

    void loginAndStatistics()
    {
        QCOMPARE(m_w->lblMails->text(), QString::number(MailCount));
        qint64 total = 0;
        for (int i = 0; i < MailCount; ++i) {
            const QList<QByteArray> pieces = m_list[i].split(' ');
            QCOMPARE(m_w->grdStats->TextMatrix(i + 1, 0), QString::fromLatin1(pieces[0]));
            QCOMPARE(m_w->grdStats->TextMatrix(i + 1, 1), QString::fromLatin1(pieces[1]));
            total += pieces[1].toLongLong();
        }
        QCOMPARE(m_w->lblMailSize->text(), QString::number(total));
        QCOMPARE(m_w->lblNewMails->text(), QStringLiteral("5 new mail(s)"));
        QVERIFY(logout(*m_w));

        // The store holds the server's ids: the mails' own and its own.
        QByteArray expected;
        for (const QByteArray &line : m_uidl)
            expected += line.split(' ').value(1) + "\r\n";
        QVERIFY(expected.startsWith("own-id-1\r\n"));
        QCOMPARE(kit::readFile(StoreName), expected);

        QVERIFY(login(*m_w));
        QCOMPARE(m_w->lblNewMails->text(), QStringLiteral("0 new mail(s)"));
        QVERIFY(logout(*m_w));
        QCOMPARE(m_boxes->texts(), QStringList(2, QStringLiteral("Confirm Logout?")));
    }

    void headersOfEveryMail()
    {
        QVERIFY(show(1, MailCount));
        QCOMPARE(m_w->grdMails->Rows(), MailCount + 2);
        for (int n = 1; n <= MailCount; ++n) {
            const Generated mail = generated(n);
            QCOMPARE(m_w->grdMails->TextMatrix(n + 1, 0), " " + QString::fromLatin1(mail.date));
            QCOMPARE(m_w->grdMails->TextMatrix(n + 1, 1), " " + QString::fromLatin1(mail.from));
            QCOMPARE(m_w->grdMails->TextMatrix(n + 1, 2), " " + QString::fromLatin1(mail.subject));
            QCOMPARE(m_w->grdMails->TextMatrix(n + 1, 3), QString::number(n));
            QCOMPARE(m_w->grdMails->TextMatrix(n + 1, 4), QString::fromLatin1(m_list[n - 1].split(' ').value(1)));
        }
        QVERIFY(m_boxes->boxes.isEmpty());
        QVERIFY(logout(*m_w));
    }

    void viewingWritesTheMailByteForByte_data()
    {
        QTest::addColumn<int>("mail");
        QTest::newRow("its own id") << 1;
        QTest::newRow("an id the server adds") << 2;
        QTest::newRow("big, in many pieces") << MailCount;
    }
    void viewingWritesTheMailByteForByte()
    {
        QFETCH(int, mail);
        const QString path = QDir(m_programDir->path()).filePath(QStringLiteral("test.eml"));
        QByteArray expected = generated(mail).text;
        if (mail % 2 == 0) {
            // The server adds its id after the last header line.
            const QByteArray id = m_uidl[mail - 1].split(' ').value(1);
            expected.replace(expected.indexOf("\r\n\r\n"), 2, "\r\nX-UIDL: " + id + "\r\n");
        }
        QVERIFY(show(1, MailCount));
        selectRows(mail + 1, mail + 1);
        m_boxes->answers.enqueue(MsgAnswer::Yes);
        QVERIFY(chooseFromGridMenu(mail + 1, m_w->mnuCompleteMail));
        QTRY_COMPARE_WITH_TIMEOUT(m_platform->count(QStringLiteral("startTextViewer")), 1, 20000);
        QTRY_VERIFY(m_w->prgProgress->isHidden() && m_w->cmdLogin->isEnabled());
        const QByteArray written = kit::readFile(path);
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected); // no long diff in the log
        QCOMPARE(qint64(written.size()), m_list[mail - 1].split(' ').value(1).toLongLong());
        QCOMPARE(m_boxes->texts(), QStringList{QStringLiteral("From:%1\r\nSubject:%2\r\nWant to View?")
                                                   .arg(m_w->grdMails->TextMatrix(mail + 1, 1),
                                                        m_w->grdMails->TextMatrix(mail + 1, 2))});
        QVERIFY(logout(*m_w));
        QCOMPARE(ask("RETR " + QByteArray::number(mail)), expected);
    }

    void secondWindowWhileTheFirstIsLoggedIn()
    {
        // The server's refusal is shown as any refused login is; once the
        // first window has logged out, the second gets in.
        frmMain second;
        kit::fillLogin(second, m_pop3d->port(), User, Password);
        second.cmdLogin->click();
        QTRY_COMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes[0].text, QStringLiteral("Server error\r\n-ERR [IN-USE] Mailbox in use\r\n"));
        QTRY_VERIFY(second.cmdLogin->isEnabled() && second.prgProgress->isHidden());
        QVERIFY(second.grdStats->isHidden());
        QCOMPARE(m_w->lblMails->text(), QString::number(MailCount)); // the first session goes on
        QVERIFY(show(1, 2));
        QCOMPARE(listed(3), (QStringList{"1", "2"}));

        QVERIFY(logout(*m_w));
        QVERIFY(logout(second)); // closes its refused connection
        m_boxes->clear();
        QVERIFY(login(second));
        QCOMPARE(second.lblMails->text(), QString::number(MailCount));
        QVERIFY(m_boxes->boxes.isEmpty());
        QVERIFY(logout(second));
    }

    void rangeDeletionAndFreshLogin()
    {
        m_w->cboDelFrom->setEditText(QStringLiteral("2"));
        m_w->cboDelTill->setEditText(QStringLiteral("3"));
        m_w->cmdDelete->click();
        // The log-off, then the fresh login to the smaller mailbox: the
        // server must have let the first session go by then.
        QTRY_COMPARE_WITH_TIMEOUT(m_w->lblMails->text(), QStringLiteral("3"), 10000);
        QTRY_VERIFY(m_w->cmdShow->isEnabled() && !m_w->grdStats->isHidden());
        QCOMPARE(m_w->cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(subjectsOnServer(), subjectsOf({1, 4, 5}));
        QVERIFY(show(1, 3));
        QCOMPARE(listed(2), (QStringList{" " + subjectsOf({1})[0], " " + subjectsOf({4})[0], " " + subjectsOf({5})[0]}));
        QVERIFY2(m_boxes->boxes.isEmpty(), qPrintable(m_boxes->texts().join(u'|')));
        QVERIFY(logout(*m_w));
    }

    void selectionDeletionThenLogout_data()
    {
        QTest::addColumn<bool>("updateChanges");
        QTest::newRow("Update Changes checked") << true;
        QTest::newRow("Update Changes unchecked") << false;
    }
    void selectionDeletionThenLogout()
    {
        QFETCH(bool, updateChanges);
        QVERIFY(show(1, MailCount));
        selectRows(3, 4); // mails 2 and 3
        m_boxes->answers.enqueue(MsgAnswer::Yes);
        QVERIFY(chooseFromGridMenu(4, m_w->mnuDeleteMail));
        QTRY_COMPARE(m_boxes->boxes.size(), 2); // the question, the closing message
        QCOMPARE(m_boxes->boxes[0].text, QStringLiteral("You have selected multiple mails to delete.\r\n From 3 to 4\r\nConfirm?"));
        QTRY_VERIFY(m_w->cmdLogin->isEnabled());
        QCOMPARE(listed(3), (QStringList{"1", "4", "5"}));
        QVERIFY(m_w->ckUpdtChanges->isChecked());
        QCOMPARE(subjectsOnServer(), subjectsOf({1, 2, 3, 4, 5})); // only marked so far
        m_w->ckUpdtChanges->setChecked(updateChanges);
        QVERIFY(logout(*m_w));
        QTRY_COMPARE(subjectsOnServer(), updateChanges ? subjectsOf({1, 4, 5}) : subjectsOf({1, 2, 3, 4, 5}));
        QVERIFY(login(*m_w));
        QCOMPARE(m_w->lblMails->text(), QString::number(updateChanges ? 3 : 5));
        QVERIFY(logout(*m_w));
    }
};

QTEST_MAIN(TestMailboxMailutils)
#include "test_mailbox_mailutils.moc"
