#pragma once
// Files and folders that hold the user's own data: whether a folder is the
// user's to write in, folders made private, and small files written whole or
// not at all, with every write error seen (a full disk included).

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace UserFiles {

// The folder belongs to the user running us, who may write in it and others
// may not. Root's folders are the system's: root gets no folder this way.
bool isUsersOwnFolder(const QString &folder);

// Makes the folder and any missing parent, each readable by the user alone
// (0700); folders that exist keep their permissions. True when it is there.
bool makePrivateFolder(const QString &folder);

// Makes the file readable and writable by the user alone (0600).
bool makePrivate(QFileDevice &file);

// Flushes the file to the disk: true when the system took every octet. Qt
// reports no error of its own final flush, so a full disk shows only here.
bool flushToDisk(QFileDevice &file, QFileDevice::FileError *error, QString *errorString);

enum class Access { Unchanged, Private };

struct WriteResult
{
    QFileDevice::FileError error = QFileDevice::NoError;
    QString errorString;
    bool ok() const { return error == QFileDevice::NoError; }
};

// Replaces the file with `bytes`. Written aside and renamed over it, so a
// failure leaves the old file whole; where the folder takes no new file, an
// existing file is rewritten in place, never cut before the new octets are
// in. Private: the file ends readable by the user alone.
WriteResult writeWholeFile(const QString &path, const QByteArray &bytes, Access access = Access::Unchanged);

} // namespace UserFiles
