// Writing the message file piece by piece, in the first folder that takes it.

#include "mailbox/MessageFile.h"

#include <QDir>

MessageFile::MessageFile(const QStringList &folders, const QString &fileName)
    : m_folders(folders)
    , m_fileName(fileName)
{
}

MessageFile::~MessageFile()
{
    if (m_file.isOpen())
        discard();
}

bool MessageFile::open()
{
    for (const QString &folder : m_folders) {
        // Only the last folder, the fallback, is made when it is missing.
        const bool usable = QDir(folder).exists() || (folder == m_folders.last() && QDir().mkpath(folder));
        if (folder.isEmpty() || !usable)
            continue;
        const QString path = QDir(folder).filePath(m_fileName);
        QFile::remove(path); // a viewer may still hold it; opening truncates anyway
        m_file.setFileName(path);
        // Unbuffered: each piece is in the file once written.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return true;
    }
    m_failed = true;
    return false;
}

void MessageFile::write(const QByteArray &octets)
{
    if (octets.isEmpty())
        return;
    if (!m_emptyLine) {
        const QByteArray joined = m_tail + octets.left(3);
        m_emptyLine = joined.contains("\r\n\r\n") || octets.contains("\r\n\r\n");
        m_tail = (m_tail + octets.right(3)).right(3);
    }
    if (m_failed || !m_file.isOpen())
        return;
    if (m_file.write(octets) != octets.size())
        m_failed = true;
}

bool MessageFile::finish()
{
    if (!m_file.isOpen())
        return false;
    const bool flushed = m_file.flush();
    m_file.close();
    return flushed && !m_failed && m_file.error() == QFileDevice::NoError;
}

void MessageFile::discard()
{
    if (m_file.isOpen()) {
        m_file.close();
        m_file.remove();
    }
}
