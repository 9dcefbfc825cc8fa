// A full disk, a real one: tests/support/full-disk gives this test a small
// tmpfs of its own, which each case fills to the last page before the window
// saves. A login file, the UIDL store and the mail for viewing each keep
// their old contents whole, the failure is told, and nothing half-written is
// left beside them.

#include "desktop/LoginFile.h"
#include "Pop3Scripts.h"
#include "WindowTestKit.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString FillerName = QStringLiteral("filler");

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loginFileKeepsItsOldLine();
    void storeKeepsItsIds();
    void viewKeepsTheEarlierMail();

private:
    // Writes the filler until the file system takes no more; true when it is
    // full. Files that are there keep their pages.
    bool fillUp();
    QString onDisk(const QString &name) const { return QDir(m_disk).filePath(name); }

    QString m_disk;
    QString m_previousFolder;
};

void TestFullDisk::initTestCase()
{
    m_disk = qEnvironmentVariable("MAILVANE_FULL_DISK");
    if (m_disk.isEmpty())
        QSKIP(qPrintable(qEnvironmentVariableIsSet("MAILVANE_FULL_DISK_SKIP")
                             ? qEnvironmentVariable("MAILVANE_FULL_DISK_SKIP")
                             : QStringLiteral("run through tests/support/full-disk (ctest does)")));
    m_previousFolder = QDir::currentPath();
}

void TestFullDisk::init()
{
    QDir disk(m_disk);
    for (const QString &name : disk.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        QVERIFY(QFileInfo(disk.filePath(name)).isDir() ? QDir(disk.filePath(name)).removeRecursively()
                                                       : disk.remove(name));
}

void TestFullDisk::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    QFile::remove(onDisk(FillerName));
}

bool TestFullDisk::fillUp()
{
    const int fd = ::open(QFile::encodeName(onDisk(FillerName)).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return false;
    // Whole pages: the file system is full when the next one does not fit.
    const QByteArray page(4096, 'f');
    int error = 0;
    for (int i = 0; i < 1 << 15 && error == 0; ++i)
        if (::write(fd, page.constData(), size_t(page.size())) < 0)
            error = errno;
    ::close(fd);
    return error == ENOSPC;
}

void TestFullDisk::loginFileKeepsItsOldLine()
{
    const QString path = onDisk(QStringLiteral("home.mvl"));
    const QByteArray old = "old 024E616263 oldhost 110\r\n";
    QVERIFY(kit::writeFile(path, old));
    RecordedWindow f;
    f.platform.saveFileAnswers << path;
    f.boxes.answers.enqueue(MsgAnswer::Yes); // replace it
    f.w.txtUser->setText(QStringLiteral("jim"));
    f.w.txtPwd->setText(QStringLiteral("abc"));
    f.w.txtMailServer->setText(QStringLiteral("mailhost"));
    QVERIFY(fillUp());

    f.w.cmdSave->click();
    QCOMPARE(f.boxes.texts(), (QStringList{"home.mvl already exists.\r\nDo you want to replace it?",
                                           "Error saving " + path + "\r\nNo space left on device"}));
    QCOMPARE(f.boxes.boxes.at(1).icon, MsgIcon::Exclamation);
    QCOMPARE(kit::readFile(path), old);
    QCOMPARE(filesIn(m_disk), (QStringList{FillerName, "home.mvl"}));

    // With room again the same click saves.
    QVERIFY(QFile::remove(onDisk(FillerName)));
    f.platform.saveFileAnswers << path;
    f.boxes.answers.enqueue(MsgAnswer::Yes);
    f.w.cmdSave->click();
    QCOMPARE(f.boxes.boxes.size(), 3);
    QCOMPARE(kit::readFile(path), QByteArray("jim 024E616263 mailhost 110\r\n"));
}

void TestFullDisk::storeKeepsItsIds()
{
    // The ids of earlier sessions, and a session that saw three more.
    QVERIFY(QDir::setCurrent(m_disk));
    const QString store = onDisk(QStringLiteral("bob_127.0.0.1.uidl"));
    const QByteArray old = "old-1\r\nold-2\r\n";
    QVERIFY(kit::writeFile(store, old));
    WindowFixture f;
    Pop3Scripts::session(f.server, "bob", "secret", {"old-1", "old-2", "new-1", "new-2", "new-3"},
                         {10, 20, 30, 40, 50});
    Pop3Scripts::logout(f.server);
    QVERIFY(f.login());
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
    QVERIFY(fillUp());

    QVERIFY(kit::logout(f.w, f.boxes));
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), (QStringList{"Confirm Logout?", "61:Disk full"}));
    QCOMPARE(f.boxes.boxes.at(1).title, QStringLiteral("Mailvane "));
    QCOMPARE(kit::readFile(store), old);
    QCOMPARE(filesIn(m_disk), (QStringList{"bob_127.0.0.1.uidl", FillerName}));
}

void TestFullDisk::viewKeepsTheEarlierMail()
{
    WindowFixture f;
    // The data folder on the full disk (root's mail always goes there; an
    // ordinary user's too when the program folder is not theirs).
    const QString folder = onDisk(QStringLiteral("data"));
    QVERIFY(QDir().mkdir(folder));
    f.w.setDataFolder(folder);
    f.w.setProgramFolder(QStringLiteral("/usr/bin"));
    const QString path = QDir(folder).filePath(QStringLiteral("test.eml"));
    const QByteArray earlier = "From: a@example.com\r\nSubject: viewed before\r\n\r\nHello.\r\n";
    QVERIFY(kit::writeFile(path, earlier));
    const QByteArray mail = "From: b@example.com\r\nSubject: now\r\n\r\n" + QByteArray(20000, 'm') + "\r\n";
    Pop3Scripts::session(f.server, "bob", "secret", {"uid-1"}, {mail.size()});
    f.server.reply("LIST 1\r\n", "+OK 1 " + QByteArray::number(mail.size()) + "\r\n");
    f.server.reply("RETR 1\r\n", kit::retrReply(mail));
    QVERIFY(f.login());
    kit::putMailRows(f.w, 1);
    QVERIFY(fillUp());

    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts().size(), 2);
    QCOMPARE(f.boxes.texts().at(1), "The message could not be saved as test.eml in " + folder
                                        + "\r\nNo space left on device");
    QCOMPARE(f.platform.count(QStringLiteral("startTextViewer")) + f.platform.count(QStringLiteral("openDocument")),
             0);
    QCOMPARE(kit::readFile(path), earlier);
    QCOMPARE(filesIn(folder), QStringList{"test.eml"});
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

QTEST_MAIN(TestFullDisk)
#include "test_full_disk.moc"
