// Loading, comparing and writing back the seen-id store.

#include "mailbox/clsUIDL.h"

#include "base/Notice.h"
#include "base/UserFiles.h"
#include "pop3/Pop3Replies.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString NoticeTitle = QStringLiteral("Mailvane ");

void report(int number, const QString &description)
{
    Notice::show(NoticeTitle, QString::number(number) + QLatin1Char(':') + description);
}

// The error numbers and texts users of the program have always seen.
void reportPathNotFound() { report(76, QStringLiteral("Path not found")); }
void reportAccessError() { report(75, QStringLiteral("Path/File access error")); }
void reportIoError() { report(57, QStringLiteral("Device I/O error")); }
void reportDiskFull() { report(61, QStringLiteral("Disk full")); }

void reportWriteFailure(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::ResourceError:
        reportDiskFull();
        break;
    case QFileDevice::WriteError:
        reportIoError();
        break;
    default:
        reportAccessError();
        break;
    }
}

bool folderExists(const QString &path)
{
    return QFileInfo(QFileInfo(path).absolutePath()).isDir();
}

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// Fields are separated by commas and line ends; blanks before a field are
// skipped; a field in double quotes loses them (and anything after the
// closing quote up to the separator).
QStringList readFields(const QString &text)
{
    QStringList fields;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && text.at(pos) == QLatin1Char(' '))
            ++pos;
        if (pos >= n)
            break;
        QString field;
        if (text.at(pos) == QLatin1Char('"')) {
            const qsizetype start = ++pos;
            while (pos < n && text.at(pos) != QLatin1Char('"') && !isLineEnd(text.at(pos)))
                ++pos;
            field = text.mid(start, pos - start);
            while (pos < n && text.at(pos) != QLatin1Char(',') && !isLineEnd(text.at(pos)))
                ++pos;
        } else {
            const qsizetype start = pos;
            while (pos < n && text.at(pos) != QLatin1Char(',') && !isLineEnd(text.at(pos)))
                ++pos;
            field = text.mid(start, pos - start);
        }
        if (pos < n) {
            if (text.at(pos) == QLatin1Char('\r') && pos + 1 < n && text.at(pos + 1) == QLatin1Char('\n'))
                pos += 2;
            else
                ++pos;
        }
        // Blank lines and empty fields name no mail.
        if (!field.isEmpty())
            fields.append(field);
    }
    return fields;
}

} // namespace

void clsUIDL::LoadFromFile(const QString &strF)
{
    strUIDLFile = strF;
    if (strF.isEmpty()) {
        reportAccessError();
        return;
    }
    const QFileInfo info(strF);
    if (!info.exists()) {
        // A first session has no file yet; a missing folder is a fault.
        if (!folderExists(strF))
            reportPathNotFound();
        return;
    }
    // A folder, a pipe or a device is no store: a pipe would block the
    // open for ever, a device could be read without end.
    if (!info.isFile()) {
        reportAccessError();
        return;
    }
    QFile file(strF);
    if (!file.open(QIODevice::ReadOnly)) {
        reportAccessError();
        return;
    }
    const QByteArray bytes = file.readAll();
    const bool failed = file.error() != QFileDevice::NoError;
    file.close();
    // Ids are ASCII; the file is read as one byte per character.
    const QStringList fields = readFields(QString::fromLatin1(bytes));
    for (const QString &id : fields)
        AddToList(id); // a repeated id is already known: skipped
    if (failed)
        reportIoError();
}

void clsUIDL::WriteToFile()
{
    // A store that was never loaded, or whose folder is gone, is not
    // written, and says nothing.
    if (strUIDLFile.isEmpty() || !folderExists(strUIDLFile))
        return;
    QByteArray bytes;
    for (const QString &id : std::as_const(colUIDL)) {
        bytes += id.toLatin1();
        bytes += "\r\n";
    }
    // A failure never leaves a half-written or empty store behind; where the
    // folder takes no new file the store is rewritten in place, or the same
    // mails would count as new for ever.
    const UserFiles::WriteResult written = UserFiles::writeWholeFile(strUIDLFile, bytes);
    if (!written.ok())
        reportWriteFailure(written.error);
}

bool clsUIDL::AddToList(const QString &strE)
{
    const QString key = strE.toCaseFolded();
    if (m_keys.contains(key))
        return false;
    m_keys.insert(key);
    colUIDL.append(strE);
    return true;
}

bool clsUIDL::RemoveFromList(const QString &strE)
{
    const QString key = strE.toCaseFolded();
    if (!m_keys.remove(key))
        return false;
    for (qsizetype i = 0; i < colUIDL.size(); ++i) {
        if (colUIDL.at(i).toCaseFolded() == key) {
            colUIDL.removeAt(i);
            break;
        }
    }
    return true;
}

bool clsUIDL::contains(const QString &id) const
{
    return m_keys.contains(id.toCaseFolded());
}

int UidlListingLastIndex(const QString &sReply)
{
    return int(sReply.count(QLatin1String("\r\n")));
}

namespace {
// A unique id is printable ASCII without blanks, and short; anything else
// is a damaged line, which must not end up in the store file.
bool isUsableId(QStringView id)
{
    if (id.isEmpty() || id.size() > 512)
        return false;
    for (QChar c : id)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
    return true;
}
} // namespace

QList<int> NewMailNumbers(const QString &sReply, clsUIDL &store,
                          const std::function<void(int)> &lineDone)
{
    // Line 0 is the status line; the last two pieces are the "." line and
    // the empty text after the final CR LF.
    // Views into the reply: only the ids kept are copied.
    const QList<QStringView> lines = Pop3Replies::replyLines(sReply);
    const int last = int(lines.size()) - 1;
    QList<int> newMails;
    for (int i = 1; i <= last - 2; ++i) {
        // "n id": the id is the second blank-separated piece.
        const QStringView id = Pop3Replies::blankSeparatedPiece(lines.at(i), 1);
        if (isUsableId(id) && store.AddToList(id.toString()))
            newMails.append(i);
        if (lineDone)
            lineDone(i);
    }
    return newMails;
}

namespace {

// Most names a file system takes, in octets.
constexpr qsizetype MaxNameOctets = 255;
constexpr qsizetype DigestDigits = 16;
const QString StoreEnding = QStringLiteral(".uidl");

// What could take a file name out of its folder or cut it short, or turn
// into something else on the way to the system.
bool isUnsafeInName(QChar c)
{
    return c == QLatin1Char('/') || c.category() == QChar::Other_Control;
}

QString percentEncoded(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

QString safeNamePart(const QString &part)
{
    if (std::none_of(part.cbegin(), part.cend(), isUnsafeInName))
        return part;
    QString safe;
    safe.reserve(part.size() * 3);
    for (QChar c : part)
        safe += isUnsafeInName(c) || c == QLatin1Char('%') ? percentEncoded(QString(c)) : QString(c);
    return safe;
}

qsizetype nameOctets(const QString &name)
{
    return QFile::encodeName(name).size();
}

// The longest start of `text` within `octets`, never parting a surrogate pair.
QString startWithin(const QString &text, qsizetype octets)
{
    qsizetype end = 0;
    qsizetype used = 0;
    while (end < text.size()) {
        const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const qsizetype size = nameOctets(text.mid(end, step));
        if (used + size > octets)
            break;
        used += size;
        end += step;
    }
    return text.left(end);
}

} // namespace

QString UidlStoreFileName(const QString &user, const QString &mailServer)
{
    const QString stem = safeNamePart(user) + QLatin1Char('_') + safeNamePart(mailServer);
    if (nameOctets(stem + StoreEnding) <= MaxNameOctets)
        return stem + StoreEnding;
    // Such a name never made a file: no store is lost by shortening it.
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(stem.toUtf8(), QCryptographicHash::Sha256).toHex().left(DigestDigits));
    const qsizetype room = MaxNameOctets - StoreEnding.size() - 1 - DigestDigits;
    return startWithin(stem, room) + QLatin1Char('~') + digest + StoreEnding;
}
