// The text of HTTPMail replies: the charset a Content-Type names, which
// decoder reads the octets, and the same text read a piece at a time.

#include "httpmail/HttpMailText.h"

#include <QtTest>

using HttpMailText::PieceSize;

namespace {

QString joinedPieces(const QByteArray &bytes, const QByteArray &contentType, qsizetype pieceSize, int *count)
{
    HttpMailText::ReplyPieces pieces(bytes, contentType, pieceSize);
    QString text;
    *count = 0;
    while (!pieces.atEnd()) {
        text += pieces.next();
        ++*count;
    }
    return text;
}

} // namespace

class TestHttpMailText : public QObject
{
    Q_OBJECT
private slots:
    void charsetOf_data();
    void charsetOf();
    void decodeReply_data();
    void decodeReply();
    void pieces_data();
    void pieces();
};

void TestHttpMailText::charsetOf_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("charset");

    QTest::newRow("none") << QByteArray("text/xml") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("plain") << QByteArray("text/xml; charset=utf-8") << QByteArray("utf-8");
    QTest::newRow("quoted") << QByteArray("text/xml; charset=\"windows-1252\"") << QByteArray("windows-1252");
    QTest::newRow("parameter name in any case, value as sent")
        << QByteArray("text/xml; CharSet=ISO-8859-1") << QByteArray("ISO-8859-1");
    QTest::newRow("blanks around the value") << QByteArray("text/xml ;  charset= utf-8 ") << QByteArray("utf-8");
    QTest::newRow("blank before = is another parameter") << QByteArray("text/xml; charset = utf-8") << QByteArray();
    QTest::newRow("after another parameter") << QByteArray("text/xml; format=flowed; charset=koi8-r")
                                             << QByteArray("koi8-r");
    QTest::newRow("first of two counts") << QByteArray("text/xml; charset=a; charset=b") << QByteArray("a");
    QTest::newRow("the type itself is no parameter") << QByteArray("charset=utf-8") << QByteArray();
    QTest::newRow("empty value") << QByteArray("text/xml; charset=") << QByteArray();
    QTest::newRow("a lone quote stays") << QByteArray("text/xml; charset=\"") << QByteArray("\"");
}

void TestHttpMailText::charsetOf()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, charset);
    QCOMPARE(HttpMailText::charsetOf(contentType), charset);
}

void TestHttpMailText::decodeReply_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");

    const QString cafe = QString::fromUtf8("caf\xc3\xa9");
    const QString cafeDot = cafe + u'.';
    QTest::newRow("no charset, UTF-8") << QByteArray("caf\xc3\xa9") << QByteArray("text/xml") << cafe;
    QTest::newRow("no charset, not UTF-8: Latin-1") << QByteArray("caf\xe9.") << QByteArray("text/xml") << cafeDot;
    QTest::newRow("no Content-Type at all") << QByteArray("caf\xc3\xa9") << QByteArray() << cafe;
    QTest::newRow("named charset") << QByteArray("\x80 5") << QByteArray("text/xml; charset=windows-1252")
                                   << QString::fromUtf8("\xe2\x82\xac 5");
    QTest::newRow("named charset wins over valid UTF-8")
        << QByteArray("caf\xc3\xa9") << QByteArray("text/xml; charset=iso-8859-1")
        << QString::fromUtf8("caf\xc3\x83\xc2\xa9");
    QTest::newRow("named UTF-16 with its byte-order mark")
        << QByteArray("\xff\xfeh\0i\0", 6) << QByteArray("text/xml; charset=utf-16") << QStringLiteral("hi");
    QTest::newRow("charset unknown: UTF-8") << QByteArray("caf\xc3\xa9")
                                            << QByteArray("text/xml; charset=x-no-such") << cafe;
    QTest::newRow("charset unknown, not UTF-8: Latin-1")
        << QByteArray("caf\xe9.") << QByteArray("text/xml; charset=x-no-such") << cafeDot;
    QTest::newRow("octets the named charset refuses: UTF-8")
        << QByteArray("caf\xc3\xa9") << QByteArray("text/xml; charset=us-ascii") << cafe;
    QTest::newRow("labelled UTF-8 but Latin-1: Latin-1")
        << QByteArray("caf\xe9.") << QByteArray("text/xml; charset=utf-8") << cafeDot;
    // An unfinished character at the end is no UTF-8: no octet is dropped.
    QTest::newRow("Latin-1 letter at the very end") << QByteArray("caf\xe9") << QByteArray("text/xml") << cafe;
    QTest::newRow("UTF-8 cut inside its last character: Latin-1")
        << QByteArray("caf\xc3") << QByteArray("text/xml") << QString::fromUtf8("caf\xc3\x83");
    QTest::newRow("named charset cut inside its last character")
        << QByteArray("a\x82") << QByteArray("text/xml; charset=Shift_JIS") << QString::fromLatin1("a\x82");
    QTest::newRow("every octet kept when nothing fits")
        << QByteArray("\x00\x7f\x80\xff", 4) << QByteArray("text/xml; charset=us-ascii")
        << QString::fromLatin1(QByteArray("\x00\x7f\x80\xff", 4));
    QTest::newRow("empty") << QByteArray() << QByteArray("text/xml; charset=utf-8") << QString();
}

void TestHttpMailText::decodeReply()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QCOMPARE(HttpMailText::decodeReply(bytes, contentType), text);
    // Read in pieces of every small size, the text is the same.
    for (qsizetype size = 1; size <= 4; ++size) {
        int count = 0;
        QCOMPARE(joinedPieces(bytes, contentType, size, &count), text);
    }
}

void TestHttpMailText::pieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    const QByteArray fill(PieceSize - 1, 'a');
    const QString fillText(PieceSize - 1, u'a');
    const QString euro = QString::fromUtf8("\xe2\x82\xac");
    QTest::newRow("UTF-8 character across the cut")
        << fill + "\xe2\x82\xac" + "b" << QByteArray("text/xml") << fillText + euro + u'b' << 2;
    QTest::newRow("named UTF-8 character across the cut")
        << fill + "\xe2\x82\xac" << QByteArray("text/xml; charset=UTF-8") << fillText + euro << 2;
    // The decoder is chosen from all the octets: one octet that is no UTF-8
    // in the second piece makes the first piece Latin-1 as well.
    QTest::newRow("no UTF-8 after the cut: Latin-1 throughout")
        << QByteArray("\xc3\xa9") + fill + "\xe9." << QByteArray("text/xml")
        << QString::fromUtf8("\xc3\x83\xc2\xa9") + fillText + QString::fromUtf8("\xc3\xa9.") << 2;
    // Units of two octets never straddle the cut; a pair of them can.
    QTest::newRow("a lead octet ends the second piece: Latin-1 throughout")
        << QByteArray("\xc3\xa9") + fill + "\xe9" << QByteArray("text/xml")
        << QString::fromUtf8("\xc3\x83\xc2\xa9") + fillText + QString::fromUtf8("\xc3\xa9") << 2;
    QTest::newRow("UTF-16 surrogate pair across the cut")
        << QByteArray("\0a", 2).repeated(PieceSize / 2 - 1) + QByteArray("\xd8\x3d\xde\x00", 4)
        << QByteArray("text/xml; charset=utf-16be")
        << QString(PieceSize / 2 - 1, u'a') + QString::fromUtf8("\xf0\x9f\x98\x80") << 2;
    QTest::newRow("exactly one piece") << QByteArray(PieceSize, 'x') << QByteArray() << QString(PieceSize, u'x')
                                       << 1;
    QTest::newRow("nothing: no piece") << QByteArray() << QByteArray() << QString() << 0;
}

void TestHttpMailText::pieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QFETCH(int, count);

    int pieces = 0;
    QCOMPARE(joinedPieces(bytes, contentType, PieceSize, &pieces), text);
    QCOMPARE(pieces, count);
    QCOMPARE(HttpMailText::decodeReply(bytes, contentType), text);
}

QTEST_GUILESS_MAIN(TestHttpMailText)
#include "test_httpmail_text.moc"
