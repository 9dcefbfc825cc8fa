#pragma once
// The message file handed to a viewer, written as the mail's octets arrive
// so that a big mail is never held whole. It goes to the first of the given
// folders where it can be created (the last one is made when missing); an
// older file of that name is replaced.

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
    // Closes the file: true when every octet is in it.
    bool finish();
    // Closes and removes an unfinished file, so no viewer gets half a mail.
    void discard();

    QString path() const { return m_file.fileName(); }
    // The octets written so far hold an empty line (CR LF CR LF), as a
    // mail with a body does.
    bool hasEmptyLine() const { return m_emptyLine; }

private:
    QStringList m_folders;
    QString m_fileName;
    QFile m_file;
    bool m_failed = false;
    bool m_emptyLine = false;
    QByteArray m_tail; // the last octets, for an empty line cut by pieces
};
