// Header texts as they are shown: octets and RFC 2047 encoded words decoded.

#include "message/HeaderText.h"

#include <QtTest>

class TestHeaderText : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void octetsAndSocketTextAgree();
    void textBeyondLatin1IsNotReadAsOctets();
};

void TestHeaderText::decode_data()
{
    // The socket's text: one character per octet.
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain ASCII") << QByteArray("Hello there") << QStringLiteral("Hello there");
    QTest::newRow("UTF-8 B") << QByteArray("=?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=")
                             << QStringLiteral("Grüße aus Köln");
    QTest::newRow("B without padding") << QByteArray("=?utf-8?b?S8O2bG4?=") << QStringLiteral("Köln");
    QTest::newRow("ISO-8859-1 Q with underscores") << QByteArray("=?ISO-8859-1?Q?Caf=E9_au_lait?=")
                                                   << QStringLiteral("Café au lait");
    QTest::newRow("Q in lower case, hex in lower case") << QByteArray("=?iso-8859-1?q?caf=e9?=")
                                                        << QStringLiteral("café");
    QTest::newRow("other charsets") << QByteArray("=?KOI8-R?B?8NLJ18XU?= =?windows-1252?Q?=80_5?=")
                                    << QStringLiteral("Привет€ 5");
    QTest::newRow("language after the charset") << QByteArray("=?UTF-8*de?Q?K=C3=B6ln?=") << QStringLiteral("Köln");
    QTest::newRow("two adjacent words lose the blank between them")
        << QByteArray("=?ISO-8859-1?Q?Caf=E9?= =?ISO-8859-1?Q?_au_lait?=") << QStringLiteral("Café au lait");
    QTest::newRow("folded between words") << QByteArray("=?UTF-8?Q?a?=\r\n\t =?UTF-8?Q?b?=") << QStringLiteral("ab");
    QTest::newRow("a character split between two words")
        << QByteArray("=?UTF-8?B?S8M=?= =?UTF-8?B?tmxu?=") << QStringLiteral("Köln");
    QTest::newRow("words in different charsets")
        << QByteArray("=?UTF-8?Q?=C3=A4?= =?ISO-8859-1?Q?=E4?=") << QStringLiteral("ää");
    QTest::newRow("blanks to plain text stay")
        << QByteArray("Re: =?UTF-8?Q?=C3=A4?= and =?UTF-8?Q?=C3=B6?= end")
        << QStringLiteral("Re: ä and ö end");
    QTest::newRow("sender name and address")
        << QByteArray("=?UTF-8?B?SsO8cmdlbg==?= <j@example.org>") << QStringLiteral("Jürgen <j@example.org>");
    QTest::newRow("unknown charset left as it stands") << QByteArray("=?x-nowhere?Q?abc?= ok")
                                                       << QStringLiteral("=?x-nowhere?Q?abc?= ok");
    QTest::newRow("bad Base64 left as it stands") << QByteArray("=?UTF-8?B?#not base64#?=")
                                                  << QStringLiteral("=?UTF-8?B?#not base64#?=");
    QTest::newRow("Base64 of impossible length left") << QByteArray("=?UTF-8?B?QUJDR?=")
                                                      << QStringLiteral("=?UTF-8?B?QUJDR?=");
    QTest::newRow("bad Q escape left as it stands") << QByteArray("=?UTF-8?Q?a=ZZb?=")
                                                    << QStringLiteral("=?UTF-8?Q?a=ZZb?=");
    QTest::newRow("unknown encoding left as it stands") << QByteArray("=?UTF-8?X?abc?=")
                                                        << QStringLiteral("=?UTF-8?X?abc?=");
    QTest::newRow("unterminated word left as it stands") << QByteArray("=?UTF-8?Q?abc")
                                                         << QStringLiteral("=?UTF-8?Q?abc");
    QTest::newRow("blank inside a word makes it plain text") << QByteArray("=?UTF-8?Q?a b?=")
                                                             << QStringLiteral("=?UTF-8?Q?a b?=");
    QTest::newRow("invalid word keeps its blanks to a valid one")
        << QByteArray("=?UTF-8?Q?ok?= =?nowhere?Q?x?= =?UTF-8?Q?fine?=")
        << QStringLiteral("ok =?nowhere?Q?x?= fine");
    QTest::newRow("an invalid start before a valid word") << QByteArray("=?=?UTF-8?Q?=C3=A4?=")
                                                          << QStringLiteral("=?ä");
    QTest::newRow("mix of raw UTF-8 and an encoded word")
        << QByteArray("Grüße =?ISO-8859-1?Q?und_K=FCsse?=") << QStringLiteral("Grüße und Küsse");
    QTest::newRow("raw UTF-8 octets") << QByteArray("Préférences — 東京") << QStringLiteral("Préférences — 東京");
    QTest::newRow("raw Latin-1 octets") << QByteArray("Caf\xe9 cr\xe8me") << QStringLiteral("Café crème");
    QTest::newRow("cut UTF-8 sequence is Latin-1") << QByteArray("K\xc3") << QStringLiteral("KÃ");
    QTest::newRow("Latin-1 octets with an encoded word")
        << QByteArray("\xc0 =?UTF-8?B?w6A=?=") << QStringLiteral("À à");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestHeaderText::decode()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, shown);
    QCOMPARE(HeaderText::decode(QString::fromLatin1(octets)), shown);
}

void TestHeaderText::octetsAndSocketTextAgree()
{
    const QByteArray octets("Gr\xc3\xbc\xc3\x9f" "e =?UTF-8?Q?=E2=82=AC?=");
    QCOMPARE(HeaderText::decode(octets), QStringLiteral("Grüße €"));
    QCOMPARE(HeaderText::decode(QString::fromLatin1(octets)), QStringLiteral("Grüße €"));
    QCOMPARE(HeaderText::fromOctets(octets), QStringLiteral("Grüße =?UTF-8?Q?=E2=82=AC?="));
    QCOMPARE(HeaderText::decodeEncodedWords(QStringLiteral("x =?UTF-8?Q?=E2=82=AC?=")), QStringLiteral("x €"));
}

void TestHeaderText::textBeyondLatin1IsNotReadAsOctets()
{
    // Already decoded text (e.g. from HTTPMail) only has its words decoded.
    QCOMPARE(HeaderText::decode(QStringLiteral("€ Ã =?UTF-8?Q?=C3=A4?=")), QStringLiteral("€ Ã ä"));
}

QTEST_GUILESS_MAIN(TestHeaderText)
#include "test_header_text.moc"
