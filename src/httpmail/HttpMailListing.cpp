// Reading HTTPMail tag lists into folder URLs and mail records.

#include "httpmail/HttpMailListing.h"

namespace {

using namespace HttpMailListing;

QString folderUrl(const QStringList &folderTags, QLatin1String tag)
{
    for (const QString &entry : folderTags) {
        if (entry.contains(tag))
            return entry.mid(entry.indexOf(QLatin1Char('>')) + 1);
    }
    return QString();
}

// The fields of the response being read, until the next D:href ends it.
class RecordReader
{
public:
    explicit RecordReader(Inbox &inbox) : m_inbox(inbox) {}

    void take(const QString &entry)
    {
        // The first field whose tag the entry holds anywhere takes it.
        static const QLatin1String Tags[FieldCount] = {
            QLatin1String("<hm:read>"), QLatin1String("<m:from>"),
            QLatin1String("<m:subject>"), QLatin1String("<m:date>"),
            QLatin1String("<D:getcontentlength>"), QLatin1String("<D:href>"),
        };
        int field = 0;
        while (field < FieldCount && !entry.contains(Tags[field]))
            ++field;
        if (field == Url) {
            finish();
            m_fields[Url] = stripTag(entry);
        } else if (field < Url) {
            m_fields[field] = stripTag(entry);
            m_hasField = true;
        } else if (entry.contains(QLatin1String("<D:isfolder>"))) {
            m_folderKnown = true;
            m_isFolder = stripTag(entry) == QLatin1String("1");
        }
    }

    void finish()
    {
        if (!m_isFolder && (m_hasField || m_folderKnown)) {
            MailRecord record;
            record.reserve(FieldCount);
            for (const QString &field : m_fields)
                record.append(field);
            m_inbox.mails.append(record);
            if (m_fields[ReadFlag] == QLatin1String("0"))
                ++m_inbox.newMails;
        }
        for (QString &field : m_fields)
            field.clear();
        m_hasField = m_folderKnown = m_isFolder = false;
    }

private:
    Inbox &m_inbox;
    QString m_fields[FieldCount];
    bool m_hasField = false;
    bool m_folderKnown = false;
    bool m_isFolder = false;
};

} // namespace

namespace HttpMailListing {

QString stripTag(const QString &entry)
{
    const qsizetype pos = entry.indexOf(QLatin1Char('>'));
    if (pos >= 1)
        return entry.mid(pos + 1);
    return entry;
}

QString inboxUrl(const QStringList &folderTags)
{
    return folderUrl(folderTags, QLatin1String("<hm:inbox>"));
}

QString deletedItemsUrl(const QStringList &folderTags)
{
    return folderUrl(folderTags, QLatin1String("<hm:deleteditems>"));
}

Inbox readInbox(const QStringList &inboxTags)
{
    Inbox inbox;
    RecordReader reader(inbox);
    for (const QString &entry : inboxTags)
        reader.take(entry);
    reader.finish();
    return inbox;
}

} // namespace HttpMailListing
