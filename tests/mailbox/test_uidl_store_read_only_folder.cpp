// New mails when the current folder takes no new file, as a user meets it:
// log in, see the new mails, log out through the window, log in again. Runs
// as an ordinary user (ctest drops root to nobody); root would write anyway.

#include "WindowTestKit.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QString StoreName = QStringLiteral("bob_127.0.0.1.uidl");
const QByteArray OldStore = "uid-1\r\n";
const QString AccessError = QStringLiteral("Mailvane |75:Path/File access error");

} // namespace

class TestUidlStoreReadOnlyFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nextLoginSeesTheMailsAsOld_data();
    void nextLoginSeesTheMailsAsOld();

private:
    bool loginThroughWindow(frmMain &w, quint16 port);
    bool logoutThroughWindow(frmMain &w);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
};

void TestUidlStoreReadOnlyFolder::initTestCase()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders; ctest runs this test as nobody, which needs setpriv");
}

void TestUidlStoreReadOnlyFolder::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_previousFolder = QDir::currentPath();
}

void TestUidlStoreReadOnlyFolder::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    QFile::setPermissions(m_folder->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(m_folder->filePath(StoreName), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_folder.reset();
}

bool TestUidlStoreReadOnlyFolder::loginThroughWindow(frmMain &w, quint16 port)
{
    kit::fillLogin(w, port);
    QTest::mouseClick(w.cmdLogin, Qt::LeftButton);
    return QTest::qWaitFor([&] { return !w.grdStats->isHidden() && w.cmdShow->isEnabled(); }, 10000);
}

bool TestUidlStoreReadOnlyFolder::logoutThroughWindow(frmMain &w)
{
    if (w.cmdLogin->text() != QLatin1String("Logout"))
        return false;
    QTest::mouseClick(w.cmdLogin, Qt::LeftButton); // "Confirm Logout?" is answered Yes
    return QTest::qWaitFor([&] { return w.cmdLogin->text() == QLatin1String("Login") && w.cmdLogin->isEnabled(); },
                           10000);
}

void TestUidlStoreReadOnlyFolder::nextLoginSeesTheMailsAsOld_data()
{
    QTest::addColumn<bool>("storeWritable");
    QTest::addColumn<QByteArray>("storeAfter");
    QTest::addColumn<QString>("secondLogin");
    QTest::addColumn<QStringList>("notices"); // after each logout

    QTest::newRow("store file writable: rewritten in place")
        << true << QByteArray("uid-1\r\nuid-2\r\nuid-3\r\n") << "0 new mail(s)" << QStringList();
    QTest::newRow("store file read-only too: reported, still new")
        << false << OldStore << "2 new mail(s)" << QStringList{AccessError};
}

void TestUidlStoreReadOnlyFolder::nextLoginSeesTheMailsAsOld()
{
    QFETCH(bool, storeWritable);
    QFETCH(QByteArray, storeAfter);
    QFETCH(QString, secondLogin);
    QFETCH(QStringList, notices);

    // The current folder holds the store from an earlier session and takes
    // no new file.
    const QDir folder(m_folder->path());
    QFile store(folder.filePath(StoreName));
    QVERIFY(store.open(QIODevice::WriteOnly));
    QCOMPARE(store.write(OldStore), OldStore.size());
    store.close();
    if (!storeWritable)
        QVERIFY(store.setPermissions(QFileDevice::ReadOwner));
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(QDir::setCurrent(folder.path()));

    const QList<kit::TestMail> mails = kit::numberedMails(3);
    WindowFixture f;
    kit::scriptLogin(f.server, mails);
    Pop3Scripts::logout(f.server);
    f.server.acceptConnection();
    kit::scriptLogin(f.server, mails);
    Pop3Scripts::logout(f.server);

    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));

    QVERIFY(loginThroughWindow(f.w, f.server.port()));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
    f.boxes.clear();
    QVERIFY(logoutThroughWindow(f.w));
    QStringList shown;
    for (const MessageBoxRecorder::Box &box : f.boxes.boxes)
        if (box.text != QLatin1String("Confirm Logout?"))
            shown << box.title + QLatin1Char('|') + box.text;
    QCOMPARE(shown, notices);
    QCOMPARE(kit::readFile(StoreName), storeAfter);
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{StoreName});

    QVERIFY(loginThroughWindow(f.w, f.server.port()));
    QCOMPARE(f.w.lblNewMails->text(), secondLogin);
    QVERIFY(logoutThroughWindow(f.w));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
}

QTEST_MAIN(TestUidlStoreReadOnlyFolder)
#include "test_uidl_store_read_only_folder.moc"
