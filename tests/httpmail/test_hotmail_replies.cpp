// How HTTPMail replies are read: the walk of a reply into its tag list, the
// folder URLs found there, the mail records built from an inbox listing.
// No network: replies are parsed and walked directly.

#include "httpmail/HttpMailTags.h"
#include "httpmail/clsHotmail.h"

#include <QDomDocument>
#include <QDomElement>
#include <QtTest>

using MailList = clsHotmail::MailList;

namespace {

const QString MultistatusOpen = QStringLiteral(
    "<?xml version=\"1.0\"?>\n<D:multistatus xmlns:D=\"DAV:\" xmlns:hm=\"urn:schemas:httpmail:\" "
    "xmlns:m=\"urn:schemas:mailheader:\">\n");
const QString MultistatusClose = QStringLiteral("</D:multistatus>\n");

const QString FolderResponse = QStringLiteral(
    " <D:response>\n  <D:href>http://mail.example/folders/inbox/</D:href>\n"
    "  <D:propstat><D:prop><D:isfolder>1</D:isfolder></D:prop>"
    "<D:status>HTTP/1.1 200 OK</D:status></D:propstat>\n </D:response>\n");

// One mail's response; an empty value writes an empty element, a null value
// leaves the element out.
QString MailResponse(const QString &name, const QString &read, const QString &from,
                     const QString &subject, const QString &date, const QString &length)
{
    QString xml = QStringLiteral(" <D:response>\n  <D:href>http://mail.example/folders/inbox/%1</D:href>\n"
                                 "  <D:propstat>\n   <D:prop>\n    <D:isfolder>0</D:isfolder>\n")
                      .arg(name);
    const auto element = [&xml](const QString &tag, const QString &value) {
        if (!value.isNull())
            xml += QStringLiteral("    <%1>%2</%1>\n").arg(tag, value.toHtmlEscaped());
    };
    element(QStringLiteral("hm:read"), read);
    element(QStringLiteral("m:hasattachment"), QStringLiteral("0"));
    element(QStringLiteral("m:to"), QStringLiteral("someone@hotmail.com"));
    element(QStringLiteral("m:from"), from);
    element(QStringLiteral("m:subject"), subject);
    element(QStringLiteral("m:date"), date);
    element(QStringLiteral("D:getcontentlength"), length);
    xml += QStringLiteral("   </D:prop>\n   <D:status>HTTP/1.1 200 OK</D:status>\n  </D:propstat>\n"
                          " </D:response>\n");
    return xml;
}

clsHotmail::MailRecord Record(const QString &read, const QString &from, const QString &subject,
                              const QString &date, const QString &length, const QString &name)
{
    return {read, from, subject, date, length, QStringLiteral("http://mail.example/folders/inbox/") + name};
}

} // namespace

class TestHotmailReplies : public QObject
{
    Q_OBJECT

private slots:
    void constants();
    void loadXml_data();
    void loadXml();
    void folderWalk_data();
    void folderWalk();
    void twoTextNodesInOneElement();
    void markerKeptBetweenWalks();
    void textWalkIsTheDocumentWalk_data();
    void textWalkIsTheDocumentWalk();
    void stripTag_data();
    void stripTag();
    void inboxMails_data();
    void inboxMails();
    void secondListingAddsToCounters();
    void fieldAccessors();
};

void TestHotmailReplies::constants()
{
    QCOMPARE(clsHotmail().endpoint(), QUrl(QStringLiteral("http://services.msn.com/svcs/hotmail/httpmail.asp")));
    QCOMPARE(clsHotmail::PrivateNamespace, QStringLiteral("http://schemas.microsoft.com/hotmail/"));
    QCOMPARE(clsHotmail::HotmailDomain, QStringLiteral("hotmail.com"));
    QCOMPARE(clsHotmail::MsnDomain, QStringLiteral("msn.com"));
    const QUrl local(QStringLiteral("http://127.0.0.1:8080/svcs/hotmail/httpmail.asp"));
    QCOMPARE(clsHotmail(local).endpoint(), local);
}

void TestHotmailReplies::loadXml_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");

    QTest::newRow("multistatus") << MultistatusOpen + FolderResponse + MultistatusClose << true;
    QTest::newRow("html error page") << QStringLiteral("<html><body>Server busy<br></body></html>") << false;
    QTest::newRow("plain text") << QStringLiteral("Service Unavailable") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("cut off") << MultistatusOpen + QStringLiteral(" <D:response><D:href>x") << false;
}

void TestHotmailReplies::loadXml()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);

    QDomDocument doc;
    HttpMailTags::loadXml(doc, QStringLiteral("<a>stale</a>"));
    QCOMPARE(HttpMailTags::loadXml(doc, text), parses);
    // A failed parse leaves nothing of the old or the broken document to walk.
    if (!parses)
        QCOMPARE(doc.childNodes().count(), 0);
}

void TestHotmailReplies::folderWalk_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QString>("inboxUrl");
    QTest::addColumn<QString>("deletedUrl");

    const QString open = QStringLiteral(
        "<?xml version='1.0'?><D:multistatus xmlns:D='DAV:' xmlns:hm='urn:schemas:httpmail:' "
        "xmlns:h='http://schemas.microsoft.com/hotmail/'>");
    const QString close = QStringLiteral("</D:multistatus>");

    QTest::newRow("login reply")
        << QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
               "<D:multistatus xmlns:D=\"DAV:\" xmlns:h=\"http://schemas.microsoft.com/hotmail/\" "
               "xmlns:hm=\"urn:schemas:httpmail:\">\r\n"
               " <D:response>\r\n  <D:href>http://svc/httpmail.asp</D:href>\r\n"
               "  <D:propstat>\r\n   <D:prop>\r\n"
               "    <h:adbar>AdPane=Off</h:adbar>\r\n"
               "    <hm:contacts>http://svc/contacts/</hm:contacts>\r\n"
               "    <hm:inbox>http://svc/folders/ACTIVE/</hm:inbox>\r\n"
               "    <hm:outbox/>\r\n"
               "    <hm:deleteditems>http://svc/folders/TRASH/</hm:deleteditems>\r\n"
               "    <h:sig></h:sig>\r\n"
               "   </D:prop>\r\n   <D:status>HTTP/1.1 200 OK</D:status>\r\n"
               "  </D:propstat>\r\n </D:response>\r\n</D:multistatus>\r\n")
        << QStringList{QStringLiteral("<D:href>http://svc/httpmail.asp"),
                       QStringLiteral("<h:adbar>AdPane=Off"),
                       QStringLiteral("<hm:contacts>http://svc/contacts/"),
                       QStringLiteral("<hm:inbox>http://svc/folders/ACTIVE/"),
                       QStringLiteral("<hm:deleteditems>http://svc/folders/TRASH/"),
                       QStringLiteral("<D:status>HTTP/1.1 200 OK")}
        << QStringLiteral("http://svc/folders/ACTIVE/") << QStringLiteral("http://svc/folders/TRASH/");

    // The marker is never reset: text after a child element is headed by it.
    QTest::newRow("text after child carries child's marker")
        << open + QStringLiteral("<hm:inbox>I</hm:inbox>tail") + close
        << QStringList{QStringLiteral("<hm:inbox>I"), QStringLiteral("<hm:inbox>Itail")}
        << QStringLiteral("I") << QString();
    QTest::newRow("empty inbox element gives no URL")
        << open + QStringLiteral("<hm:inbox/><D:x>a</D:x>") + close
        << QStringList{QStringLiteral("<D:x>a")} << QString() << QString();
    QTest::newRow("empty inbox element followed by parent text")
        << open + QStringLiteral("<hm:inbox/>http://other/") + close
        << QStringList{QStringLiteral("<hm:inbox>http://other/")} << QStringLiteral("http://other/")
        << QString();
    QTest::newRow("inbox URL is the last text")
        << open + QStringLiteral("<hm:deleteditems>D</hm:deleteditems><hm:inbox>I</hm:inbox>") + close
        << QStringList{QStringLiteral("<hm:deleteditems>D"), QStringLiteral("<hm:inbox>I")}
        << QStringLiteral("I") << QStringLiteral("D");
    QTest::newRow("first hm:inbox wins")
        << open + QStringLiteral("<hm:inbox>first</hm:inbox><hm:inbox>second</hm:inbox>") + close
        << QStringList{QStringLiteral("<hm:inbox>first"), QStringLiteral("<hm:inbox>second")}
        << QStringLiteral("first") << QString();
    QTest::newRow("other prefix gives no URLs")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:x='urn:schemas:httpmail:'>"
                          "<x:inbox>I</x:inbox><x:deleteditems>D</x:deleteditems></D:multistatus>")
        << QStringList{QStringLiteral("<x:inbox>I"), QStringLiteral("<x:deleteditems>D")}
        << QString() << QString();
    QTest::newRow("tags compared with letter case")
        << QStringLiteral("<D:multistatus xmlns:D='DAV:' xmlns:HM='urn:schemas:httpmail:'>"
                          "<HM:inbox>I</HM:inbox></D:multistatus>")
        << QStringList{QStringLiteral("<HM:inbox>I")} << QString() << QString();
    QTest::newRow("tag quoted in another element's text")
        << open + QStringLiteral("<h:sig>see &lt;hm:inbox&gt;x</h:sig><hm:inbox>I</hm:inbox>") + close
        << QStringList{QStringLiteral("<h:sig>see <hm:inbox>x"), QStringLiteral("<hm:inbox>I")}
        << QStringLiteral("see <hm:inbox>x") << QString();
    QTest::newRow("comment and character data become markers")
        << QStringLiteral("<a>x<!--note-->y<![CDATA[z]]>w</a>")
        << QStringList{QStringLiteral("<a>x"), QStringLiteral("<#comment>y"),
                       QStringLiteral("<#cdata-section>w")}
        << QString() << QString();
    QTest::newRow("entities stay in one text")
        << QStringLiteral("<a>x&amp;y&#65;</a>") << QStringList{QStringLiteral("<a>x&yA")} << QString()
        << QString();
    QTest::newRow("whitespace-only text makes no entry")
        << QStringLiteral("<a>\r\n  <b> </b>\r\n\t<c/>\r\n</a>") << QStringList() << QString() << QString();
    QTest::newRow("attributes are not visited")
        << QStringLiteral("<a href='http://x/'><hm:inbox xmlns:hm='u' v='w'/></a>") << QStringList()
        << QString() << QString();
}

void TestHotmailReplies::folderWalk()
{
    QFETCH(QString, xml);
    QFETCH(QStringList, tags);
    QFETCH(QString, inboxUrl);
    QFETCH(QString, deletedUrl);

    QDomDocument doc;
    QVERIFY(HttpMailTags::loadXml(doc, xml));
    clsHotmail hotmail;
    hotmail.FlattenFolderNodes(doc.childNodes());
    QCOMPARE(hotmail.folderTags(), tags);
    QCOMPARE(clsHotmail::GetInboxURL(hotmail.folderTags()), inboxUrl);
    QCOMPARE(clsHotmail::GetDeletedItemsURL(hotmail.folderTags()), deletedUrl);
    QCOMPARE(hotmail.inboxTags(), QStringList());

    // The inbox walk reads the same way into its own list.
    clsHotmail inboxSide;
    inboxSide.FlattenInboxNodes(doc.childNodes());
    QCOMPARE(inboxSide.inboxTags(), tags);
    QCOMPARE(inboxSide.folderTags(), QStringList());
}

void TestHotmailReplies::twoTextNodesInOneElement()
{
    // A parser never yields two neighbouring texts, but a document built in
    // code can; the second entry carries both texts.
    QDomDocument doc;
    QDomElement root = doc.createElement(QStringLiteral("D:multistatus"));
    doc.appendChild(root);
    QDomElement inbox = doc.createElement(QStringLiteral("hm:inbox"));
    root.appendChild(inbox);
    inbox.appendChild(doc.createTextNode(QStringLiteral("http://a/")));
    inbox.appendChild(doc.createTextNode(QStringLiteral("more")));

    clsHotmail hotmail;
    hotmail.FlattenFolderNodes(doc.childNodes());
    QCOMPARE(hotmail.folderTags(),
             (QStringList{QStringLiteral("<hm:inbox>http://a/"), QStringLiteral("<hm:inbox>http://a/more")}));
    QCOMPARE(clsHotmail::GetInboxURL(hotmail.folderTags()), QStringLiteral("http://a/"));
}

void TestHotmailReplies::markerKeptBetweenWalks()
{
    QDomDocument first;
    QVERIFY(HttpMailTags::loadXml(first, QStringLiteral("<r><hm:inbox>I</hm:inbox></r>")));
    QDomDocument second;
    QVERIFY(HttpMailTags::loadXml(second, QStringLiteral("<r>next</r>")));
    const QDomNodeList bareText = second.documentElement().childNodes();

    clsHotmail hotmail;
    hotmail.FlattenFolderNodes(first.childNodes());
    hotmail.FlattenFolderNodes(bareText);
    QCOMPARE(hotmail.folderTags(),
             (QStringList{QStringLiteral("<hm:inbox>I"), QStringLiteral("<hm:inbox>Inext")}));

    // The inbox walk has a marker of its own, still empty here.
    hotmail.FlattenInboxNodes(bareText);
    QCOMPARE(hotmail.inboxTags(), QStringList{QStringLiteral("next")});
}

void TestHotmailReplies::textWalkIsTheDocumentWalk_data()
{
    QTest::addColumn<QString>("xml");
    const QString mail = MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                                      QStringLiteral("S"), QStringLiteral("d"), QStringLiteral("1"));
    QTest::newRow("listing") << MultistatusOpen + FolderResponse + mail + mail + MultistatusClose;
    QTest::newRow("folders") << MultistatusOpen + FolderResponse + MultistatusClose;
    QTest::newRow("entities and character references")
        << QStringLiteral("<r><m:subject>a &amp; b &lt;c&gt; &#233;&#x20AC; &quot;q&quot;</m:subject></r>");
    QTest::newRow("whitespace only") << QStringLiteral("<r>\n  <a> \t </a>\r\n<b>&#32;</b><c>&#160;</c></r>");
    QTest::newRow("text after a child") << QStringLiteral("<r>one<a>two</a>three<b/>four</r>");
    QTest::newRow("cdata") << QStringLiteral("<r><a><![CDATA[x < y]]>tail</a><b><![CDATA[  ]]></b></r>");
    QTest::newRow("comment inside text") << QStringLiteral("<r><a>be<!-- c -->fore</a></r>");
    QTest::newRow("processing instruction") << QStringLiteral("<?xml version='1.0'?><r><a>x<?pi data?>y</a></r>");
    QTest::newRow("undeclared prefixes") << QStringLiteral("<D:r><hm:read>1</hm:read><x:y z:w='1'>t</x:y></D:r>");
    QTest::newRow("doctype with entity")
        << QStringLiteral("<!DOCTYPE r [<!ENTITY e 'ent'>]><r><a>x&e;y</a></r>");
    QTest::newRow("not well-formed") << QStringLiteral("<r><a>x</b></r>");
    QTest::newRow("html") << QStringLiteral("<html><body>Server busy<br></body></html>");
    QTest::newRow("empty") << QString();
    QTest::newRow("nested too deep") << QStringLiteral("<a>").repeated(300) + QStringLiteral("x")
                                             + QStringLiteral("</a>").repeated(300);
    QTest::newRow("non-ASCII text") << QString::fromUtf8("<r><m:from>J\xc3\xbcrgen \xe2\x82\xac</m:from></r>");
}

void TestHotmailReplies::textWalkIsTheDocumentWalk()
{
    QFETCH(QString, xml);
    // Both walks start from the marker an earlier walk left.
    const QString before = QStringLiteral("<r><hm:inbox>I</hm:inbox></r>");
    clsHotmail fromDocument;
    QDomDocument doc;
    QVERIFY(HttpMailTags::loadXml(doc, before));
    fromDocument.FlattenInboxNodes(doc.childNodes());
    const bool parsed = HttpMailTags::loadXml(doc, xml);
    if (parsed)
        fromDocument.FlattenInboxNodes(doc.childNodes());
    clsHotmail fromText;
    QVERIFY(fromText.FlattenInboxXml(before));
    QCOMPARE(fromText.FlattenInboxXml(xml), parsed);
    QCOMPARE(fromText.inboxTags(), fromDocument.inboxTags());
}

void TestHotmailReplies::stripTag_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("stripped");

    QTest::newRow("tag and text") << QStringLiteral("<m:subject>Hello") << QStringLiteral("Hello");
    QTest::newRow("only the first > counts") << QStringLiteral("<m:subject>a > b") << QStringLiteral("a > b");
    QTest::newRow("tag without text") << QStringLiteral("<m:subject>") << QString();
    QTest::newRow("> as second character") << QStringLiteral("a>b") << QStringLiteral("b");
    QTest::newRow("> as first character is kept") << QStringLiteral(">abc") << QStringLiteral(">abc");
    QTest::newRow("no >") << QStringLiteral("abc") << QStringLiteral("abc");
    QTest::newRow("empty") << QString() << QString();
}

void TestHotmailReplies::stripTag()
{
    QFETCH(QString, entry);
    QFETCH(QString, stripped);
    QCOMPARE(clsHotmail::StripTag(entry), stripped);
}

void TestHotmailReplies::inboxMails_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<MailList>("mails");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("fresh");

    const QString date = QStringLiteral("2002-08-01T10:00:00");

    QTest::newRow("empty inbox") << MultistatusOpen + FolderResponse + MultistatusClose << MailList() << 0 << 0;
    QTest::newRow("no responses") << QStringLiteral("<D:multistatus xmlns:D='DAV:'/>") << MailList() << 0 << 0;

    QTest::newRow("read flags")
        << MultistatusOpen + FolderResponse
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("One"), date, QStringLiteral("100"))
               + MailResponse(QStringLiteral("b"), QStringLiteral("1"), QStringLiteral("x@y"),
                              QStringLiteral("Two"), date, QStringLiteral("200"))
               + MailResponse(QStringLiteral("c"), QStringLiteral("00"), QStringLiteral("x@y"),
                              QStringLiteral("Three"), date, QStringLiteral("300"))
               + MailResponse(QStringLiteral("d"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("Four"), date, QStringLiteral("400"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("One"), date,
                           QStringLiteral("100"), QStringLiteral("a")),
                    Record(QStringLiteral("1"), QStringLiteral("x@y"), QStringLiteral("Two"), date,
                           QStringLiteral("200"), QStringLiteral("b")),
                    Record(QStringLiteral("00"), QStringLiteral("x@y"), QStringLiteral("Three"), date,
                           QStringLiteral("300"), QStringLiteral("c")),
                    Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("Four"), date,
                           QStringLiteral("400"), QStringLiteral("d"))}
        << 4 << 2;

    // Each mail keeps its own place and fields; nothing moves to a neighbour.
    QTest::newRow("empty subject listed with empty field")
        << MultistatusOpen + FolderResponse
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("First"), date, QStringLiteral("10"))
               + MailResponse(QStringLiteral("b"), QStringLiteral("0"), QStringLiteral("p@q"), QString(""),
                              QStringLiteral("2002-08-02T09:00:00"), QStringLiteral("20"))
               + MailResponse(QStringLiteral("c"), QStringLiteral("1"), QStringLiteral("r@s"),
                              QStringLiteral("Third"), date, QStringLiteral("30"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("First"), date,
                           QStringLiteral("10"), QStringLiteral("a")),
                    Record(QStringLiteral("0"), QStringLiteral("p@q"), QString(),
                           QStringLiteral("2002-08-02T09:00:00"), QStringLiteral("20"), QStringLiteral("b")),
                    Record(QStringLiteral("1"), QStringLiteral("r@s"), QStringLiteral("Third"), date,
                           QStringLiteral("30"), QStringLiteral("c"))}
        << 3 << 2;
    QTest::newRow("missing elements not taken from the mail before")
        << MultistatusOpen
               + MailResponse(QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("x@y"),
                              QStringLiteral("First"), date, QStringLiteral("10"))
               + MailResponse(QStringLiteral("b"), QString(), QString(), QStringLiteral("Second"),
                              QString(), QString())
               + MultistatusClose
        << MailList{Record(QStringLiteral("1"), QStringLiteral("x@y"), QStringLiteral("First"), date,
                           QStringLiteral("10"), QStringLiteral("a")),
                    Record(QString(), QString(), QStringLiteral("Second"), QString(), QString(),
                           QStringLiteral("b"))}
        << 2 << 0;
    QTest::newRow("whitespace-only subject is empty")
        << MultistatusOpen
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("   "), date, QStringLiteral("10"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QString(), date,
                           QStringLiteral("10"), QStringLiteral("a"))}
        << 1 << 1;

    // Each entry goes to the first field in the order read, from, subject,
    // date, length, href whose tag it contains anywhere.
    QTest::newRow("subject quoting <m:date>")
        << MultistatusOpen
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("About <m:date> tags"), date, QStringLiteral("10"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("About <m:date> tags"),
                           date, QStringLiteral("10"), QStringLiteral("a"))}
        << 1 << 1;
    QTest::newRow("subject quoting <hm:read>")
        << MultistatusOpen
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("Why <hm:read>?"), date, QStringLiteral("10"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("Why <hm:read>?"), QStringLiteral("x@y"), QString(), date,
                           QStringLiteral("10"), QStringLiteral("a"))}
        << 1 << 0;

    QTest::newRow("folder response with mail fields is no mail")
        << MultistatusOpen
               + QStringLiteral("<D:response><D:href>http://mail.example/folders/inbox/</D:href>"
                                "<D:propstat><D:prop><D:isfolder>1</D:isfolder><hm:read>1</hm:read>"
                                "<D:getcontentlength>0</D:getcontentlength></D:prop></D:propstat>"
                                "</D:response>")
               + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                              QStringLiteral("S"), date, QStringLiteral("10"))
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("S"), date,
                           QStringLiteral("10"), QStringLiteral("a"))}
        << 1 << 1;
    QTest::newRow("mail without isfolder element")
        << MultistatusOpen
               + QStringLiteral("<D:response><D:href>http://mail.example/folders/inbox/a</D:href>"
                                "<D:propstat><D:prop><hm:read>0</hm:read><m:from>x@y</m:from>"
                                "<m:subject>S</m:subject><m:date>d</m:date>"
                                "<D:getcontentlength>5</D:getcontentlength></D:prop>"
                                "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>")
               + MultistatusClose
        << MailList{Record(QStringLiteral("0"), QStringLiteral("x@y"), QStringLiteral("S"),
                           QStringLiteral("d"), QStringLiteral("5"), QStringLiteral("a"))}
        << 1 << 1;
    QTest::newRow("properties not found are skipped")
        << MultistatusOpen
               + QStringLiteral("<D:response><D:href>http://mail.example/folders/inbox/a</D:href>"
                                "<D:propstat><D:prop><hm:read>1</hm:read><m:from>x@y</m:from>"
                                "<m:date>d</m:date><D:getcontentlength>5</D:getcontentlength></D:prop>"
                                "<D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                                "<D:propstat><D:prop><m:subject/><m:to/></D:prop>"
                                "<D:status>HTTP/1.1 404 Not Found</D:status></D:propstat></D:response>")
               + MultistatusClose
        << MailList{Record(QStringLiteral("1"), QStringLiteral("x@y"), QString(), QStringLiteral("d"),
                           QStringLiteral("5"), QStringLiteral("a"))}
        << 1 << 0;
}

void TestHotmailReplies::inboxMails()
{
    QFETCH(QString, xml);
    QFETCH(MailList, mails);
    QFETCH(int, total);
    QFETCH(int, fresh);

    QDomDocument doc;
    QVERIFY(HttpMailTags::loadXml(doc, xml));
    clsHotmail hotmail;
    hotmail.FlattenInboxNodes(doc.childNodes());
    QCOMPARE(hotmail.GetInboxMails(), mails);
    QCOMPARE(hotmail.GetTotalCount(), total);
    QCOMPARE(hotmail.GetNewCount(), fresh);
    // The listing as a login reads it, straight from the text.
    clsHotmail fromText;
    QVERIFY(fromText.FlattenInboxXml(xml));
    QCOMPARE(fromText.GetInboxMails(), mails);
    QCOMPARE(fromText.GetTotalCount(), total);
    QCOMPARE(fromText.GetNewCount(), fresh);
}

void TestHotmailReplies::secondListingAddsToCounters()
{
    QDomDocument doc;
    QVERIFY(HttpMailTags::loadXml(
        doc, MultistatusOpen
                 + MailResponse(QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("x@y"),
                                QStringLiteral("S"), QStringLiteral("d"), QStringLiteral("1"))
                 + MailResponse(QStringLiteral("b"), QStringLiteral("1"), QStringLiteral("x@y"),
                                QStringLiteral("T"), QStringLiteral("d"), QStringLiteral("2"))
                 + MultistatusClose));
    clsHotmail hotmail;
    hotmail.FlattenInboxNodes(doc.childNodes());
    const MailList first = hotmail.GetInboxMails();
    QCOMPARE(first.size(), 2);
    QCOMPARE(hotmail.GetInboxMails(), first);
    QCOMPARE(hotmail.GetTotalCount(), 4);
    QCOMPARE(hotmail.GetNewCount(), 2);
}

void TestHotmailReplies::fieldAccessors()
{
    const clsHotmail::MailRecord record{QStringLiteral("0"), QStringLiteral("from"), QStringLiteral("subject"),
                                        QStringLiteral("date"), QStringLiteral("42"), QStringLiteral("url")};
    QCOMPARE(clsHotmail::GetFieldReadFlag(record), QStringLiteral("0"));
    QCOMPARE(clsHotmail::GetFieldFrom(record), QStringLiteral("from"));
    QCOMPARE(clsHotmail::GetFieldSubject(record), QStringLiteral("subject"));
    QCOMPARE(clsHotmail::GetFieldDate(record), QStringLiteral("date"));
    QCOMPARE(clsHotmail::GetFieldLength(record), QStringLiteral("42"));
    QCOMPARE(clsHotmail::GetFieldURL(record), QStringLiteral("url"));
    // A record short of fields reads as empty, it does not crash.
    QCOMPARE(clsHotmail::GetFieldURL(clsHotmail::MailRecord{QStringLiteral("0")}), QString());
}

QTEST_GUILESS_MAIN(TestHotmailReplies)
#include "test_hotmail_replies.moc"
