// The UIDL store's file name through the window, as a user meets it: a
// crafted login file or a typed name that holds "../", "/" or a NUL logs in
// to the scripted server and out again, and the store stays in the current
// folder under its encoded name, nothing is made anywhere else; a name like
// DOMAIN/user keeps its store from one login to the next.

#include "desktop/LoginFile.h"
#include "Pop3Scripts.h"
#include "WindowTestKit.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList Ids{"uid-1", "uid-2", "uid-3"};
const QList<qint64> Sizes{100, 200, 300};
const QByteArray IdLines = "uid-1\r\nuid-2\r\nuid-3\r\n";

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestUidlStoreNames : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void storeStaysInTheFolder_data();
    void storeStaysInTheFolder();
    void domainUserKeepsItsStore();

private:
    // outer/inner, the current folder being inner.
    std::unique_ptr<QTemporaryDir> m_outer;
    QString m_inner;
    QString m_previousFolder;
};

void TestUidlStoreNames::init()
{
    m_outer = std::make_unique<QTemporaryDir>();
    QVERIFY(m_outer->isValid());
    m_inner = m_outer->filePath(QStringLiteral("inner"));
    QVERIFY(QDir().mkdir(m_inner));
    m_previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_inner));
}

void TestUidlStoreNames::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    m_outer.reset();
}

void TestUidlStoreNames::storeStaysInTheFolder_data()
{
    QTest::addColumn<QString>("user");     // as in the login file or typed
    QTest::addColumn<bool>("fromFile");    // loaded from a login file, else typed
    QTest::addColumn<QString>("loggedIn"); // the user name that logs in
    QTest::addColumn<QString>("store");    // its store in the current folder ("%1": the outer folder)

    const QString nul(QChar(0));
    QTest::newRow("parent folder, from a login file")
        << "../escape" << true << "../escape" << "..%2Fescape_127.0.0.1.uidl";
    QTest::newRow("NUL cutting the ending, from a login file: refused")
        << "../.bash_aliases" + nul << true << "bob" << "bob_127.0.0.1.uidl";
    QTest::newRow("NUL cutting the ending, typed")
        << "../.bash_aliases" + nul << false << "../.bash_aliases" + nul << "..%2F.bash_aliases%00_127.0.0.1.uidl";
    QTest::newRow("absolute path, typed") << "%1/abs" << false << "%1/abs" << "%1/abs_127.0.0.1.uidl";
}

void TestUidlStoreNames::storeStaysInTheFolder()
{
    QFETCH(QString, user);
    QFETCH(bool, fromFile);
    QFETCH(QString, loggedIn);
    QFETCH(QString, store);
    if (user.contains(QLatin1String("%1"))) {
        user = user.arg(m_outer->path());
        loggedIn = loggedIn.arg(m_outer->path());
        store = store.arg(m_outer->path()).replace(QLatin1Char('/'), QLatin1String("%2F"));
    }

    WindowFixture f;
    Pop3Scripts::session(f.server, loggedIn.toLatin1(), "secret", Ids, Sizes);
    Pop3Scripts::logout(f.server);
    kit::fillLogin(f.w, f.server.port()); // bob, as the user left it
    if (fromFile) {
        const QString loginFile = m_outer->filePath(QStringLiteral("crafted.mvl"));
        QVERIFY(kit::writeFile(loginFile, FormatLoginLine(user, QStringLiteral("secret"), QStringLiteral("127.0.0.1"),
                                                          QString::number(f.server.port()))
                                                  .toLatin1()
                                              + "\r\n"));
        f.platform.openFileAnswers << loginFile;
        f.w.cmdLoad->click();
    } else {
        f.w.txtUser->setText(user);
    }
    f.w.cmdLogin->click();
    QTRY_VERIFY(kit::loggedInAndIdle(f.w));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
    QVERIFY(kit::logout(f.w, f.boxes));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());

    QCOMPARE(filesIn(m_inner), QStringList{store});
    QCOMPARE(kit::readFile(QDir(m_inner).filePath(store)), IdLines);
    QStringList outerFiles{"inner"};
    if (fromFile)
        outerFiles.prepend(QStringLiteral("crafted.mvl"));
    QCOMPARE(filesIn(m_outer->path()), outerFiles);
    for (const MessageBoxRecorder::Box &box : f.boxes.boxes)
        QVERIFY2(!box.text.contains(QLatin1String("Path")), qPrintable(box.text));
}

void TestUidlStoreNames::domainUserKeepsItsStore()
{
    // The second login of the same user in the same window finds the ids
    // the first one wrote, without a word about paths.
    WindowFixture f;
    Pop3Scripts::session(f.server, "DOMAIN/bob", "secret", Ids, Sizes);
    Pop3Scripts::logout(f.server);
    f.server.acceptConnection();
    Pop3Scripts::session(f.server, "DOMAIN/bob", "secret", Ids + QStringList{"uid-4"}, Sizes + QList<qint64>{400});
    Pop3Scripts::logout(f.server);

    QVERIFY(kit::login(f.w, f.server.port(), 10000, QStringLiteral("DOMAIN/bob")));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
    QVERIFY(kit::logout(f.w, f.boxes));
    QCOMPARE(filesIn(m_inner), QStringList{"DOMAIN%2Fbob_127.0.0.1.uidl"});

    QVERIFY(kit::login(f.w, f.server.port(), 10000, QStringLiteral("DOMAIN/bob")));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
    QVERIFY(kit::logout(f.w, f.boxes));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), (QStringList{"Confirm Logout?", "Confirm Logout?"}));
    QCOMPARE(kit::readFile(QDir(m_inner).filePath(QStringLiteral("DOMAIN%2Fbob_127.0.0.1.uidl"))),
             IdLines + "uid-4\r\n");
    QCOMPARE(filesIn(m_inner), QStringList{"DOMAIN%2Fbob_127.0.0.1.uidl"});
}

QTEST_MAIN(TestUidlStoreNames)
#include "test_uidl_store_names.moc"
