#pragma once
// What the tag lists of HTTPMail replies say: the folder URLs of the login
// reply, and the mail records of the inbox listing.

#include <QList>
#include <QString>
#include <QStringList>

namespace HttpMailListing {

// One mail: its fields at these indexes, each empty when the listing lacks it.
using MailRecord = QStringList;
enum Field { ReadFlag, From, Subject, Date, Length, Url, FieldCount };
// Mail number n (counted from 1) is record n - 1 of the list.
using MailList = QList<MailRecord>;

// A tag-list entry without its "<name>" part: the text after the first ">"
// when that stands at the second place or later, else the whole entry.
QString stripTag(const QString &entry);

// The text of the first entry that holds "<hm:inbox>" (or
// "<hm:deleteditems>") anywhere, letter case counting; empty when none does.
QString inboxUrl(const QStringList &folderTags);
QString deletedItemsUrl(const QStringList &folderTags);

// The mails of an inbox listing in the listing's order. Each D:href opens the
// record of the next response, so a field a mail lacks stays empty instead of
// being taken from a neighbour; a response whose D:isfolder is "1" is no
// mail. newMails counts the records whose read flag is exactly "0".
struct Inbox
{
    MailList mails;
    int newMails = 0;
};
Inbox readInbox(const QStringList &inboxTags);

} // namespace HttpMailListing
