// Header retrieval and deletion through the real window against a real
// Dovecot with a generated mailbox; what is left on the server is read from
// its Maildir.

#include "DovecotServer.h"
#include "MessageBoxRecorder.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

const QString User = QStringLiteral("alice");
const QString Password = QStringLiteral("secret");
constexpr int MailCount = 5;

struct Generated
{
    QByteArray date, from, subject, text;
};

Generated generated(int n)
{
    Generated mail;
    mail.date = "Wed, " + QByteArray::number(n + 3) + " Aug 2004 1" + QByteArray::number(n) + ":2" + QByteArray::number(n)
                + ":00 +0200";
    mail.from = "Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n) + "@example.com>";
    mail.subject = "Generated mail " + QByteArray::number(n);
    mail.text = "Received: from example.com\r\nDate: " + mail.date + "\r\nFrom: " + mail.from
                + "\r\nTo: alice@example.com\r\nSubject: " + mail.subject + "\r\n\r\n";
    for (int i = 0; i < n * 4; ++i)
        mail.text += "Body line " + QByteArray::number(i) + " of mail " + QByteArray::number(n) + "\r\n";
    return mail;
}

// Subjects of the mails the server still holds, in delivery order.
QStringList subjectsOnServer(const DovecotServer &dovecot)
{
    QStringList subjects;
    for (int n = 1; n <= MailCount; ++n) {
        const QString wanted = QString::fromLatin1(generated(n).subject);
        for (const QString &folder : {QStringLiteral("/new"), QStringLiteral("/cur")}) {
            QDir dir(dovecot.maildir(User) + folder);
            for (const QString &name : dir.entryList(QDir::Files)) {
                QFile file(dir.filePath(name));
                if (file.open(QIODevice::ReadOnly) && file.readAll().contains("Subject: " + wanted.toLatin1() + "\r\n"))
                    subjects << wanted;
            }
        }
    }
    return subjects;
}

QStringList subjectsOf(std::initializer_list<int> numbers)
{
    QStringList subjects;
    for (int n : numbers)
        subjects << QString::fromLatin1(generated(n).subject);
    return subjects;
}

} // namespace

class TestMailboxDovecot : public QObject
{
    Q_OBJECT

    std::unique_ptr<DovecotServer> m_dovecot;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<frmMain> m_w;

    bool login()
    {
        m_w->cmdLogin_Click();
        return QTest::qWaitFor([&] { return !m_w->grdStats->isHidden() && m_w->cmdShow->isEnabled(); }, 10000);
    }
    bool show(int from, int till)
    {
        m_w->cboFrom->setEditText(QString::number(from));
        m_w->cboTill->setEditText(QString::number(till));
        m_w->cmdShow->click();
        return QTest::qWaitFor([&] { return m_w->cmdShow->text() == QLatin1String("Show"); }, 10000);
    }
    bool logout()
    {
        m_boxes->answers.enqueue(MsgAnswer::Yes);
        m_w->cmdLogin_Click();
        return QTest::qWaitFor([&] { return m_w->cmdLogin->text() == QLatin1String("Login"); }, 10000);
    }
    QStringList listedSubjects() const
    {
        QStringList subjects;
        for (int r = 2; r < m_w->grdMails->Rows(); ++r)
            subjects << m_w->grdMails->TextMatrix(r, 2).mid(1);
        return subjects;
    }

private slots:
    void initTestCase()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void init()
    {
        QFile::remove(User + QStringLiteral("_127.0.0.1.uidl"));
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_dovecot = std::make_unique<DovecotServer>();
        QVERIFY(m_dovecot->addUser(User, Password));
        for (int n = 1; n <= MailCount; ++n)
            QVERIFY(m_dovecot->deliver(User, generated(n).text));
        QVERIFY2(m_dovecot->start(), qPrintable(m_dovecot->errorString() + m_dovecot->log()));
        m_w = std::make_unique<frmMain>();
        kit::fillLogin(*m_w, m_dovecot->port(), User, Password);
        QVERIFY(login());
    }

    void cleanup()
    {
        m_w.reset();
        m_dovecot.reset();
        m_boxes.reset();
    }

    void headersOfMailsTwoToFour()
    {
        QVERIFY(show(2, 4));
        QCOMPARE(m_w->grdMails->Rows(), 5);
        for (int n = 2; n <= 4; ++n) {
            const Generated mail = generated(n);
            const int row = n;
            QCOMPARE(m_w->grdMails->TextMatrix(row, 0), " " + QString::fromLatin1(mail.date));
            QCOMPARE(m_w->grdMails->TextMatrix(row, 1), " " + QString::fromLatin1(mail.from));
            QCOMPARE(m_w->grdMails->TextMatrix(row, 2), " " + QString::fromLatin1(mail.subject));
            QCOMPARE(m_w->grdMails->TextMatrix(row, 3), QString::number(n));
            QCOMPARE(m_w->grdMails->TextMatrix(row, 4), QString::number(mail.text.size()));
        }
        QVERIFY(m_boxes->boxes.isEmpty());
        QVERIFY(logout());
    }

    void rangeDeletionAndFreshLogin()
    {
        m_w->cboDelFrom->setEditText(QStringLiteral("2"));
        m_w->cboDelTill->setEditText(QStringLiteral("3"));
        m_w->cmdDelete->click();
        // The log-off, then the fresh login with the smaller mailbox.
        QTRY_COMPARE_WITH_TIMEOUT(m_w->lblMails->text(), QStringLiteral("3"), 10000);
        QTRY_VERIFY(m_w->cmdShow->isEnabled() && !m_w->grdStats->isHidden());
        QCOMPARE(m_w->cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(subjectsOnServer(*m_dovecot), subjectsOf({1, 4, 5}));
        QVERIFY(show(1, 3));
        QCOMPARE(listedSubjects(), subjectsOf({1, 4, 5}));
        QVERIFY(m_boxes->boxes.isEmpty());
        QVERIFY(logout());
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
        // Rows 3 and 4 (table rows 2 and 3 below the heading row): mails 2 and 3.
        m_w->grdMails->SetRow(4);
        m_w->grdMails->clearSelection();
        m_w->grdMails->setRangeSelected(QTableWidgetSelectionRange(2, 0, 3, 5), true);
        m_w->mnuDeleteMail_Click();
        QTRY_COMPARE(m_boxes->boxes.size(), 2); // the question, the closing message
        QCOMPARE(listedSubjects(), subjectsOf({1, 4, 5}));
        QVERIFY(m_w->ckUpdtChanges->isChecked());
        QCOMPARE(subjectsOnServer(*m_dovecot), subjectsOf({1, 2, 3, 4, 5})); // only marked so far
        m_w->ckUpdtChanges->setChecked(updateChanges);
        QVERIFY(logout());
        QTRY_COMPARE(subjectsOnServer(*m_dovecot),
                     updateChanges ? subjectsOf({1, 4, 5}) : subjectsOf({1, 2, 3, 4, 5}));
        QVERIFY(login());
        QCOMPARE(m_w->lblMails->text(), QString::number(updateChanges ? 3 : 5));
        QVERIFY(logout());
    }
};

QTEST_MAIN(TestMailboxDovecot)
#include "test_mailbox_dovecot.moc"
