// Reading and writing whole files, and their permissions, in tests.

#include "TestFiles.h"

#include <QFile>

#include <sys/stat.h>

namespace kit {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size() && file.flush();
}

QString permissionBits(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("<missing>");
    return QStringLiteral("0%1").arg(info.st_mode & 07777, 3, 8, QLatin1Char('0'));
}

} // namespace kit
