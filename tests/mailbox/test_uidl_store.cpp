// The store of UIDLs already seen: its file, its list, and which mails of a
// UIDL listing are new.

#include "base/Notice.h"
#include "mailbox/clsUIDL.h"
#include "ScratchFolder.h"

#include <QHash>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

class TestUidlStore : public QObject, private ScratchFolder
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void reading_data();
    void reading();
    void missingFileIsSilent();
    void missingFolderIsReported();
    void folderInPlaceOfFileIsReported();
    void idsDifferingInCaseAreOne();
    void writingKeepsOrder();
    void writingWithoutNameIsSilent();
    void noLimitOnTheNumberOfIds();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void readOnlyFolderWritesStoreInPlace_data();
    void readOnlyFolderWritesStoreInPlace();
    void newMails_data();
    void newMails();
    void newMailsReportProgress();
    void storeFileName_data();
    void storeFileName();
    void storeFileNameStaysInItsFolder();

};

void TestUidlStore::init()
{
    QVERIFY(setUpScratch());
}

void TestUidlStore::cleanup()
{
    tearDownScratch();
}

void TestUidlStore::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("ids");

    QTest::newRow("lines as written") << QByteArray("000000016b1a1c4b\r\n000000026b1a1c4b\r\n")
                                      << QStringList{"000000016b1a1c4b", "000000026b1a1c4b"};
    QTest::newRow("no line end at the end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("bare LF and bare CR") << QByteArray("a\nb\rc\n") << QStringList{"a", "b", "c"};
    QTest::newRow("commas separate") << QByteArray("a,b\r\nc,d\r\n") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("blanks before a field skipped")
        << QByteArray("   a\r\n  b,  c\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("quotes removed") << QByteArray("\"a\"\r\n  \"b\",c\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("comma inside quotes") << QByteArray("\"x,y\"\r\nz\r\n") << QStringList{"x,y", "z"};
    QTest::newRow("blank lines name no id") << QByteArray("a\r\n\r\n   \r\nb\r\n\r\n") << QStringList{"a", "b"};
    QTest::newRow("repeated id skipped")
        << QByteArray("a\r\nb\r\na\r\nc\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("repeated id in other case skipped")
        << QByteArray("UID1\r\nx\r\nuid1\r\ny\r\n") << QStringList{"UID1", "x", "y"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
}

void TestUidlStore::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, ids);
    const QString path = write(QStringLiteral("bob_pop.example.org.uidl"), file);
    QVERIFY(!path.isEmpty());

    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(store.ids(), ids);
    QCOMPARE(store.fileName(), path);
    QCOMPARE(m_notices, QStringList());
}

void TestUidlStore::missingFileIsSilent()
{
    const QString path = m_dir.filePath(QStringLiteral("new_user_pop.example.org.uidl"));
    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(store.count(), 0);
    QCOMPARE(m_notices, QStringList());

    // The first session's end creates it.
    QVERIFY(store.AddToList(QStringLiteral("id1")));
    store.WriteToFile();
    QCOMPARE(read(path), QByteArray("id1\r\n"));
    QCOMPARE(m_notices, QStringList());
}

void TestUidlStore::missingFolderIsReported()
{
    // A user name holding a folder separator points into a folder that is
    // not there.
    const QString path = m_dir.filePath(QStringLiteral("dept/bob_pop.example.org.uidl"));
    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(m_notices, QStringList{"Mailvane |76:Path not found"});
    QCOMPARE(store.count(), 0);

    // The session goes on; writing to the missing folder says nothing.
    QVERIFY(store.AddToList(QStringLiteral("x")));
    store.WriteToFile();
    QCOMPARE(m_notices.size(), 1);
    QVERIFY(!QFileInfo::exists(path));
}

void TestUidlStore::folderInPlaceOfFileIsReported()
{
    const QString path = m_dir.filePath(QStringLiteral("odd.uidl"));
    QVERIFY(QDir().mkpath(path));
    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(m_notices, QStringList{"Mailvane |75:Path/File access error"});
}

void TestUidlStore::idsDifferingInCaseAreOne()
{
    clsUIDL store;
    QVERIFY(store.AddToList(QStringLiteral("ABC1")));
    QVERIFY(!store.AddToList(QStringLiteral("abc1")));
    QVERIFY(!store.AddToList(QStringLiteral("ABC1")));
    QVERIFY(store.contains(QStringLiteral("aBc1")));
    QCOMPARE(store.ids(), QStringList{"ABC1"});

    QVERIFY(store.RemoveFromList(QStringLiteral("abc1")));
    QVERIFY(!store.RemoveFromList(QStringLiteral("abc1")));
    QCOMPARE(store.count(), 0);
    QVERIFY(store.AddToList(QStringLiteral("abc1")));
    QCOMPARE(store.ids(), QStringList{"abc1"});
}

void TestUidlStore::writingKeepsOrder()
{
    const QString path = write(QStringLiteral("u_s.uidl"), "x\r\ny\r\n");
    clsUIDL store;
    store.LoadFromFile(path);
    QVERIFY(store.AddToList(QStringLiteral("z")));
    QVERIFY(!store.AddToList(QStringLiteral("X")));
    QVERIFY(store.AddToList(QStringLiteral("a")));
    store.WriteToFile();
    QCOMPARE(read(path), QByteArray("x\r\ny\r\nz\r\na\r\n"));
    QCOMPARE(m_notices, QStringList());

    // Next session without new mail: same lines, same order.
    clsUIDL next;
    next.LoadFromFile(path);
    for (const char *id : {"x", "y", "z", "a"})
        QVERIFY(!next.AddToList(QString::fromLatin1(id)));
    next.WriteToFile();
    QCOMPARE(read(path), QByteArray("x\r\ny\r\nz\r\na\r\n"));
}

void TestUidlStore::writingWithoutNameIsSilent()
{
    // The empty store that stands in at the end of an HTTPMail session.
    clsUIDL store;
    QVERIFY(store.AddToList(QStringLiteral("x")));
    store.WriteToFile();
    QCOMPARE(m_notices, QStringList());
    QCOMPARE(m_dir.entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestUidlStore::noLimitOnTheNumberOfIds()
{
    const QString path = m_dir.filePath(QStringLiteral("many.uidl"));
    clsUIDL store;
    store.LoadFromFile(path);
    for (int i = 0; i < 40000; ++i)
        QVERIFY(store.AddToList(QStringLiteral("%1").arg(i, 16, 16, QLatin1Char('0'))));
    store.WriteToFile();
    QCOMPARE(m_notices, QStringList());

    clsUIDL again;
    again.LoadFromFile(path);
    QCOMPARE(again.count(), 40000);
    QCOMPARE(again.ids(), store.ids());
    QCOMPARE(m_notices, QStringList());
}

void TestUidlStore::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("newIds");
    QTest::newRow("read-only folder and file") << "read-only folder and file" << 2000;
    QTest::newRow("file size limit") << "file size limit" << 2000;
    // Small enough to wait in Qt's buffer until the file is committed.
    QTest::newRow("file size limit, small store") << "file size limit" << 20;
}

void TestUidlStore::failedWriteKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(int, newIds);
    const QByteArray old = "old1\r\nold2\r\n";
    QVERIFY(m_dir.mkdir(QStringLiteral("store")));
    const QString path = write(QStringLiteral("store/u_s.uidl"), old);
    QVERIFY(!path.isEmpty());

    clsUIDL store;
    store.LoadFromFile(path);
    for (int i = 0; i < newIds; ++i)
        store.AddToList(QStringLiteral("new%1").arg(i));

    const QString folder = QFileInfo(path).absolutePath();
    if (how == QLatin1String("read-only folder and file")) {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders; ctest runs this test as nobody");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        store.WriteToFile();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else {
        // Writing beyond a small size limit fails, for root too.
        struct rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 64;
        const auto previous = ::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        store.WriteToFile();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
    }

    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^Mailvane \\|\\d+:\\S.*$")).match(m_notices.at(0)).hasMatch(),
             qPrintable(m_notices.at(0)));
    QCOMPARE(read(path), old);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"u_s.uidl"});
}

void TestUidlStore::readOnlyFolderWritesStoreInPlace_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("grows") << QByteArray("old1\r\nold2\r\n") << QStringList{"new1", "new2"}
                           << QByteArray("old1\r\nold2\r\nnew1\r\nnew2\r\n");
    QTest::newRow("nothing new") << QByteArray("old1\r\nold2\r\n") << QStringList{}
                                 << QByteArray("old1\r\nold2\r\n");
    QTest::newRow("shrinks: quotes and blank lines dropped")
        << QByteArray("  \"old1\"\r\n\r\n\r\n\r\n  \"old2\"\r\n\r\n\r\n") << QStringList{"new1"}
        << QByteArray("old1\r\nold2\r\nnew1\r\n");
    QTest::newRow("empty store file") << QByteArray() << QStringList{"new1"} << QByteArray("new1\r\n");
}

void TestUidlStore::readOnlyFolderWritesStoreInPlace()
{
    // The folder takes no new file, so no copy can be made beside the
    // store; the store itself is writable and is rewritten where it is.
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders; ctest runs this test as nobody");
    QFETCH(QByteArray, old);
    QFETCH(QStringList, added);
    QFETCH(QByteArray, written);
    QVERIFY(m_dir.mkdir(QStringLiteral("store")));
    const QString path = write(QStringLiteral("store/u_s.uidl"), old);
    QVERIFY(!path.isEmpty());
    const QString folder = QFileInfo(path).absolutePath();

    clsUIDL store;
    store.LoadFromFile(path);
    for (const QString &id : added)
        QVERIFY(store.AddToList(id));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    store.WriteToFile();
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    QCOMPARE(m_notices, QStringList());
    QCOMPARE(read(path), written);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"u_s.uidl"});
}

void TestUidlStore::newMails_data()
{
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QList<int>>("newMails");
    QTest::addColumn<QStringList>("idsAfter");

    QTest::newRow("first session: all new")
        << QStringList{} << "+OK\r\n1 aa\r\n2 bb\r\n3 cc\r\n.\r\n" << QList<int>{1, 2, 3}
        << QStringList{"aa", "bb", "cc"};
    QTest::newRow("nothing new") << QStringList{"aa", "bb"} << "+OK\r\n1 aa\r\n2 bb\r\n.\r\n" << QList<int>{}
                                 << QStringList{"aa", "bb"};
    QTest::newRow("one arrived, one deleted")
        << QStringList{"gone", "aa"} << "+OK\r\n1 aa\r\n2 dd\r\n.\r\n" << QList<int>{2}
        << QStringList{"gone", "aa", "dd"};
    QTest::newRow("known in other case") << QStringList{"ABC1"} << "+OK\r\n1 abc1\r\n2 abc2\r\n.\r\n"
                                         << QList<int>{2} << QStringList{"ABC1", "abc2"};
    QTest::newRow("number is the position, not the text")
        << QStringList{} << "+OK\r\n5 aa\r\n9 bb\r\n.\r\n" << QList<int>{1, 2} << QStringList{"aa", "bb"};
    QTest::newRow("line without id skipped")
        << QStringList{} << "+OK\r\n1 aa\r\n2\r\n3 \r\n4 dd\r\n.\r\n" << QList<int>{1, 4}
        << QStringList{"aa", "dd"};
    QTest::newRow("id repeated in the listing is new once")
        << QStringList{} << "+OK\r\n1 aa\r\n2 aa\r\n.\r\n" << QList<int>{1} << QStringList{"aa"};
    QTest::newRow("id ending in a dot") << QStringList{} << "+OK\r\n1 abc.\r\n.\r\n" << QList<int>{1}
                                        << QStringList{"abc."};
    QTest::newRow("text after the id ignored")
        << QStringList{} << "+OK\r\n1 aa extra\r\n.\r\n" << QList<int>{1} << QStringList{"aa"};
    QTest::newRow("empty mailbox") << QStringList{"aa"} << "+OK\r\n.\r\n" << QList<int>{} << QStringList{"aa"};
}

void TestUidlStore::newMails()
{
    QFETCH(QStringList, known);
    QFETCH(QString, reply);
    QFETCH(QList<int>, newMails);
    QFETCH(QStringList, idsAfter);

    clsUIDL store;
    for (const QString &id : known)
        store.AddToList(id);
    QCOMPARE(NewMailNumbers(reply, store), newMails);
    QCOMPARE(store.ids(), idsAfter);
}

void TestUidlStore::newMailsReportProgress()
{
    const QString reply = QStringLiteral("+OK\r\n1 aa\r\n2\r\n3 cc\r\n.\r\n");
    QCOMPARE(UidlListingLastIndex(reply), 5);
    clsUIDL store;
    QList<int> lines;
    NewMailNumbers(reply, store, [&lines](int i) { lines.append(i); });
    QCOMPARE(lines, (QList<int>{1, 2, 3}));
}

void TestUidlStore::storeFileName_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("name");

    // Names without a character to encode stay exactly as they always were.
    QTest::newRow("plain") << "bob" << "pop.example.org" << "bob_pop.example.org.uidl";
    QTest::newRow("address") << "bob@example.org" << "127.0.0.1" << "bob@example.org_127.0.0.1.uidl";
    QTest::newRow("percent alone stays") << "50%25off" << "host%2F" << "50%25off_host%2F.uidl";
    QTest::newRow("backslash, blank, quote, star stay")
        << "DOMAIN\\bob smith" << "h\"*?" << "DOMAIN\\bob smith_h\"*?.uidl";
    QTest::newRow("letters beyond ASCII stay") << QString::fromUtf8("j\u00fcrgen") << QString::fromUtf8("m\u00e4il.de")
                                               << QString::fromUtf8("j\u00fcrgen_m\u00e4il.de.uidl");
    QTest::newRow("dots stay: the ending keeps it one name") << ".." << "." << ".._..uidl";
    QTest::newRow("leading dot stays") << ".profile" << "h" << ".profile_h.uidl";

    // Encoded: whatever could lead out of the folder or cut the name short.
    QTest::newRow("domain and user") << "DOMAIN/bob" << "h" << "DOMAIN%2Fbob_h.uidl";
    QTest::newRow("parent folders") << "../../.bash_aliases" << "h" << "..%2F..%2F.bash_aliases_h.uidl";
    QTest::newRow("absolute path") << "/etc/passwd" << "h" << "%2Fetc%2Fpasswd_h.uidl";
    QTest::newRow("NUL") << QStringLiteral("x") + QChar(0) + QStringLiteral("y") << "h" << "x%00y_h.uidl";
    QTest::newRow("line ends, tab, escape, DEL")
        << "a\r\nb\tc\x1b[1m\x7f" << "h" << "a%0D%0Ab%09c%1B[1m%7F_h.uidl";
    QTest::newRow("C1 control") << QString(QChar(0x85)) << "h" << "%C2%85_h.uidl";
    QTest::newRow("percent encoded beside an encoded character") << "50%/x" << "h" << "50%25%2Fx_h.uidl";
    QTest::newRow("only the part that needs it") << "50%" << "h/x" << "50%_h%2Fx.uidl";
    QTest::newRow("server with a path") << "bob" << "../../tmp/x" << "bob_..%2F..%2Ftmp%2Fx.uidl";
}

void TestUidlStore::storeFileName()
{
    QFETCH(QString, user);
    QFETCH(QString, server);
    QFETCH(QString, name);
    QCOMPARE(UidlStoreFileName(user, server), name);
}

void TestUidlStore::storeFileNameStaysInItsFolder()
{
    // Names of every length from hostile pieces: each is one file name of at
    // most 255 octets in the folder, the store can be made under it, and two
    // logins never share one.
    const QStringList pieces{QStringLiteral("/"), QStringLiteral(".."), QStringLiteral("."), QString(QChar(0)),
                             QStringLiteral("\r\n"), QStringLiteral("%"), QStringLiteral("%2F"),
                             QString::fromUtf8("\u00e9"), QString::fromUtf8("\u4e2d"),
                             QString::fromUtf8("\U0001F600"), QStringLiteral("a"), QStringLiteral("b")};
    QRandomGenerator random(21);
    QHash<QString, QString> seen; // name -> user and server
    for (int i = 0; i < 3000; ++i) {
        QString user;
        QString server;
        const int length = i < 2000 ? int(random.bounded(12)) : int(random.bounded(40, 300));
        for (int k = 0; k < length; ++k)
            (random.bounded(3) == 0 ? server : user) += pieces.at(int(random.bounded(int(pieces.size()))));
        const QString name = UidlStoreFileName(user, server);
        QVERIFY2(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)), qPrintable(name));
        QVERIFY2(QFile::encodeName(name).size() <= 255, qPrintable(name));
        QVERIFY(name.endsWith(QLatin1String(".uidl")));
        QCOMPARE(QFileInfo(m_dir.filePath(name)).absolutePath(), m_dir.absolutePath());
        const QString who = user + QChar(0xFFFF) + server;
        // A typed "%2F" may meet an encoded "/": the one price of keeping
        // every name without such a character as it was.
        if (!(user + server).contains(QLatin1String("%2F"))) {
            if (seen.contains(name) && seen.value(name) != who)
                QFAIL(qPrintable(QStringLiteral("two logins share the store ") + name));
            seen.insert(name, who);
        }
        if (i % 100 == 0) {
            clsUIDL store;
            store.LoadFromFile(m_dir.filePath(name));
            store.AddToList(QStringLiteral("id"));
            store.WriteToFile();
            QCOMPARE(m_notices, QStringList());
            QCOMPARE(read(m_dir.filePath(name)), QByteArray("id\r\n"));
        }
    }
}

QTEST_GUILESS_MAIN(TestUidlStore)
#include "test_uidl_store.moc"
