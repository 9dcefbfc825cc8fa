// Writing the message file piece by piece under a temporary name, in the
// first folder that takes it, and putting it in place when complete.

#include "mailbox/MessageFile.h"

#include "base/UserFiles.h"

#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int NameAttempts = 16;
constexpr qint64 SizeMargin = 1024 * 1024;

QString temporaryName(const QString &fileName)
{
    return fileName + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate(), 36);
}

} // namespace

MessageFile::MessageFile(const QStringList &folders, const QString &fileName)
    : m_folders(folders)
    , m_fileName(fileName)
{
}

MessageFile::~MessageFile()
{
    discard();
}

bool MessageFile::open()
{
    for (const QString &folder : m_folders) {
        // Only the last folder, the fallback, is made when it is missing.
        const bool usable = QDir(folder).exists()
                            || (folder == m_folders.last() && UserFiles::makePrivateFolder(folder));
        if (!folder.isEmpty() && usable && openIn(folder))
            return true;
    }
    m_failed = true;
    if (m_errorString.isEmpty())
        m_errorString = QStringLiteral("No folder takes the file.");
    return false;
}

bool MessageFile::openIn(const QString &folder)
{
    const QDir dir(folder);
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        m_file.setFileName(dir.filePath(temporaryName(m_fileName)));
        // A new file of our own, never one that is there (nor a link), and
        // private from its first moment; unbuffered, so each piece is in the
        // file once written.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            m_path = dir.filePath(m_fileName);
            return true;
        }
        m_errorString = m_file.errorString();
        if (!m_file.exists())
            return false; // the folder takes no file at all
    }
    return false;
}

void MessageFile::write(const QByteArray &octets)
{
    if (octets.isEmpty())
        return;
    m_size += octets.size();
    if (!m_emptyLine) {
        const QByteArray joined = m_tail + octets.left(3);
        m_emptyLine = joined.contains("\r\n\r\n") || octets.contains("\r\n\r\n");
        m_tail = (m_tail + octets.right(3)).right(3);
    }
    if (m_failed || !m_file.isOpen())
        return;
    // The rest of the mail is not written once a piece failed: the file is
    // dropped at the end, and a full disk is not filled any further. A write
    // cut short tells its reason only when the rest is tried.
    for (qsizetype done = 0; done < octets.size();) {
        const qint64 written = m_file.write(octets.constData() + done, octets.size() - done);
        if (written <= 0) {
            fail();
            return;
        }
        done += written;
    }
}

void MessageFile::fail()
{
    m_failed = true;
    m_errorString = m_file.errorString();
}

bool MessageFile::finish()
{
    if (!m_file.isOpen())
        return false;
    if (!m_failed && !m_file.flush())
        fail();
    m_file.close();
    if (!m_failed && m_file.error() != QFileDevice::NoError)
        fail();
    // The temporary file takes the name only now, replacing an older file
    // in one step: a viewer never sees half a mail.
    if (!m_failed
        && std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_path).constData()) != 0) {
        m_failed = true;
        m_errorString = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (m_failed) {
        m_file.remove();
        return false;
    }
    return true;
}

void MessageFile::discard()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    m_file.remove();
}

QStringList MessageFileFolders(const QString &programFolder, const QString &dataFolder)
{
    // Never a folder of the system's, nor one that others may write in.
    if (UserFiles::isUsersOwnFolder(programFolder))
        return {programFolder, dataFolder};
    return {dataFolder};
}

qint64 MessageSizeLimit(qint64 announced)
{
    // Any size a server may announce; beyond this there is nothing to double.
    constexpr qint64 MaxAnnounced = qint64(1) << 60;
    return 2 * qBound<qint64>(0, announced, MaxAnnounced) + SizeMargin;
}
