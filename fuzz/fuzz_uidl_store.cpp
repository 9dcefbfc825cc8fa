// Loads a store file of arbitrary bytes, writes it back and loads it again.
// A readable file never gives a notice, the written file holds exactly the
// ids in memory, and after one round the store reads back unchanged. Ids
// that the reading rules cannot give back as written (a comma inside quotes,
// a quoted leading blank) are the only ones allowed to change on the first
// round.

#include "FuzzInput.h"

#include "base/Notice.h"
#include "mailbox/clsUIDL.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QString storePath()
{
    // Every run writes and syncs the store; memory-backed files keep that quick.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/mailvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/mailvane-fuzz-XXXXXX"));
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QStringLiteral("user_pop.example.org.uidl"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

QStringList load(const QString &path)
{
    clsUIDL store;
    store.LoadFromFile(path);
    return store.ids();
}

bool readsBackAsWritten(const QString &id)
{
    return !id.contains(u',') && !id.startsWith(u' ') && !id.startsWith(u'"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = storePath();
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    int notices = 0;
    Notice::setHandler([&notices](const QString &, const QString &) { ++notices; });

    clsUIDL store;
    store.LoadFromFile(path);
    const QStringList ids = store.ids();
    store.WriteToFile();
    FUZZ_CHECK(notices == 0);

    QByteArray expected;
    for (const QString &id : ids) {
        FUZZ_CHECK(!id.isEmpty());
        FUZZ_CHECK(!id.contains(u'\r') && !id.contains(u'\n'));
        expected += id.toLatin1() + "\r\n";
    }
    FUZZ_CHECK(readAll(path) == expected);

    const QStringList again = load(path);
    if (std::all_of(ids.begin(), ids.end(), readsBackAsWritten))
        FUZZ_CHECK(again == ids);

    clsUIDL second;
    second.LoadFromFile(path);
    second.WriteToFile();
    FUZZ_CHECK(load(path) == again);
    FUZZ_CHECK(notices == 0);

    Notice::setHandler({});
    // Nothing is left beside the store.
    FUZZ_CHECK(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size() == 1);
    return 0;
}
