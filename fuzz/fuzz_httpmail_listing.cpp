// Reads an HTTPMail reply as a login does: decodes its octets by the
// Content-Type, walks the text into a tag list, reads the folder URLs and
// the mail records. Input: a mode byte (bit 0: an earlier walk left entries
// and a marker; bit 1: also build the document), a piece length, the length
// of the Content-Type and its text, then the reply's octets.
// Checked: the text in pieces is the text whole, and keeps every octet
// when no known charset is named; the walk does not depend on where the
// pieces are cut, adds to what an earlier walk left or changes nothing,
// and agrees with the walk over the document; every record has its six
// fields and the new ones are those read "0".

#include "FuzzInput.h"

#include "httpmail/HttpMailListing.h"
#include "httpmail/HttpMailTags.h"
#include "httpmail/HttpMailText.h"

#include <QDomDocument>

namespace {

struct Walk
{
    bool ok = false;
    QString marker;
    QStringList tags;
};

Walk startingWalk(bool earlier)
{
    Walk walk;
    if (earlier) {
        walk.marker = QStringLiteral("<hm:inbox>I");
        walk.tags = QStringList{QStringLiteral("<hm:inbox>I")};
    }
    return walk;
}

void checkWalk(const Walk &before, const Walk &after)
{
    if (!after.ok) {
        FUZZ_CHECK(after.marker == before.marker);
        FUZZ_CHECK(after.tags == before.tags);
        return;
    }
    FUZZ_CHECK(after.tags.mid(0, before.tags.size()) == before.tags);
    // Text stands inside the root element, so a marker heads every entry;
    // each ends in text that is not blank.
    for (qsizetype i = before.tags.size(); i < after.tags.size(); ++i) {
        const QString &entry = after.tags.at(i);
        const qsizetype close = entry.indexOf(QLatin1Char('>'));
        FUZZ_CHECK(entry.startsWith(QLatin1Char('<')) && close > 0);
        FUZZ_CHECK(!QStringView(entry).mid(close + 1).trimmed().isEmpty());
    }
}

void checkFolderUrl(const QStringList &tags, const QString &url, QLatin1String tag)
{
    if (url.isEmpty())
        return;
    bool found = false;
    for (const QString &entry : tags)
        found = found || (entry.contains(tag) && entry.endsWith(url));
    FUZZ_CHECK(found);
}

void checkRecords(const QStringList &tags)
{
    const HttpMailListing::Inbox inbox = HttpMailListing::readInbox(tags);
    // Every record takes at least one entry of its own.
    FUZZ_CHECK(inbox.mails.size() <= tags.size());
    int unread = 0;
    for (const HttpMailListing::MailRecord &record : inbox.mails) {
        FUZZ_CHECK(record.size() == HttpMailListing::FieldCount);
        if (record.at(HttpMailListing::ReadFlag) == QLatin1String("0"))
            ++unread;
    }
    FUZZ_CHECK(inbox.newMails == unread);
    checkFolderUrl(tags, HttpMailListing::inboxUrl(tags), QLatin1String("<hm:inbox>"));
    checkFolderUrl(tags, HttpMailListing::deletedItemsUrl(tags), QLatin1String("<hm:deleteditems>"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    const bool earlier = mode & 1;
    const bool document = mode & 2;
    const qsizetype pieceSize = in.byte() + 1;
    QByteArray contentType;
    for (int n = in.byte() % 64; n > 0; --n)
        contentType.append(char(in.byte()));
    const QByteArray bytes = in.rest();

    // The text in pieces, however small, is the text whole.
    const QString text = HttpMailText::decodeReply(bytes, contentType);
    QStringList pieces;
    QString joined;
    for (HttpMailText::ReplyPieces reader(bytes, contentType, pieceSize); !reader.atEnd();) {
        pieces.append(reader.next());
        joined += pieces.constLast();
    }
    FUZZ_CHECK(joined == text);
    FUZZ_CHECK(pieces.size() == (bytes.size() + pieceSize - 1) / pieceSize);
    // Without a charset Qt knows, every octet is kept: UTF-8 (less a leading
    // byte-order mark) or one character per octet.
    const QByteArray charset = HttpMailText::charsetOf(contentType);
    if (charset.isEmpty() || !QStringDecoder(charset.constData()).isValid()) {
        const QByteArray back = text.toUtf8();
        FUZZ_CHECK(back == bytes || "\xef\xbb\xbf" + back == bytes || text == QString::fromLatin1(bytes));
    }

    const Walk before = startingWalk(earlier);
    Walk whole = before;
    whole.ok = HttpMailTags::flattenReply(bytes, contentType, whole.marker, whole.tags);
    checkWalk(before, whole);

    // Cut anywhere, even inside a character, the walk comes out the same.
    Walk cut = before;
    HttpMailTags::TagWalk walk(cut.marker);
    for (const QString &piece : pieces)
        walk.feed(piece);
    cut.ok = walk.addTo(cut.marker, cut.tags);
    FUZZ_CHECK(cut.ok == whole.ok);
    FUZZ_CHECK(cut.marker == whole.marker);
    FUZZ_CHECK(cut.tags == whole.tags);

    if (document) {
        Walk nodes = before;
        QDomDocument doc;
        nodes.ok = HttpMailTags::loadXml(doc, text);
        if (nodes.ok)
            HttpMailTags::flattenNodes(doc.childNodes(), nodes.marker, nodes.tags);
        FUZZ_CHECK(nodes.ok == whole.ok);
        FUZZ_CHECK(nodes.tags == whole.tags);
        FUZZ_CHECK(nodes.marker == whole.marker);
    }

    checkRecords(whole.tags);
    return 0;
}
