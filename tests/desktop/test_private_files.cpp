// Where the window writes the user's files and who may read them, as an
// ordinary user (ctest runs this as nobody when it runs as root): the mail
// for viewing goes to the program folder only when that is the user's own,
// else to the data folder, which is made private; the mail and login files
// are readable by the user alone; the "Save Login.." dialog opens in the
// program folder only when it is the user's, else in Documents or home.

#include "Pop3Scripts.h"
#include "WindowTestKit.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QByteArray Mail = "From: Ann <a@example.com>\r\nSubject: private\r\n\r\nFor Bob only.\r\n";

bool isRoot()
{
    return ::geteuid() == 0;
}

// Logs the fixture in to a mailbox of one mail and views it.
bool viewTheMail(WindowFixture &f)
{
    Pop3Scripts::session(f.server, "bob", "secret", {"uid-1"}, {Mail.size()});
    f.server.reply("LIST 1\r\n", "+OK 1 " + QByteArray::number(Mail.size()) + "\r\n");
    f.server.reply("RETR 1\r\n", kit::retrReply(Mail));
    if (!f.login())
        return false;
    kit::putMailRows(f.w, 1);
    kit::viewMail(f.w, 1);
    return kit::viewDone(f.w) && f.server.mismatches().isEmpty();
}

// An environment variable set for one test, restored after it.
class EnvironmentChange
{
public:
    EnvironmentChange(const char *name, const QString &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~EnvironmentChange()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestPrivateFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void mailInTheUsersOwnFolderIsPrivate();
    void foldersNotTheUsersAreNotUsed_data();
    void foldersNotTheUsersAreNotUsed();
    void dataFolderIsMadePrivate();
    void saveDialogOpensInTheUsersOwnFolder_data();
    void saveDialogOpensInTheUsersOwnFolder();
    void savedLoginFileIsPrivate_data();
    void savedLoginFileIsPrivate();
};

void TestPrivateFiles::initTestCase()
{
    if (isRoot())
        qWarning("running as root (no setpriv or no user nobody): root's program folder is never used");
}

void TestPrivateFiles::mailInTheUsersOwnFolderIsPrivate()
{
    WindowFixture f;
    QVERIFY(viewTheMail(f));
    const QString path = QDir(isRoot() ? f.dataDir.path() : f.programDir.path()).filePath(QStringLiteral("test.eml"));
    QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).value(0).args, QStringList{path});
    QCOMPARE(kit::readFile(path), Mail);
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
}

void TestPrivateFiles::foldersNotTheUsersAreNotUsed_data()
{
    QTest::addColumn<QString>("folder"); // "own, open to all": a folder of ours that everyone may write in
    QTest::newRow("everyone writes in it") << "/tmp";
    QTest::newRow("the system's") << "/usr/bin";
    QTest::newRow("the user's, but everyone writes in it") << "own, open to all";
}

void TestPrivateFiles::foldersNotTheUsersAreNotUsed()
{
    // Another user could read the mail there, or put a file of theirs in
    // its place for the viewer.
    QFETCH(QString, folder);
    QTemporaryDir own;
    if (folder == QLatin1String("own, open to all")) {
        folder = own.path();
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
    }
    const QString there = QDir(folder).filePath(QStringLiteral("test.eml"));
    const bool wasThere = QFileInfo::exists(there);
    WindowFixture f;
    f.w.setProgramFolder(folder);
    QVERIFY(viewTheMail(f));
    const bool madeThere = !wasThere && QFileInfo::exists(there);
    if (madeThere)
        QFile::remove(there);

    QVERIFY2(!madeThere, qPrintable(there));
    const QString path = QDir(f.dataDir.path()).filePath(QStringLiteral("test.eml"));
    QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).value(0).args, QStringList{path});
    QCOMPARE(kit::readFile(path), Mail);
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
}

void TestPrivateFiles::dataFolderIsMadePrivate()
{
    // The user's data folder, where none is yet: each folder made for it is
    // the user's alone.
    QTemporaryDir home;
    const QString dataHome = home.filePath(QStringLiteral("xdg-data"));
    const EnvironmentChange change("XDG_DATA_HOME", dataHome);
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY2(dataFolder.startsWith(dataHome + QLatin1Char('/')), qPrintable(dataFolder));

    WindowFixture f;
    f.w.setProgramFolder(QStringLiteral("/usr/bin"));
    f.w.setDataFolder(QString()); // the real one
    QVERIFY(viewTheMail(f));

    const QString path = QDir(dataFolder).filePath(QStringLiteral("test.eml"));
    QCOMPARE(kit::readFile(path), Mail);
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
    for (QString folder = dataFolder; folder.startsWith(dataHome); folder = QFileInfo(folder).path())
        QVERIFY2(kit::permissionBits(folder) == QLatin1String("0700"), qPrintable(folder));
}

void TestPrivateFiles::saveDialogOpensInTheUsersOwnFolder_data()
{
    QTest::addColumn<QString>("programFolder"); // "own": a folder of the user's
    QTest::addColumn<bool>("documents");        // ~/Documents exists
    QTest::addColumn<QString>("opensIn");       // "program", "Documents" or "home"

    QTest::newRow("the user's program folder") << "own" << true << (isRoot() ? "Documents" : "program");
    QTest::newRow("the system's, Documents there") << "/usr/bin" << true << "Documents";
    QTest::newRow("the system's, no Documents") << "/usr/bin" << false << "home";
    QTest::newRow("everyone writes in it") << "/tmp" << false << "home";
}

void TestPrivateFiles::saveDialogOpensInTheUsersOwnFolder()
{
    QFETCH(QString, programFolder);
    QFETCH(bool, documents);
    QFETCH(QString, opensIn);
    QTemporaryDir home;
    QTemporaryDir own;
    const EnvironmentChange change("HOME", home.path());
    const QString documentsFolder = QDir(home.path()).filePath(QStringLiteral("Documents"));
    if (documents)
        QVERIFY(QDir().mkdir(documentsFolder));
    if (programFolder == QLatin1String("own"))
        programFolder = own.path();

    RecordedWindow f; // the dialog is cancelled
    f.w.setProgramFolder(programFolder);
    f.w.txtUser->setText(QStringLiteral("jim"));
    f.w.txtPwd->setText(QStringLiteral("abc"));
    f.w.txtMailServer->setText(QStringLiteral("mailhost"));
    f.w.cmdSave->click();

    const QString expected = opensIn == QLatin1String("program")     ? programFolder
                             : opensIn == QLatin1String("Documents") ? documentsFolder
                                                                     : home.path();
    QCOMPARE(f.platform.callsTo(QStringLiteral("getSaveFileName")).value(0).args.value(1), expected);
}

void TestPrivateFiles::savedLoginFileIsPrivate_data()
{
    QTest::addColumn<bool>("existing");       // a file others may read is there
    QTest::addColumn<bool>("folderReadOnly"); // the folder takes no new file
    QTest::newRow("new file") << false << false;
    QTest::newRow("replacing one others may read") << true << false;
    QTest::newRow("rewritten in place, the folder taking no new file") << true << true;
}

void TestPrivateFiles::savedLoginFileIsPrivate()
{
    QFETCH(bool, existing);
    QFETCH(bool, folderReadOnly);
    if (folderReadOnly && isRoot())
        QSKIP("root writes into read-only folders; ctest runs this test as nobody");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("home.mvl"));
    if (existing) {
        QVERIFY(kit::writeFile(path, "old 0000 oldhost 110\r\n"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6644)));
        QCOMPARE(kit::permissionBits(path), QStringLiteral("0644"));
    }
    if (folderReadOnly)
        QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    RecordedWindow f;
    f.platform.saveFileAnswers << path;
    if (existing)
        f.boxes.answers.enqueue(MsgAnswer::Yes);
    f.w.txtUser->setText(QStringLiteral("jim"));
    f.w.txtPwd->setText(QStringLiteral("abc"));
    f.w.txtMailServer->setText(QStringLiteral("mailhost"));
    f.w.cmdSave->click();
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QCOMPARE(f.boxes.boxes.size(), existing ? 1 : 0); // the replace question alone
    QCOMPARE(kit::readFile(path), QByteArray("jim 024E616263 mailhost 110\r\n"));
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"home.mvl"});
}

QTEST_MAIN(TestPrivateFiles)
#include "test_private_files.moc"
