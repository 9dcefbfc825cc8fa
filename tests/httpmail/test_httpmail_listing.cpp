// What tag lists say, read without any XML: the folder URLs of a login reply
// and the mail records of an inbox listing, field by field.

#include "httpmail/HttpMailListing.h"

#include <QtTest>

using HttpMailListing::MailList;
using HttpMailListing::MailRecord;

class TestHttpMailListing : public QObject
{
    Q_OBJECT
private slots:
    void folderUrls_data();
    void folderUrls();
    void readInbox_data();
    void readInbox();
};

void TestHttpMailListing::folderUrls_data()
{
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QString>("inbox");
    QTest::addColumn<QString>("deletedItems");

    QTest::newRow("both") << QStringList{"<D:href>http://svc/", "<hm:inbox>http://svc/in/",
                                         "<hm:deleteditems>http://svc/trash/"}
                          << "http://svc/in/" << "http://svc/trash/";
    QTest::newRow("none") << QStringList{"<D:href>http://svc/", "<hm:outbox>http://svc/out/"} << "" << "";
    QTest::newRow("no entries") << QStringList() << "" << "";
    QTest::newRow("first of two") << QStringList{"<hm:inbox>one", "<hm:inbox>two"} << "one" << "";
    QTest::newRow("the text after the first >")
        << QStringList{"<hm:inbox>http://svc/a>b", "<hm:deleteditems>>x"} << "http://svc/a>b" << ">x";
    QTest::newRow("the tag anywhere in the entry")
        << QStringList{"<h:sig>see <hm:inbox>x", "<hm:inbox>I"} << "see <hm:inbox>x" << "";
    QTest::newRow("letter case counts") << QStringList{"<HM:inbox>I", "<hm:Inbox>J"} << "" << "";
    QTest::newRow("an empty URL") << QStringList{"<hm:inbox>", "<hm:inbox>later"} << "" << "";
}

void TestHttpMailListing::folderUrls()
{
    QFETCH(QStringList, tags);
    QFETCH(QString, inbox);
    QFETCH(QString, deletedItems);
    QCOMPARE(HttpMailListing::inboxUrl(tags), inbox);
    QCOMPARE(HttpMailListing::deletedItemsUrl(tags), deletedItems);
}

void TestHttpMailListing::readInbox_data()
{
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<MailList>("mails");
    QTest::addColumn<int>("newMails");

    const QStringList mailA{"<D:href>u/a", "<D:isfolder>0", "<hm:read>0", "<m:from>x@y", "<m:subject>S",
                            "<m:date>d", "<D:getcontentlength>10"};
    const MailRecord recordA{"0", "x@y", "S", "d", "10", "u/a"};

    QTest::newRow("nothing") << QStringList() << MailList() << 0;
    QTest::newRow("one mail") << mailA << MailList{recordA} << 1;
    QTest::newRow("fields in any order")
        << QStringList{"<D:href>u/a", "<D:getcontentlength>10", "<m:date>d", "<m:subject>S", "<m:from>x@y",
                       "<hm:read>0"}
        << MailList{recordA} << 1;
    QTest::newRow("href opens the next record")
        << mailA + QStringList{"<D:href>u/b", "<hm:read>1", "<m:subject>T"}
        << MailList{recordA, MailRecord{"1", "", "T", "", "", "u/b"}} << 1;
    QTest::newRow("a record missing fields keeps them empty")
        << QStringList{"<D:href>u/a", "<m:subject>only"} << MailList{MailRecord{"", "", "only", "", "", "u/a"}}
        << 0;
    QTest::newRow("href alone is no mail") << QStringList{"<D:href>u/a", "<D:href>u/b"} << MailList() << 0;
    QTest::newRow("isfolder alone makes a mail")
        << QStringList{"<D:href>u/a", "<D:isfolder>0"} << MailList{MailRecord{"", "", "", "", "", "u/a"}} << 0;
    QTest::newRow("folder skipped, its fields too")
        << QStringList{"<D:href>u/", "<D:isfolder>1", "<hm:read>0", "<D:getcontentlength>0"} + mailA
        << MailList{recordA} << 1;
    QTest::newRow("isfolder other than 1 is a mail")
        << QStringList{"<D:href>u/a", "<D:isfolder>yes", "<hm:read>0"}
        << MailList{MailRecord{"0", "", "", "", "", "u/a"}} << 1;
    QTest::newRow("fields before any href: a record without URL")
        << QStringList{"<hm:read>0", "<m:subject>S"} + mailA
        << MailList{MailRecord{"0", "", "S", "", "", ""}, recordA} << 2;
    QTest::newRow("entries of other elements pass")
        << QStringList{"<D:href>u/a", "<m:to>me", "<m:hasattachment>1", "<D:status>HTTP/1.1 200 OK",
                       "<m:from>x@y"}
        << MailList{MailRecord{"", "x@y", "", "", "", "u/a"}} << 0;
    QTest::newRow("the first field whose tag the entry holds")
        << QStringList{"<D:href>u/a", "<m:subject>Why <hm:read>?", "<m:to>see <D:href> b", "<m:from>x"}
        << MailList{MailRecord{"Why <hm:read>?", "", "", "", "", "u/a"},
                    MailRecord{"", "x", "", "", "", "see <D:href> b"}}
        << 0;
    QTest::newRow("a later value of one field replaces the earlier")
        << QStringList{"<D:href>u/a", "<m:subject>one", "<m:subject>one more"}
        << MailList{MailRecord{"", "", "one more", "", "", "u/a"}} << 0;
    QTest::newRow("only exactly 0 is new")
        << QStringList{"<D:href>1", "<hm:read>0", "<D:href>2", "<hm:read>00", "<D:href>3", "<hm:read> 0",
                       "<D:href>4", "<hm:read>0"}
        << MailList{MailRecord{"0", "", "", "", "", "1"}, MailRecord{"00", "", "", "", "", "2"},
                    MailRecord{" 0", "", "", "", "", "3"}, MailRecord{"0", "", "", "", "", "4"}}
        << 2;
}

void TestHttpMailListing::readInbox()
{
    QFETCH(QStringList, tags);
    QFETCH(MailList, mails);
    QFETCH(int, newMails);

    const HttpMailListing::Inbox inbox = HttpMailListing::readInbox(tags);
    QCOMPARE(inbox.mails, mails);
    QCOMPARE(inbox.newMails, newMails);
    for (const MailRecord &record : inbox.mails)
        QCOMPARE(record.size(), int(HttpMailListing::FieldCount));
}

QTEST_GUILESS_MAIN(TestHttpMailListing)
#include "test_httpmail_listing.moc"
