// CMessage: splitting a mail into its parts, the header rules, the dates it
// derives, and reading and writing message files byte for byte.

#include "base/Notice.h"
#include "message/CMessage.h"
#include "message/MailDate.h"
#include "TestFiles.h"

#include <QtTest>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using Getter = QString (CMessage::*)() const;

const QHash<QString, Getter> &getters()
{
    static const QHash<QString, Getter> map = {
        {"Headers", &CMessage::Headers},       {"MessageBody", &CMessage::MessageBody},
        {"MessageText", &CMessage::MessageText}, {"Encrypted", &CMessage::Encrypted},
        {"Comments", &CMessage::Comments},     {"Keywords", &CMessage::Keywords},
        {"References", &CMessage::References}, {"InReplyTo", &CMessage::InReplyTo},
        {"bcc", &CMessage::bcc},               {"CC", &CMessage::CC},
        {"Sender", &CMessage::Sender},         {"replyTo", &CMessage::replyTo},
        {"Subject", &CMessage::Subject},       {"From", &CMessage::From},
        {"MessageTo", &CMessage::MessageTo},   {"MessageID", &CMessage::MessageID},
        {"SendDate", &CMessage::SendDate},     {"Received", &CMessage::Received},
        {"ReturnPath", &CMessage::ReturnPath},
    };
    return map;
}

QString propertyOf(const CMessage &message, const QString &name)
{
    const Getter getter = getters().value(name);
    if (!getter) {
        qWarning("no property %s", qPrintable(name));
        return QStringLiteral("<no such property>");
    }
    return (message.*getter)();
}

// Header lines joined by CR LF, then the empty line and a body.
QString mail(const QStringList &headerLines, const QString &body = QStringLiteral("Body\r\n"))
{
    return headerLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") + body;
}

QByteArray allOctets()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

struct Notice_
{
    QString title;
    QString text;
};

const QString FormatNotice = QStringLiteral("Message:Invalid message format");

} // namespace

class TestMessageParser : public QObject
{
    Q_OBJECT

private:
    QList<Notice_> m_notices;

private slots:
    void init();
    void cleanup();

    void splitsHeadersAndBody_data();
    void splitsHeadersAndBody();
    void refusesTextWithoutEmptyLine_data();
    void refusesTextWithoutEmptyLine();
    void headerRules_data();
    void headerRules();
    void everyHeaderFillsItsProperty();
    void secondFillKeepsWhatItDoesNotSupply();
    void messageIdCleaning_data();
    void messageIdCleaning();
    void blankMessageIdIsGenerated();
    void generatedMessageIdFormat_data();
    void generatedMessageIdFormat();
    void derivedDates_data();
    void derivedDates();

    void fileRoundTripKeepsEveryOctet();
    void saveReplacesLongerFile();
    void saveFailureGoesToErrorLog();
    void createFromFileFailsSilently();
    void createFromFileRefusesTextWithoutEmptyLine();
    void loadHeadersFromFile_data();
    void loadHeadersFromFile();
    void loadHeadersFromMissingFileIsSilent();
};

void TestMessageParser::init()
{
    m_notices.clear();
    Notice::setHandler([this](const QString &title, const QString &text) {
        m_notices.append({title, text});
    });
}

void TestMessageParser::cleanup()
{
    Notice::setHandler({});
}

void TestMessageParser::splitsHeadersAndBody_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QString>("body");

    QTest::newRow("plain") << "Subject: a\r\nFrom: b\r\n\r\nline 1\r\nline 2\r\n"
                           << "Subject: a\r\nFrom: b" << "line 1\r\nline 2\r\n";
    QTest::newRow("empty line only at the end") << "Subject: a\r\n\r\n" << "Subject: a" << "";
    QTest::newRow("first empty line splits") << "Subject: a\r\n\r\nx\r\n\r\ny"
                                             << "Subject: a" << "x\r\n\r\ny";
    QTest::newRow("no headers") << "\r\n\r\nbody" << "" << "body";
    QTest::newRow("bare LF stays inside") << "Subject: a\nb\r\n\r\nc\n\nd" << "Subject: a\nb" << "c\n\nd";
    QTest::newRow("POP3 framing kept") << "+OK 12 octets\r\nSubject: a\r\n\r\n..x\r\n.\r\n"
                                       << "+OK 12 octets\r\nSubject: a" << "..x\r\n.\r\n";
}

void TestMessageParser::splitsHeadersAndBody()
{
    QFETCH(QString, text);
    QFETCH(QString, headers);
    QFETCH(QString, body);

    CMessage message;
    message.CreateFromText(text);
    QCOMPARE(message.Headers(), headers);
    QCOMPARE(message.MessageBody(), body);
    QCOMPARE(message.MessageText(), text);
    QCOMPARE(message.Size(), qint64(text.size()));
    QVERIFY(m_notices.isEmpty());
}

void TestMessageParser::refusesTextWithoutEmptyLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("LF only") << "Subject: b\n\nother body\n";
    QTest::newRow("CR LF CR") << "Subject: b\r\n\rother body";
    QTest::newRow("one CR LF") << "Subject: b\r\n";
}

void TestMessageParser::refusesTextWithoutEmptyLine()
{
    QFETCH(QString, text);

    CMessage message;
    const QString first = mail({"Subject: a", "Date: Mon, 1 Jan 2004 10:00:00"}, "body a");
    message.CreateFromText(first);
    QVERIFY(m_notices.isEmpty());

    message.CreateFromText(text);
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].title, QStringLiteral("Mailvane "));
    QCOMPARE(m_notices[0].text, FormatNotice);
    QCOMPARE(message.MessageText(), first);
    QCOMPARE(message.MessageBody(), QStringLiteral("body a"));
    QCOMPARE(message.Subject(), QStringLiteral("a"));
    QCOMPARE(message.Size(), qint64(first.size()));
}

void TestMessageParser::headerRules_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first colon splits") << QStringList{"Subject: Re: meeting at 10:30"}
                                        << "Subject" << "Re: meeting at 10:30";
    QTest::newRow("any letter case, no blank after colon") << QStringList{"sUBJECT:hello"}
                                                           << "Subject" << "hello";
    QTest::newRow("blank before colon is no header") << QStringList{"Subject : hello"}
                                                     << "Subject" << "";
    QTest::newRow("blank inside name is no header") << QStringList{"Reply To: a@b"}
                                                    << "replyTo" << "";
    QTest::newRow("only spaces trimmed") << QStringList{"Subject:  \thello \t  "}
                                         << "Subject" << "\thello \t";
    QTest::newRow("empty value") << QStringList{"Subject:"} << "Subject" << "";
    QTest::newRow("last occurrence wins") << QStringList{"Subject: one", "From: x", "Subject: two"}
                                          << "Subject" << "two";
    QTest::newRow("later empty occurrence wins") << QStringList{"CC: a@b", "cc:   "} << "CC" << "";
    QTest::newRow("folded To keeps its first line")
        << QStringList{"To: a@x.org,", "  b@y.org,", "\tc@z.org", "Subject: s"} << "MessageTo" << "a@x.org,";
    QTest::newRow("folded line with colon is a header of its own")
        << QStringList{"Subject: part one", "\tpart:two"} << "Subject" << "part one";
    QTest::newRow("unknown header leaves Subject") << QStringList{"Subject: s", "X-Subject: t"}
                                                   << "Subject" << "s";
    QTest::newRow("latin-1 octets survive") << QStringList{QString::fromLatin1("Subject: caf\xe9 \xff\x80")}
                                            << "Subject" << QString::fromLatin1("caf\xe9 \xff\x80");

    QTest::newRow("Received date on own line")
        << QStringList{"Received: from a by b; Mon, 1 Jan 2004 10:00:00 +0000"}
        << "Received" << "from a by b; Mon, 1 Jan 2004 10:00:00 +0000";
    QTest::newRow("Received date on folded line, first header wins")
        << QStringList{"Received: from a", "        by b with SMTP id 1;", "        Mon, 1 Jan 2004 10:00:00 +0000",
                       "Received: from c", "\tby d; Tue, 2 Jan 2004 11:00:00 +0000"}
        << "Received" << "by b with SMTP id 1;";
    QTest::newRow("Received keeps tab of folded line")
        << QStringList{"Received: from a", "\tby b; Mon, 1 Jan 2004 10:00:00 +0000"}
        << "Received" << "\tby b; Mon, 1 Jan 2004 10:00:00 +0000";
    QTest::newRow("Received without semicolon skipped")
        << QStringList{"Received: from a by b", "Received: from c; Tue, 2 Jan 2004 11:00:00"}
        << "Received" << "from c; Tue, 2 Jan 2004 11:00:00";
    QTest::newRow("other header's folded line is not Received")
        << QStringList{"Received: from a", "Subject: s", "\tby b; Mon, 1 Jan 2004 10:00:00"}
        << "Received" << "";
    QTest::newRow("folded Received line with colon ends the header")
        << QStringList{"Received: from a", "\tid:x", "\tby b; Mon, 1 Jan 2004 10:00:00"}
        << "Received" << "";
    QTest::newRow("Received name in any case")
        << QStringList{"RECEIVED: x; Mon, 1 Jan 2004 10:00:00"} << "Received" << "x; Mon, 1 Jan 2004 10:00:00";
}

void TestMessageParser::headerRules()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, property);
    QFETCH(QString, expected);

    CMessage message;
    message.CreateFromText(mail(lines));
    QCOMPARE(propertyOf(message, property), expected);
}

void TestMessageParser::everyHeaderFillsItsProperty()
{
    const QList<QPair<QString, QString>> headers = {
        {"Return-Path", "ReturnPath"}, {"Received", "Received"},   {"From", "From"},
        {"Sender", "Sender"},          {"Reply-To", "replyTo"},    {"To", "MessageTo"},
        {"Cc", "CC"},                  {"Bcc", "bcc"},             {"Message-ID", "MessageID"},
        {"In-Reply-To", "InReplyTo"},  {"References", "References"}, {"Keywords", "Keywords"},
        {"Subject", "Subject"},        {"Comments", "Comments"},   {"Encrypted", "Encrypted"},
        {"Date", "SendDate"},
    };
    QStringList lines;
    for (const auto &header : headers)
        lines << header.first + QStringLiteral(": value;of ") + header.first;

    CMessage message;
    message.CreateFromText(mail(lines));
    for (const auto &header : headers) {
        QString expected = QStringLiteral("value;of ") + header.first;
        if (header.second == QLatin1String("MessageID"))
            expected.remove(u':');
        QCOMPARE(propertyOf(message, header.second), expected);
    }
}

void TestMessageParser::secondFillKeepsWhatItDoesNotSupply()
{
    CMessage message;
    message.CreateFromText(mail({"Subject: first", "Cc: c@x", "Received: from a; Mon, 1 Jan 2004 10:00:00"},
                                "body 1"));
    message.CreateFromText(mail({"Subject: second", "Received: from b; Tue, 2 Jan 2004 10:00:00"}, "body 2"));

    QCOMPARE(message.Subject(), QStringLiteral("second"));
    QCOMPARE(message.CC(), QStringLiteral("c@x"));
    QCOMPARE(message.Received(), QStringLiteral("from a; Mon, 1 Jan 2004 10:00:00"));
    QCOMPARE(message.MessageBody(), QStringLiteral("body 2"));
}

void TestMessageParser::messageIdCleaning_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("angle brackets") << "Message-ID: <1234.abc@mail.example.org>" << "1234.abc@mail.example.org";
    QTest::newRow("slashes and colons") << "Message-Id: <a/b\\c:d@host>" << "abcd@host";
    QTest::newRow("blanks inside kept") << "MESSAGE-ID: < x y >" << " x y ";
    QTest::newRow("last occurrence wins") << "Message-ID: <one@x>\r\nMessage-ID: <two@x>" << "two@x";
}

void TestMessageParser::messageIdCleaning()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    CMessage message;
    message.CreateFromText(mail({line}));
    QCOMPARE(message.MessageID(), expected);
}

void TestMessageParser::blankMessageIdIsGenerated()
{
    const QRegularExpression generated(QStringLiteral("^[0-9]+(D[0-9]+)?$"));
    for (const QString &value : {QStringLiteral("<>"), QStringLiteral("< >"), QStringLiteral("<:/\\>"),
                                 QString()}) {
        CMessage message;
        const double before = MailDate::now();
        message.CreateFromText(mail({QStringLiteral("Message-ID: ") + value}));
        const double after = MailDate::now();

        const QString id = message.MessageID();
        QVERIFY2(generated.match(id).hasMatch(), qPrintable(value + QStringLiteral(" -> ") + id));
        QString number = id;
        number.replace(u'D', u'.');
        const double when = number.toDouble();
        QVERIFY2(when >= before - 1e-9 && when <= after + 1e-9, qPrintable(id));
    }
}

void TestMessageParser::generatedMessageIdFormat_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("id");
    QTest::newRow("noon 1 Aug 2004") << QDateTime(QDate(2004, 8, 1), QTime(12, 0)) << "38200D5";
    QTest::newRow("midnight has no fraction") << QDateTime(QDate(2004, 8, 1), QTime(0, 0)) << "38200";
    QTest::newRow("fifteen digits") << QDateTime(QDate(2004, 8, 1), QTime(12, 0, 1)) << "38200D5000115741";
}

void TestMessageParser::generatedMessageIdFormat()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, id);
    QCOMPARE(CMessage::GeneratedMessageID(MailDate::fromDateTime(when)), id);
}

void TestMessageParser::derivedDates_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("received");

    const QString zero = QStringLiteral("1899-12-30 00:00:00");
    QTest::newRow("no dates") << QStringList{"Subject: s"} << zero << zero;
    QTest::newRow("no Received uses Date")
        << QStringList{"Date: Mon, 1 Jan 2004 10:00:00 +0000"} << "2004-01-01 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("Received after its semicolon")
        << QStringList{"Received: from a by b;  Tue, 2 Jan 2004 11:30:00 +0100",
                       "Date: Mon, 1 Jan 2004 10:00:00 +0000"}
        << "2004-01-01 10:00:00" << "2004-01-02 11:30:00";
    QTest::newRow("folded Received")
        << QStringList{"Received: from a", "\tby b; Tue, 2 Jan 2004 11:30:00 +0100", "Date: 1 Jan 2004 10:00:00"}
        << "2004-01-01 10:00:00" << "2004-01-02 11:30:00";
    QTest::newRow("nothing after semicolon uses Date")
        << QStringList{"Received: from a by b;   ", "Date: Mon, 1 Jan 2004 10:00:00"}
        << "2004-01-01 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("NULs after semicolon use Date")
        << QStringList{QString::fromLatin1("Received: from a;\0 \0", 20), "Date: Mon, 1 Jan 2004 10:00:00"}
        << "2004-01-01 10:00:00" << "2004-01-01 10:00:00";
    QTest::newRow("bad Received date is zero")
        << QStringList{"Received: from a; yesterday", "Date: Mon, 1 Jan 2004 10:00:00"}
        << "2004-01-01 10:00:00" << zero;
    QTest::newRow("unparsable Date") << QStringList{"Date: 1/1/2004"} << zero << zero;
}

void TestMessageParser::derivedDates()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, sent);
    QFETCH(QString, received);

    CMessage message;
    message.CreateFromText(mail(lines));
    const auto clock = [](double value) {
        return MailDate::toDateTime(value, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    };
    QCOMPARE(clock(message.SendDateTime()), sent);
    QCOMPARE(clock(message.ReceivedDateTime()), received);
}

void TestMessageParser::fileRoundTripKeepsEveryOctet()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray original = "Subject: all octets \xe9\xff\r\nReturn-Path: <x@y>\r\n\r\n";
    original += allOctets() + "\r\n\r\n" + allOctets();
    const QString source = dir.filePath(QStringLiteral("in.eml"));
    const QString target = dir.filePath(QStringLiteral("out.eml"));
    QVERIFY(kit::writeFile(source, original));

    CMessage message;
    message.CreateFromFile(source);
    QCOMPARE(message.MessageText(), QString::fromLatin1(original));
    QCOMPARE(message.Size(), qint64(original.size()));
    QCOMPARE(message.Subject(), QString::fromLatin1("all octets \xe9\xff"));
    QCOMPARE(message.ReturnPath(), QStringLiteral("<x@y>"));

    message.SaveMessage(target);
    QCOMPARE(message.ErrorLog, QString());
    QCOMPARE(kit::readFile(target), original);
    QVERIFY(m_notices.isEmpty());
}

void TestMessageParser::saveReplacesLongerFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("test.eml"));
    QVERIFY(kit::writeFile(path, QByteArray(4096, 'x')));

    CMessage message;
    const QString text = mail({"Subject: short"}, "hi\r\n");
    message.CreateFromText(text);
    message.SaveMessage(path);
    QCOMPARE(message.ErrorLog, QString());
    QCOMPARE(kit::readFile(path), text.toLatin1());

    // A refused text leaves the object empty, and the file is written empty.
    CMessage empty;
    empty.CreateFromText(QStringLiteral("no empty line"));
    empty.SaveMessage(path);
    QCOMPARE(empty.ErrorLog, QString());
    QCOMPARE(kit::readFile(path), QByteArray());
}

void TestMessageParser::saveFailureGoesToErrorLog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missingFolder = dir.filePath(QStringLiteral("missing/test.eml"));

    CMessage message;
    message.CreateFromText(mail({"Subject: s"}));
    message.SaveMessage(missingFolder);
    message.SaveMessage(dir.path());
    message.SaveMessage(QString());
    QCOMPARE(message.ErrorLog, QStringLiteral("Failed to save message to ") + missingFolder + "\r\n"
                                   + QStringLiteral("Failed to save message to ") + dir.path() + "\r\n"
                                   + QStringLiteral("Failed to save message to \r\n"));
    QVERIFY(!QFile::exists(missingFolder));
    QVERIFY(m_notices.isEmpty());
}

void TestMessageParser::createFromFileFailsSilently()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CMessage message;
    const QString text = mail({"Subject: kept"});
    message.CreateFromText(text);

    message.CreateFromFile(dir.filePath(QStringLiteral("absent.eml")));
    message.CreateFromFile(dir.path());
    message.CreateFromFile(QString());
    QVERIFY(m_notices.isEmpty());
    QCOMPARE(message.MessageText(), text);
    QCOMPARE(message.Subject(), QStringLiteral("kept"));
}

void TestMessageParser::createFromFileRefusesTextWithoutEmptyLine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("unix.eml"));
    QVERIFY(kit::writeFile(path, "Subject: s\n\nbody\n"));

    CMessage message;
    message.CreateFromFile(path);
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0].text, FormatNotice);
    QCOMPARE(message.MessageText(), QString());
}

void TestMessageParser::loadHeadersFromFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("refused");

    QTest::newRow("CR LF lines") << QByteArray("Subject: s\r\nFrom: f\r\n\r\nbody 1\r\nbody 2\r\n")
                                 << "Subject: s\r\nFrom: f" << "body 1\r\nmsg\r\n" << false;
    QTest::newRow("CR lines") << QByteArray("Subject: s\rFrom: f\r\rbody 1\rbody 2\r")
                              << "Subject: s\r\nFrom: f" << "body 1\r\nmsg\r\n" << false;
    QTest::newRow("file ends after empty line") << QByteArray("Subject: s\r\n\r\n")
                                                << "Subject: s" << "msg\r\n" << false;
    QTest::newRow("last line without line end") << QByteArray("Subject: s\r\n\r\nbody")
                                                << "Subject: s" << "body\r\nmsg\r\n" << false;
    QTest::newRow("empty first line") << QByteArray("\r\n\r\nbody\r\nmore")
                                      << "" << "body\r\nmsg\r\n" << false;
    QTest::newRow("octets survive") << QByteArray("Subject: \xe9\x01\xff\r\n\r\n\x80\x00z\r\n", 21)
                                    << QString::fromLatin1("Subject: \xe9\x01\xff")
                                    << QString::fromLatin1("\x80\x00z\r\nmsg\r\n", 10) << false;
    QTest::newRow("LF lines are one line") << QByteArray("Subject: s\n\nbody\n") << "" << "" << true;
    QTest::newRow("no empty line") << QByteArray("Subject: s\r\nFrom: f\r\n") << "" << "" << true;
    QTest::newRow("empty file") << QByteArray() << "" << "" << true;
}

void TestMessageParser::loadHeadersFromFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, headers);
    QFETCH(QString, body);
    QFETCH(bool, refused);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("mail.eml"));
    QVERIFY(kit::writeFile(path, file));

    CMessage message;
    message.LoadHeadersFromFile(path);
    if (refused) {
        QCOMPARE(m_notices.size(), 1);
        QCOMPARE(m_notices[0].text, FormatNotice);
        QCOMPARE(message.MessageText(), QString());
        return;
    }
    QVERIFY(m_notices.isEmpty());
    QCOMPARE(message.Headers(), headers);
    QCOMPARE(message.MessageBody(), body);
    QCOMPARE(message.MessageText(), headers + QStringLiteral("\r\n\r\n") + body);
    if (headers.startsWith(QLatin1String("Subject: ")))
        QCOMPARE(message.Subject(), headers.section(u'\r', 0, 0).mid(9));
}

void TestMessageParser::loadHeadersFromMissingFileIsSilent()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CMessage message;
    message.LoadHeadersFromFile(dir.filePath(QStringLiteral("absent.eml")));
    message.LoadHeadersFromFile(QString());
    QVERIFY(m_notices.isEmpty());
    QCOMPARE(message.MessageText(), QString());
}

QTEST_GUILESS_MAIN(TestMessageParser)
#include "test_message_parser.moc"
