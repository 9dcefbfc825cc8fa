#pragma once
// The ids of the POP3 mails already seen by this user on this server, kept
// in a small text file between sessions. Ids that differ only in letter
// case are one id; the order is the order in which they were first seen.

#include <QByteArray>
#include <QSet>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class clsUIDL
{
public:
    // Remembers the name for WriteToFile and adds the ids the file holds.
    // A missing file is a first session and says nothing; any other failure
    // is shown, and the ids read so far stay.
    void LoadFromFile(const QString &strF);
    // Replaces the file with the ids, one per line. The old file stays
    // untouched when the new one cannot be written completely; where no
    // new file can be made beside it, the old one is rewritten in place.
    void WriteToFile();
    // False when the id (in any letter case) is already listed.
    bool AddToList(const QString &strE);
    // False when the id is not listed.
    bool RemoveFromList(const QString &strE);

    int count() const { return int(colUIDL.size()); }
    const QStringList &ids() const { return colUIDL; }
    bool contains(const QString &id) const;
    QString fileName() const { return strUIDLFile; }

private:
    QStringList colUIDL;
    QSet<QString> m_keys; // the ids case-folded, for quick look-up
    QString strUIDLFile;
};

// Adds every id of a complete UIDL reply (status line through terminating
// line) to the store and returns the mail numbers whose id was new. The
// number of a mail is the position of its line in the listing; a line
// without an id is skipped. `lineDone` is told each position as it is
// handled, up to UidlListingLastIndex(sReply) - 2.
QList<int> NewMailNumbers(const QString &sReply, clsUIDL &store,
                          const std::function<void(int)> &lineDone = {});
// The last index of the reply split at its CR LFs, the progress maximum of
// the comparison.
int UidlListingLastIndex(const QString &sReply);

// The store file's name for a user on a mail server: user, "_", server and
// ".uidl", as typed. A character that could lead out of the folder or cut the
// name short ("/", NUL, any control character) is written as "%" and the hex
// digits of its UTF-8 octets, and so is "%" in a part holding such a
// character: a name without one stays exactly as it always was. A name
// longer than a file system takes (255 octets) is cut and ends in a digest
// of the whole, so it still names one store of its own.
QString UidlStoreFileName(const QString &user, const QString &mailServer);
