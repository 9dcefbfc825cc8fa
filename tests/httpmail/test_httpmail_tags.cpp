// The walk of a reply into its tag list, fed in pieces as a big reply is:
// where the cuts fall changes nothing, a reply that is no XML changes
// nothing, and a reply's octets are walked as they are decoded.

#include "httpmail/HttpMailTags.h"
#include "httpmail/HttpMailText.h"

#include <QDomDocument>
#include <QtTest>

using HttpMailTags::MostNestingLevels;

namespace {

QString nested(int levels, const QString &text)
{
    return QStringLiteral("<a>").repeated(levels) + text + QStringLiteral("</a>").repeated(levels);
}

QByteArray utf16be(const QString &text)
{
    return QStringEncoder(QStringEncoder::Utf16BE).encode(text);
}

} // namespace

class TestHttpMailTags : public QObject
{
    Q_OBJECT
private slots:
    void walkInPieces_data();
    void walkInPieces();
    void noXmlChangesNothing_data();
    void noXmlChangesNothing();
    void replyOctets_data();
    void replyOctets();
    void nestingLimitOfTheDocument_data();
    void nestingLimitOfTheDocument();
};

void TestHttpMailTags::walkInPieces_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QString>("marker");

    QTest::newRow("one text") << QStringLiteral("<m:subject>Hello</m:subject>")
                              << QStringList{QStringLiteral("<m:subject>Hello")} << QStringLiteral("<m:subject>Hello");
    QTest::newRow("text split across tokens")
        << QStringLiteral("<a>x &amp; y&#65;&#x42;z</a>") << QStringList{QStringLiteral("<a>x & yABz")}
        << QStringLiteral("<a>x & yABz");
    QTest::newRow("text after a child's end carries the child's marker")
        << QStringLiteral("<a><b>x</b>y</a>") << QStringList{QStringLiteral("<b>x"), QStringLiteral("<b>xy")}
        << QStringLiteral("<b>xy");
    QTest::newRow("comment between two texts")
        << QStringLiteral("<a>x<!-- note -->y</a>") << QStringList{QStringLiteral("<a>x"), QStringLiteral("<#comment>y")}
        << QStringLiteral("<#comment>y");
    QTest::newRow("CDATA is a marker, its content no entry")
        << QStringLiteral("<a>x<![CDATA[<not a tag>]]>w</a>")
        << QStringList{QStringLiteral("<a>x"), QStringLiteral("<#cdata-section>w")}
        << QStringLiteral("<#cdata-section>w");
    QTest::newRow("processing instruction is a marker")
        << QStringLiteral("<?xml version='1.0'?><a>x<?pi data?>y</a>")
        << QStringList{QStringLiteral("<a>x"), QStringLiteral("<pi>y")} << QStringLiteral("<pi>y");
    QTest::newRow("blank texts make no entry")
        << QStringLiteral("<a>\r\n  <b>t</b>   \t</a>") << QStringList{QStringLiteral("<b>t")} << QStringLiteral("<b>t");
    QTest::newRow("prefixes as the reply spells them")
        << QStringLiteral("<D:r xmlns:D='DAV:'><X:href>u</X:href></D:r>") << QStringList{QStringLiteral("<X:href>u")}
        << QStringLiteral("<X:href>u");
    // The reader ends a document when its data runs out after the root
    // element; what comes in the next pieces is read all the same.
    QTest::newRow("blanks after the root")
        << QStringLiteral("<a>x</a>\r\n  \r\n") << QStringList{QStringLiteral("<a>x")} << QStringLiteral("<a>x");
    QTest::newRow("comment and instruction after the root")
        << QStringLiteral("<a>x</a>\r\n<!-- end --> <?pi data?>\n") << QStringList{QStringLiteral("<a>x")}
        << QStringLiteral("<pi>");
    QTest::newRow("character beyond 16 bits cut in two")
        << QString::fromUtf8("<a>\xf0\x9f\x98\x80!</a>") << QStringList{QString::fromUtf8("<a>\xf0\x9f\x98\x80!")}
        << QString::fromUtf8("<a>\xf0\x9f\x98\x80!");
    QTest::newRow("nesting at the limit")
        << nested(MostNestingLevels, QStringLiteral("x")) << QStringList{QStringLiteral("<a>x")}
        << QStringLiteral("<a>x");
}

void TestHttpMailTags::walkInPieces()
{
    QFETCH(QString, xml);
    QFETCH(QStringList, tags);
    QFETCH(QString, marker);

    for (qsizetype size : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(7), xml.size()}) {
        HttpMailTags::TagWalk walk(QStringLiteral("<earlier>"));
        for (qsizetype pos = 0; pos < xml.size(); pos += size)
            walk.feed(xml.mid(pos, size));
        QString walkMarker = QStringLiteral("<earlier>");
        QStringList walkTags{QStringLiteral("<earlier>x")};
        QVERIFY2(walk.addTo(walkMarker, walkTags), qPrintable(QStringLiteral("pieces of %1").arg(size)));
        QCOMPARE(walkTags, QStringList{QStringLiteral("<earlier>x")} + tags);
        QCOMPARE(walkMarker, marker);
    }
    // The whole text in one walk, and over a document, give the same.
    QString textMarker;
    QStringList textTags;
    QVERIFY(HttpMailTags::flattenXml(xml, textMarker, textTags));
    QCOMPARE(textTags, tags);
    QDomDocument doc;
    QVERIFY(HttpMailTags::loadXml(doc, xml));
    QString nodeMarker;
    QStringList nodeTags;
    HttpMailTags::flattenNodes(doc.childNodes(), nodeMarker, nodeTags);
    QCOMPARE(nodeTags, tags);
    QCOMPARE(nodeMarker, textMarker);
}

void TestHttpMailTags::noXmlChangesNothing_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("cut off") << QStringLiteral("<a><b>x</b>");
    QTest::newRow("not well-formed") << QStringLiteral("<a>x</b>");
    QTest::newRow("html") << QStringLiteral("<html><body>Server busy<br></body></html>");
    QTest::newRow("text after the document") << QStringLiteral("<a>x</a>tail");
    QTest::newRow("text after the root, after blanks") << QStringLiteral("<a>x</a>  \r\n  tail");
    QTest::newRow("second root") << QStringLiteral("<a>x</a>\n<b/>");
    QTest::newRow("declaration after the root") << QStringLiteral("<a>x</a><?xml version='1.0'?>");
    QTest::newRow("nesting beyond the limit") << nested(MostNestingLevels + 1, QStringLiteral("x"));
    QTest::newRow("undefined entity") << QStringLiteral("<a>&nosuch;</a>");
}

void TestHttpMailTags::noXmlChangesNothing()
{
    QFETCH(QString, text);

    const QString marker = QStringLiteral("<hm:inbox>I");
    const QStringList tags{QStringLiteral("<hm:inbox>I")};
    QString walkMarker = marker;
    QStringList walkTags = tags;
    QVERIFY(!HttpMailTags::flattenXml(text, walkMarker, walkTags));
    QCOMPARE(walkMarker, marker);
    QCOMPARE(walkTags, tags);

    HttpMailTags::TagWalk walk(marker);
    for (const QChar c : text)
        walk.feed(QString(c));
    QVERIFY(!walk.addTo(walkMarker, walkTags));
    QCOMPARE(walkMarker, marker);
    QCOMPARE(walkTags, tags);

    QDomDocument doc;
    QVERIFY(!HttpMailTags::loadXml(doc, text));
    QVERIFY(doc.isNull());
}

void TestHttpMailTags::replyOctets_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("tags");

    const QByteArray open = "<D:multistatus xmlns:D='DAV:' xmlns:m='urn:schemas:mailheader:'><m:from>";
    const QByteArray close = "</m:from></D:multistatus>";
    const QString juergen = QString::fromUtf8("<m:from>J\xc3\xbcrgen");
    QTest::newRow("UTF-8") << open + "J\xc3\xbcrgen" + close << QByteArray("text/xml") << QStringList{juergen};
    QTest::newRow("Latin-1 fallback") << open + "J\xfcrgen" + close << QByteArray("text/xml") << QStringList{juergen};
    QTest::newRow("named charset") << open + "J\xfcrgen \x80" + close << QByteArray("text/xml; charset=windows-1252")
                                   << QStringList{juergen + QString::fromUtf8(" \xe2\x82\xac")};
    // A declaration inside the text does not overrule the decoding.
    QTest::newRow("encoding declared in the document")
        << "<?xml version='1.0' encoding='Windows-1252'?>" + open + "J\xc3\xbcrgen" + close << QByteArray()
        << QStringList{juergen};
    const QByteArray fill(HttpMailText::PieceSize - open.size() - 1, 'a');
    QTest::newRow("character across the 64 KiB cut")
        << open + fill + "\xc3\xbc" + close << QByteArray("text/xml")
        << QStringList{QStringLiteral("<m:from>") + QString::fromLatin1(fill) + QString::fromUtf8("\xc3\xbc")};
    QTest::newRow("text across the 64 KiB cut")
        << open + fill + "xyz" + close << QByteArray("text/xml")
        << QStringList{QStringLiteral("<m:from>") + QString::fromLatin1(fill) + QStringLiteral("xyz")};
    const QByteArray endFill(HttpMailText::PieceSize - open.size() - close.size(), 'a');
    QTest::newRow("document ends at the 64 KiB cut, blanks after")
        << open + endFill + close + "\r\n" << QByteArray("text/xml")
        << QStringList{QStringLiteral("<m:from>") + QString::fromLatin1(endFill)};
    const QString units(HttpMailText::PieceSize / 2 - 4, u'a');
    QTest::newRow("UTF-16 pair across the 64 KiB cut")
        << utf16be(QStringLiteral("<a>") + units + QString::fromUtf8("\xf0\x9f\x98\x80</a>"))
        << QByteArray("text/xml; charset=utf-16be")
        << QStringList{QStringLiteral("<a>") + units + QString::fromUtf8("\xf0\x9f\x98\x80")};
    QTest::newRow("nothing") << QByteArray() << QByteArray("text/xml") << QStringList();
}

void TestHttpMailTags::replyOctets()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, tags);

    QString marker;
    QStringList walkTags;
    QCOMPARE(HttpMailTags::flattenReply(bytes, contentType, marker, walkTags), !bytes.isEmpty());
    QCOMPARE(walkTags, tags);
    // The same as the whole decoded text's walk.
    QString textMarker;
    QStringList textTags;
    HttpMailTags::flattenXml(HttpMailText::decodeReply(bytes, contentType), textMarker, textTags);
    QCOMPARE(walkTags, textTags);
    QCOMPARE(marker, textMarker);
}

void TestHttpMailTags::nestingLimitOfTheDocument_data()
{
    QTest::addColumn<int>("levels");
    QTest::addColumn<bool>("loads");

    QTest::newRow("at the limit") << MostNestingLevels << true;
    QTest::newRow("one beyond") << MostNestingLevels + 1 << false;
    QTest::newRow("far beyond") << 100000 << false;
}

void TestHttpMailTags::nestingLimitOfTheDocument()
{
    QFETCH(int, levels);
    QFETCH(bool, loads);

    QDomDocument doc;
    QCOMPARE(HttpMailTags::loadXml(doc, nested(levels, QStringLiteral("x"))), loads);
    QString marker;
    QStringList tags;
    QCOMPARE(HttpMailTags::flattenXml(nested(levels, QStringLiteral("x")), marker, tags), loads);
}

QTEST_GUILESS_MAIN(TestHttpMailTags)
#include "test_httpmail_tags.moc"
