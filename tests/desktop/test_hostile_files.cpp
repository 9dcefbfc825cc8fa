// Store and login files that are damaged, empty, huge, binary or not files
// at all. Each gives its clear result (the store's notice, the login file's
// "Error opening " with the fields read so far) and never crashes or hangs,
// and a store is never left broken by a write.

#include "base/Notice.h"
#include "desktop/LoginFile.h"
#include "mailbox/clsUIDL.h"
#include "ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype Huge = 20 * 1024 * 1024;

QByteArray randomBytes(qsizetype size, quint32 seed, const QByteArray &leaveOut = QByteArray())
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        char c;
        do
            c = char(random.bounded(256));
        while (leaveOut.contains(c));
        bytes[i] = c;
    }
    return bytes;
}

// Many plausible ids, one per line, up to the given size.
QByteArray manyIdLines(qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size + 64);
    for (int i = 0; bytes.size() < size; ++i)
        bytes += QByteArray::number(i, 16).rightJustified(68, '0') + "\r\n";
    return bytes;
}

QByteArray storeBytesOf(const QStringList &ids)
{
    QByteArray bytes;
    for (const QString &id : ids)
        bytes += id.toLatin1() + "\r\n";
    return bytes;
}

} // namespace

class TestHostileFiles : public QObject, private ScratchFolder
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void storeFiles_data();
    void storeFiles();
    void storeThatIsNoFile_data();
    void storeThatIsNoFile();
    void unreadableStore();
    void failedWriteKeepsHugeStore();
    void readOnlyStoreIsKept();

    void loginFiles_data();
    void loginFiles();
    void loginFileThatIsNoFile_data();
    void loginFileThatIsNoFile();
    void unreadableLoginFile();

private:
    QString makeFifo(const QString &name);
    // Runs work on a thread of its own. A FIFO nobody writes to blocks its
    // reader in open(); when work does not end, the FIFO gets a writer so the
    // thread can finish, and false says it hung.
    bool finishes(const std::function<void()> &work, const QString &fifo);
    QStringList leftFiles() const;

};

void TestHostileFiles::init()
{
    QVERIFY(setUpScratch());
}

void TestHostileFiles::cleanup()
{
    tearDownScratch();
}

QString TestHostileFiles::makeFifo(const QString &name)
{
    const QString path = m_dir.filePath(name);
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
}

bool TestHostileFiles::finishes(const std::function<void()> &work, const QString &fifo)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    bool inTime = QTest::qWaitFor([&] { return done.load(); }, 10000);
    if (!inTime && !fifo.isEmpty()) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    worker.join();
    return inTime;
}

QStringList TestHostileFiles::leftFiles() const
{
    return m_dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void TestHostileFiles::storeFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("idCount"); // -1: whatever the reading rules give

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("separators only") << QByteArray("\r\n,,\r\n   \r\n\n\r,") << 0;
    QTest::newRow("last line cut short") << QByteArray("aaaa\r\nbbbb\r\ncc") << 3;
    QTest::newRow("lone CRs and LFs") << QByteArray("a\rb\nc\n\rd\r\r\n") << 4;
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\0\0\r\nc", 11) << 3;
    QTest::newRow("high bytes") << QByteArray("\xe9t\xe9\r\n\xff\xfe\r\n\x80\r\n") << 3;
    QTest::newRow("binary") << randomBytes(256 * 1024, 7, "\"") << -1;
    QTest::newRow("huge, many ids") << manyIdLines(Huge) << int((Huge + 69) / 70);
    QTest::newRow("huge, one line") << QByteArray(Huge, 'u') << 1;
}

void TestHostileFiles::storeFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(int, idCount);
    const QString path = write(QStringLiteral("bob_pop.example.org.uidl"), file);
    QVERIFY(!path.isEmpty());
    file.clear(); // keep the huge rows' memory in check

    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(m_notices, QStringList());
    if (idCount >= 0)
        QCOMPARE(store.count(), idCount);

    // The session's new mail is appended; the write holds every id, one per
    // line, and reads back unchanged.
    QVERIFY(store.AddToList(QStringLiteral("new-after-load")));
    store.WriteToFile();
    QCOMPARE(m_notices, QStringList());
    QVERIFY(read(path) == storeBytesOf(store.ids()));
    clsUIDL again;
    again.LoadFromFile(path);
    QVERIFY(again.ids() == store.ids());
    QCOMPARE(m_notices, QStringList());
    QCOMPARE(leftFiles(), QStringList{"bob_pop.example.org.uidl"});
}

void TestHostileFiles::storeThatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "FIFO";
    QTest::newRow("endless device") << "endless device";
}

void TestHostileFiles::storeThatIsNoFile()
{
    QFETCH(QString, kind);
    QString path;
    QString fifo;
    if (kind == QLatin1String("FIFO")) {
        path = fifo = makeFifo(QStringLiteral("bob_pop.example.org.uidl"));
        QVERIFY(!path.isEmpty());
    } else {
        // A link in place of the store, as a user name with "/" can make.
        path = m_dir.filePath(QStringLiteral("bob_pop.example.org.uidl"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    }

    clsUIDL store;
    QVERIFY2(finishes([&] { store.LoadFromFile(path); }, fifo), "loading the store hung");
    QCOMPARE(m_notices, QStringList{"Mailvane |75:Path/File access error"});
    QCOMPARE(store.count(), 0);
}

void TestHostileFiles::unreadableStore()
{
    if (::geteuid() == 0)
        QSKIP("root reads files without read permission");
    const QString path = write(QStringLiteral("bob_pop.example.org.uidl"), "a\r\nb\r\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    clsUIDL store;
    store.LoadFromFile(path);
    QCOMPARE(m_notices, QStringList{"Mailvane |75:Path/File access error"});
    QCOMPARE(store.count(), 0);
}

void TestHostileFiles::failedWriteKeepsHugeStore()
{
    const QByteArray old = manyIdLines(Huge);
    const QString path = write(QStringLiteral("bob_pop.example.org.uidl"), old);
    QVERIFY(!path.isEmpty());
    clsUIDL store;
    store.LoadFromFile(path);
    QVERIFY(store.AddToList(QStringLiteral("new-after-load")));

    // The disk fills up a megabyte into the write.
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1024 * 1024;
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store.WriteToFile();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(m_notices.at(0).startsWith(QLatin1String("Mailvane |")), qPrintable(m_notices.at(0)));
    QVERIFY(read(path) == old);
    QCOMPARE(leftFiles(), QStringList{"bob_pop.example.org.uidl"});
}

void TestHostileFiles::readOnlyStoreIsKept()
{
    if (::geteuid() == 0)
        QSKIP("root writes over read-only files");
    const QString path = write(QStringLiteral("bob_pop.example.org.uidl"), "a\r\nb\r\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    clsUIDL store;
    store.LoadFromFile(path);
    QVERIFY(store.AddToList(QStringLiteral("c")));
    store.WriteToFile();
    QCOMPARE(m_notices, QStringList{"Mailvane |75:Path/File access error"});
    QCOMPARE(read(path), QByteArray("a\r\nb\r\n"));
    QCOMPARE(leftFiles(), QStringList{"bob_pop.example.org.uidl"});
}

void TestHostileFiles::loginFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("filledFields");
    QTest::addColumn<QStringList>("fields"); // user, password, server, port as far as filled

    const QString abc = QStringLiteral("abc");
    QTest::newRow("empty") << QByteArray() << 0 << QStringList{};
    QTest::newRow("line end only") << QByteArray("\r\njim 024E616263 mailhost 110\r\n") << 0 << QStringList{};
    QTest::newRow("comma first") << QByteArray(",jim 024E616263 mailhost 110\r\n") << 0 << QStringList{};
    QTest::newRow("one field") << QByteArray("garbage\r\n") << 1 << QStringList{"garbage"};
    QTest::newRow("cut after the password")
        << QByteArray("jim 024E616263") << 2 << QStringList{"jim", abc};
    QTest::newRow("cut by a lone CR") << QByteArray("jim 024E616263 mailhost\r110\r\n") << 3
                                      << QStringList{"jim", abc, "mailhost"};
    // A NUL or another control character would cut or bend what is made
    // of the field: the file is refused whole.
    QTest::newRow("NUL bytes in the fields") << QByteArray("j\0m 024E616263 mail\0host 1\0\r\n", 29) << 0
                                             << QStringList{};
    QTest::newRow("high bytes") << QByteArray("\xe9t\xe9 0000 \xff\xfe \xb9\r\n") << 4
                                << QStringList{QString::fromLatin1("\xe9t\xe9"), "",
                                               QString::fromLatin1("\xff\xfe"), QString::fromLatin1("\xb9")};
    QTest::newRow("C1 control byte") << QByteArray("\xe9t\xe9 0000 \xff\xfe \x80\r\n") << 0 << QStringList{};
    // A pair that is no hex gives a code below 16, a control character.
    QTest::newRow("password not hex") << QByteArray("u zzzz1x2 s 1\r\n") << 0 << QStringList{};
    QTest::newRow("huge file, proper first line")
        << QByteArray("jim 024E616263 mailhost 110\r\n") + randomBytes(Huge, 11) << 4
        << QStringList{"jim", abc, "mailhost", "110"};
    QTest::newRow("huge password field")
        << "u 0000" + QByteArray(900 * 1024, '4') + " s 1\r\n" << 4
        << QStringList{"u", QString(450 * 1024, QChar(0x44)), "s", "1"};
    // Reading stops a megabyte into a line without end: no login file.
    QTest::newRow("huge binary line") << randomBytes(Huge, 13, "\r\n,") << 0 << QStringList{};
}

void TestHostileFiles::loginFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(int, filledFields);
    QFETCH(QStringList, fields);
    const QString path = write(QStringLiteral("hostile.mvl"), file);
    QVERIFY(!path.isEmpty());
    file.clear();

    const LoginDetails details = LoadLoginFile(path);
    QCOMPARE(details.filledFields, filledFields);
    QCOMPARE(details.ok, filledFields == 4);
    const QStringList got = QStringList{details.user, details.password, details.mailServer, details.port}.mid(
        0, filledFields);
    QVERIFY(got == fields);
    if (!details.ok)
        QCOMPARE(LoginFileOpenErrorText(path), QStringLiteral("Error opening ") + path);
}

void TestHostileFiles::loginFileThatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "FIFO";
    QTest::newRow("endless device") << "endless device";
}

void TestHostileFiles::loginFileThatIsNoFile()
{
    QFETCH(QString, kind);
    QString path;
    QString fifo;
    if (kind == QLatin1String("FIFO")) {
        path = fifo = makeFifo(QStringLiteral("pipe.mvl"));
        QVERIFY(!path.isEmpty());
    } else {
        path = QStringLiteral("/dev/zero");
    }

    LoginDetails details;
    details.filledFields = -1;
    QVERIFY2(finishes([&] { details = LoadLoginFile(path); }, fifo), "loading the login file hung");
    QVERIFY(!details.ok);
    QCOMPARE(details.filledFields, 0);
}

void TestHostileFiles::unreadableLoginFile()
{
    if (::geteuid() == 0)
        QSKIP("root reads files without read permission");
    const QString path = write(QStringLiteral("secret.mvl"), "jim 024E616263 mailhost 110\r\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const LoginDetails details = LoadLoginFile(path);
    QVERIFY(!details.ok);
    QCOMPARE(details.filledFields, 0);
}

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "test_hostile_files.moc"
