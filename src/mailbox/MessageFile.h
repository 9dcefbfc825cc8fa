#pragma once
// The message file handed to a viewer, written as the mail's octets arrive
// so that a big mail is never held whole. The octets go to a file of a
// temporary name beside it, readable by the user alone, which takes the
// file's name only once the whole mail is in: until then an older file of
// that name stays as it was, and an unfinished one never outlives its
// object. It goes to the first of the given folders where it can be created
// (the last one is made, private, when missing).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

class MessageFile
{
public:
    MessageFile(const QStringList &folders, const QString &fileName);
    ~MessageFile();
    MessageFile(const MessageFile &) = delete;
    MessageFile &operator=(const MessageFile &) = delete;

    // False when no folder takes the file; later writes are then dropped.
    bool open();
    void write(const QByteArray &octets);
    // Gives the file its name: true when every octet is in it. Otherwise the
    // unfinished file is removed and errorString() says why.
    bool finish();
    // Removes an unfinished file, so no viewer gets half a mail.
    void discard();

    // The file's name once finished.
    QString path() const { return m_path; }
    // The octets handed to write() so far.
    qint64 size() const { return m_size; }
    QString errorString() const { return m_errorString; }
    // The octets written so far hold an empty line (CR LF CR LF), as a
    // mail with a body does.
    bool hasEmptyLine() const { return m_emptyLine; }

private:
    bool openIn(const QString &folder);
    void fail();

    QStringList m_folders;
    QString m_fileName;
    QString m_path;
    QFile m_file; // the temporary file
    bool m_failed = false;
    qint64 m_size = 0;
    QString m_errorString;
    bool m_emptyLine = false;
    QByteArray m_tail; // the last octets, for an empty line cut by pieces
};

// The folders a mail for viewing may go to, the first choice first: the
// program's folder where it is the user's own, then the user's data folder.
QStringList MessageFileFolders(const QString &programFolder, const QString &dataFolder);

// The most octets a mail whose size was announced as `announced` may bring
// before its transfer counts as broken: twice that, and a mebibyte more.
qint64 MessageSizeLimit(qint64 announced);
