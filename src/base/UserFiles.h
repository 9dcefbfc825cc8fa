#pragma once
// Files that hold the user's own data: small files written whole or not at
// all, with every write error seen (a full disk included).

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace UserFiles {

// Flushes the file to the disk: true when the system took every octet. Qt
// reports no error of its own final flush, so a full disk shows only here.
bool flushToDisk(QFileDevice &file, QFileDevice::FileError *error, QString *errorString);

struct WriteResult
{
    QFileDevice::FileError error = QFileDevice::NoError;
    QString errorString;
    bool ok() const { return error == QFileDevice::NoError; }
};

// Replaces the file with `bytes`. Written aside and renamed over it, so a
// failure leaves the old file whole; where the folder takes no new file, an
// existing file is rewritten in place, never cut before the new octets are
// in.
WriteResult writeWholeFile(const QString &path, const QByteArray &bytes);

} // namespace UserFiles
