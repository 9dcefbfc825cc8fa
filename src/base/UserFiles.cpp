// The user's folders and files: ownership, private permissions, whole writes.

#include "base/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace UserFiles {

namespace {

constexpr QFileDevice::Permissions PrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions PrivateFolder = PrivateFile | QFileDevice::ExeOwner;

QFileDevice::FileError errorOfErrno(int number)
{
    return number == ENOSPC || number == EDQUOT ? QFileDevice::ResourceError : QFileDevice::WriteError;
}

WriteResult failure(const QFileDevice &file, QFileDevice::FileError fallback)
{
    const QFileDevice::FileError error = file.error();
    return {error == QFileDevice::NoError ? fallback : error, file.errorString()};
}

// The bytes over the start of the file, which is then cut to their length:
// the old text stays until the new one is there.
WriteResult writeInPlace(const QString &path, const QByteArray &bytes, Access access)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadWrite))
        return failure(file, QFileDevice::OpenError);
    if (access == Access::Private)
        makePrivate(file); // not ours to change when someone else owns it
    WriteResult result;
    if (file.write(bytes) != bytes.size() || !flushToDisk(file, &result.error, &result.errorString)
        || !file.resize(bytes.size()))
        return result.ok() ? failure(file, QFileDevice::WriteError) : result;
    return result;
}

} // namespace

bool isUsersOwnFolder(const QString &folder)
{
    const uid_t user = ::geteuid();
    struct stat info;
    if (folder.isEmpty() || user == 0 || ::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == user && (info.st_mode & S_IWOTH) == 0
           && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

bool makePrivateFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList missing;
    while (!QFileInfo::exists(path) && !QDir(path).isRoot()) {
        missing.prepend(path);
        path = QFileInfo(path).path();
    }
    for (const QString &step : std::as_const(missing))
        if (!QDir().mkdir(step, PrivateFolder))
            return false;
    return QFileInfo(folder).isDir();
}

bool makePrivate(QFileDevice &file)
{
    return file.setPermissions(PrivateFile);
}

bool flushToDisk(QFileDevice &file, QFileDevice::FileError *error, QString *errorString)
{
    // A write cut short tells its reason (a full disk, say) only when the
    // rest is tried again.
    if (!file.flush() && !file.flush()) {
        *error = file.error() == QFileDevice::NoError ? QFileDevice::WriteError : file.error();
        *errorString = file.errorString();
        return false;
    }
    // Some file systems find the disk full only when the data goes out.
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        const int number = errno;
        *error = errorOfErrno(number);
        *errorString = QString::fromLocal8Bit(std::strerror(number));
        return false;
    }
    return true;
}

WriteResult writeWholeFile(const QString &path, const QByteArray &bytes, Access access)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // A folder that takes no new file can still hold a writable one.
        if (QFileInfo(path).isFile())
            return writeInPlace(path, bytes, access);
        return failure(file, QFileDevice::OpenError);
    }
    if (access == Access::Private)
        makePrivate(file);
    WriteResult result;
    if (file.write(bytes) != bytes.size() || !flushToDisk(file, &result.error, &result.errorString)) {
        if (result.ok())
            result = failure(file, QFileDevice::WriteError);
        file.cancelWriting(); // the old file stays as it was
        return result;
    }
    if (!file.commit())
        return failure(file, QFileDevice::WriteError);
    return result;
}

} // namespace UserFiles
