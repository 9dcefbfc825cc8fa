#pragma once
// Reading and writing whole files, and their permissions, in tests, for any
// test library.

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace kit {

// The file's bytes, or "<missing>" when it cannot be read (so a comparison
// fails with a readable difference).
QByteArray readFile(const QString &path);

// Writes (or with QIODevice::Append adds) all the bytes; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly);

// The permission bits of a file or folder (0600, 0755...), in octal text so
// a comparison shows them readably; "<missing>" when there is none.
QString permissionBits(const QString &path);

} // namespace kit
