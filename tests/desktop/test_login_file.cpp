// The login-file codec: reading, writing and the password checksum.

#include "desktop/LoginFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A login with the given field changed is refused by the save, which names
// that field and leaves the file that was there as it was.
void checkSaveRefused(const QTemporaryDir &dir, int field, const QString &text, const QString &caption)
{
    QStringList fields{"jim", "abc", "mailhost", "110"};
    fields[field] = text;
    QCOMPARE(LoginFieldNotStorable(fields[0], fields[1], fields[2], fields[3]), caption);

    const QString path = dir.filePath(QStringLiteral("home.mvl"));
    const QByteArray old = "old 0000 host 110\r\n";
    QVERIFY(kit::writeFile(path, old));
    QString error;
    QVERIFY(!SaveLoginFile(path, fields[0], fields[1], fields[2], fields[3], &error));
    QCOMPARE(error, LoginFieldNotStorableText(caption));
    QVERIFY2(error.startsWith(QStringLiteral("The ") + caption + QLatin1Char(' ')), qPrintable(error));
    QCOMPARE(kit::readFile(path), old);
}

} // namespace

class TestLoginFile : public QObject
{
    Q_OBJECT

private slots:
    void encodePassword_data();
    void encodePassword();
    void decodePassword_data();
    void decodePassword();
    void formatLine_data();
    void formatLine();
    void parseText_data();
    void parseText();
    void saveAndLoadRoundTrip_data();
    void saveAndLoadRoundTrip();
    void saveReplacesExistingFile();
    void characterBeyondCodePageIsRefused_data();
    void characterBeyondCodePageIsRefused();
    void controlCharacterIsRefused_data();
    void controlCharacterIsRefused();
    void savedFileIsPrivate_data();
    void savedFileIsPrivate();
    void failedWriteIsReported_data();
    void failedWriteIsReported();
    void loadFailures();
    void extensionRule_data();
    void extensionRule();
};

void TestLoginFile::encodePassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("encoded");

    QTest::newRow("abc") << QStringLiteral("abc") << QStringLiteral("024E616263");
    QTest::newRow("empty") << QString() << QStringLiteral("0000");
    QTest::newRow("code below 16 gets a leading zero") << QStringLiteral("\t") << QStringLiteral("000909");
    QTest::newRow("codes above 127") << QString::fromLatin1("\xFF\x80") << QStringLiteral("01FFFF80");
    QTest::newRow("accented letter") << QString::fromLatin1("\xE9") << QStringLiteral("00E9E9");
    // 122 * (1 + ... + 40) = 100040; modulo 32767 (not 32768) leaves 1739.
    QTest::newRow("checksum wraps at 32767") << QString(40, QLatin1Char('z'))
                                             << QStringLiteral("06CB") + QStringLiteral("7A").repeated(40);
    QTest::newRow("beyond Latin-1 counts as ?") << QString(QChar(0x20AC)) << QStringLiteral("003F3F");
}

void TestLoginFile::encodePassword()
{
    QFETCH(QString, password);
    QFETCH(QString, encoded);

    QCOMPARE(EncodePassword(password), encoded);

    int checksum = -1;
    QCOMPARE(HexWithChecksum(password, &checksum), encoded.mid(4));
    QCOMPARE(checksum, encoded.left(4).toInt(nullptr, 16));
}

void TestLoginFile::decodePassword_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<bool>("matched");

    QTest::newRow("abc") << QStringLiteral("024E616263") << QStringLiteral("abc") << true;
    QTest::newRow("empty password") << QStringLiteral("0000") << QString() << true;
    QTest::newRow("empty text") << QString() << QString() << false;
    QTest::newRow("shorter than the checksum") << QStringLiteral("024") << QString() << false;
    QTest::newRow("wrong checksum still decodes") << QStringLiteral("FFFF616263") << QStringLiteral("abc")
                                                  << false;
    QTest::newRow("lowercase digits") << QStringLiteral("024e616263") << QStringLiteral("abc") << true;
    QTest::newRow("codes above 127") << QStringLiteral("01FFFF80") << QString::fromLatin1("\xFF\x80")
                                     << true;
    // Rest of 1, 3, 5, 7 digits: 0.5 -> 0 pairs, 1.5 -> 2, 2.5 -> 2, 3.5 -> 4.
    QTest::newRow("one odd digit is dropped") << QStringLiteral("00006") << QString() << true;
    QTest::newRow("odd digit read as a pair when rounding up")
        << QStringLiteral("0000616") << QStringLiteral("a\x06") << false;
    QTest::newRow("odd digit dropped when rounding down")
        << QStringLiteral("000061626") << QStringLiteral("ab") << false;
    QTest::newRow("odd digit after three pairs") << QStringLiteral("0000616263A")
                                                 << QStringLiteral("abc\n") << false;
    QTest::newRow("pair read up to its first non-hex digit")
        << QStringLiteral("00004G") << QStringLiteral("\x04") << false;
    QTest::newRow("pair without hex digits is code 0")
        << QStringLiteral("0000ZZ41") << QString(QChar(0)) + QStringLiteral("A") << false;
}

void TestLoginFile::decodePassword()
{
    QFETCH(QString, encoded);
    QFETCH(QString, decoded);
    QFETCH(bool, matched);

    bool checksumMatched = !matched;
    QCOMPARE(DecodePassword(encoded, &checksumMatched), decoded);
    QCOMPARE(checksumMatched, matched);
    QCOMPARE(DecodePassword(encoded), decoded);
}

void TestLoginFile::formatLine_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("line");

    QTest::newRow("plain") << QStringList{"jim", "abc", "mailhost", "110"}
                           << QStringLiteral("jim 024E616263 mailhost 110");
    QTest::newRow("empty port is an empty fourth field")
        << QStringList{"jim", "abc", "mailhost", ""} << QStringLiteral("jim 024E616263 mailhost ");
    QTest::newRow("blank in the user name is kept")
        << QStringList{"jim smith", "", "mail host", "995"}
        << QStringLiteral("jim smith 0000 mail host 995");
}

void TestLoginFile::formatLine()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, line);
    QCOMPARE(FormatLoginLine(fields[0], fields[1], fields[2], fields[3]), line);
}

void TestLoginFile::parseText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("filled");
    QTest::addColumn<QStringList>("fields"); // user, password, server, port

    QTest::newRow("saved line") << QByteArray("jim 024E616263 mailhost 110\r\n") << true << 4
                                << QStringList{"jim", "abc", "mailhost", "110"};
    QTest::newRow("no line end") << QByteArray("jim 024E616263 mailhost 110") << true << 4
                                 << QStringList{"jim", "abc", "mailhost", "110"};
    QTest::newRow("LF line end, later lines ignored")
        << QByteArray("jim 024E616263 mailhost 110\nbob 0000 other 25\r\n") << true << 4
        << QStringList{"jim", "abc", "mailhost", "110"};
    QTest::newRow("CR line end") << QByteArray("jim 0000 host 25\rjunk") << true << 4
                                 << QStringList{"jim", "", "host", "25"};
    QTest::newRow("fields after the fourth ignored")
        << QByteArray("jim 024E616263 mailhost 110 extra more\r\n") << true << 4
        << QStringList{"jim", "abc", "mailhost", "110"};
    QTest::newRow("empty port") << QByteArray("jim 024E616263 mailhost \r\n") << true << 4
                                << QStringList{"jim", "abc", "mailhost", ""};
    QTest::newRow("comma in the port cuts it") << QByteArray("jim 024E616263 mailhost 11,0\r\n") << true
                                               << 4 << QStringList{"jim", "abc", "mailhost", "11"};
    QTest::newRow("wrong checksum still decodes") << QByteArray("jim 1234616263 mailhost 110\r\n")
                                                  << true << 4
                                                  << QStringList{"jim", "abc", "mailhost", "110"};
    QTest::newRow("double blank shifts the fields")
        << QByteArray("jim  024E616263 mailhost 110\r\n") << true << 4
        << QStringList{"jim", "", "024E616263", "mailhost"};
    QTest::newRow("Latin-1 bytes") << QByteArray("j\xE9r\xF4me 00E9E9 h\xF6st 110\r\n") << true << 4
                                   << QStringList{QString::fromLatin1("j\xE9r\xF4me"),
                                                  QString::fromLatin1("\xE9"),
                                                  QString::fromLatin1("h\xF6st"), "110"};

    QTest::newRow("comma in the user name leaves one field")
        << QByteArray("j,im 024E616263 mailhost 110\r\n") << false << 1
        << QStringList{"j", "", "", ""};
    QTest::newRow("one field") << QByteArray("jim\r\n") << false << 1 << QStringList{"jim", "", "", ""};
    QTest::newRow("two fields") << QByteArray("jim 024E616263\r\n") << false << 2
                                << QStringList{"jim", "abc", "", ""};
    QTest::newRow("three fields") << QByteArray("jim 024E616263 mailhost") << false << 3
                                  << QStringList{"jim", "abc", "mailhost", ""};
    QTest::newRow("trailing blank makes an empty field") << QByteArray("jim \r\n") << false << 2
                                                         << QStringList{"jim", "", "", ""};
    QTest::newRow("empty file") << QByteArray() << false << 0 << QStringList{"", "", "", ""};
    QTest::newRow("empty first line") << QByteArray("\r\njim 024E616263 mailhost 110\r\n") << false << 0
                                      << QStringList{"", "", "", ""};
    QTest::newRow("comma first") << QByteArray(",jim 024E616263 mailhost 110") << false << 0
                                 << QStringList{"", "", "", ""};
}

void TestLoginFile::parseText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, filled);
    QFETCH(QStringList, fields);

    const LoginDetails details = ParseLoginText(bytes);
    QCOMPARE(details.ok, ok);
    QCOMPARE(details.filledFields, filled);
    QCOMPARE(details.user, fields[0]);
    QCOMPARE(details.password, fields[1]);
    QCOMPARE(details.mailServer, fields[2]);
    QCOMPARE(details.port, fields[3]);
}

void TestLoginFile::saveAndLoadRoundTrip_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("fileBytes");

    QTest::newRow("plain") << QStringList{"jim", "abc", "mailhost", "110"}
                           << QByteArray("jim 024E616263 mailhost 110\r\n");
    QTest::newRow("Latin-1 written as single bytes")
        << QStringList{QString::fromLatin1("j\xFCrgen"), QString::fromLatin1("p\xE4ss"),
                       QStringLiteral("pop.example.org"), QStringLiteral("995")}
        << QByteArray("j\xFCrgen 055D70E47373 pop.example.org 995\r\n");
    QTest::newRow("every printable byte value in the password")
        << QStringList{"u", QString(), "s", "1"} << QByteArray();
}

void TestLoginFile::saveAndLoadRoundTrip()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, fileBytes);
    if (QByteArray(QTest::currentDataTag()) == "every printable byte value in the password") {
        for (int code = 1; code < 256; ++code)
            if (QChar(code).category() != QChar::Other_Control)
                fields[1] += QChar(code);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("login.mvl"));

    QString error;
    QVERIFY(SaveLoginFile(path, fields[0], fields[1], fields[2], fields[3], &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (!fileBytes.isEmpty())
        QCOMPARE(kit::readFile(path), fileBytes);

    const LoginDetails details = LoadLoginFile(path);
    QVERIFY(details.ok);
    QCOMPARE(details.filledFields, 4);
    QVERIFY(details.checksumMatched);
    QCOMPARE(details.user, fields[0]);
    QCOMPARE(details.password, fields[1]);
    QCOMPARE(details.mailServer, fields[2]);
    QCOMPARE(details.port, fields[3]);
}

void TestLoginFile::saveReplacesExistingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("home.mvl"));
    QVERIFY(kit::writeFile(path, QByteArray(500, 'x') + "\r\nsecond line\r\n"));

    QVERIFY(SaveLoginFile(path, QStringLiteral("jim"), QStringLiteral("abc"), QStringLiteral("mailhost"),
                          QStringLiteral("110")));
    QCOMPARE(kit::readFile(path), QByteArray("jim 024E616263 mailhost 110\r\n"));
}

void TestLoginFile::characterBeyondCodePageIsRefused_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("euro sign in the password") << 1 << QStringLiteral("pa\u20ACss") << "Password";
    QTest::newRow("l with stroke in the user name") << 0 << QStringLiteral("pawe\u0142") << "Username";
    QTest::newRow("CJK in the server") << 2 << QStringLiteral("\u90AE\u4EF6.example") << "Mail Server";
    QTest::newRow("emoji in the port") << 3 << QStringLiteral("110\U0001F600") << "Port";
}

void TestLoginFile::characterBeyondCodePageIsRefused()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    checkSaveRefused(dir, field, text, caption);
}

void TestLoginFile::controlCharacterIsRefused_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("file"); // the same login as a crafted file
    QTest::addColumn<QString>("caption");

    const QString nul(QChar(0));
    const QByteArray nulByte(1, '\0');
    QTest::newRow("NUL in the user name") << 0 << "bob" + nul + "x"
                                          << "bob" + nulByte + "x 024E616263 mailhost 110\r\n" << "Username";
    QTest::newRow("tab in the user name") << 0 << "bob\tx" << QByteArray("bob\tx 024E616263 mailhost 110\r\n")
                                          << "Username";
    QTest::newRow("line end in the password") << 1 << "abc\r\nDELE 1"
                                              << QByteArray("jim 00006162630D0A44454C452031 mailhost 110\r\n")
                                              << "Password";
    QTest::newRow("NUL in the password as stored") << 1 << "a" + nul
                                                   << "jim 0061" + nulByte + "61 mailhost 110\r\n" << "Password";
    QTest::newRow("escape in the server") << 2 << "mail\x1b[2Jhost"
                                          << QByteArray("jim 024E616263 mail\x1b[2Jhost 110\r\n") << "Mail Server";
    QTest::newRow("C1 control in the server") << 2 << QString::fromLatin1("mail\x85host")
                                              << QByteArray("jim 024E616263 mail\x85host 110\r\n") << "Mail Server";
    QTest::newRow("DEL in the port") << 3 << "110\x7f" << QByteArray("jim 024E616263 mailhost 110\x7f\r\n")
                                     << "Port";
    QTest::newRow("NUL in a short file") << 0 << "j" + nul << "j" + nulByte + " 0000\r\n" << "Username";
}

void TestLoginFile::controlCharacterIsRefused()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QByteArray, file);
    QFETCH(QString, caption);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    checkSaveRefused(dir, field, text, caption);
    if (QTest::currentTestFailed())
        return;

    // Loading refuses the whole file: no field reaches the window.
    const QString crafted = dir.filePath(QStringLiteral("crafted.mvl"));
    QVERIFY(kit::writeFile(crafted, file));
    const LoginDetails details = LoadLoginFile(crafted);
    QVERIFY(!details.ok);
    QCOMPARE(details.refusedField, caption);
    QCOMPARE(details.filledFields, 0);
    QCOMPARE(details.user, QString());
    QCOMPARE(details.password, QString());
    QCOMPARE(LoginFieldNotLoadableText(QStringLiteral("/x/home.mvl"), caption),
             QStringLiteral("The ") + caption
                 + QStringLiteral(" in /x/home.mvl contains a character that a login file cannot hold.\r\n"
                                  "The login details have not been loaded."));
}

void TestLoginFile::savedFileIsPrivate_data()
{
    QTest::addColumn<QString>("before"); // the permissions of a file there before; empty: none
    QTest::newRow("new file") << QString();
    QTest::newRow("replacing a file others could read") << "0644";
    QTest::newRow("replacing a private file") << "0600";
}

void TestLoginFile::savedFileIsPrivate()
{
    // The password in it is only encoded: nobody else may read the file.
    QFETCH(QString, before);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("home.mvl"));
    if (!before.isEmpty()) {
        QVERIFY(kit::writeFile(path, "old 0000 host 110\r\n"));
        QVERIFY(QFile::setPermissions(path, before == QLatin1String("0644")
                                                ? QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                      | QFile::ReadOther
                                                : QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(kit::permissionBits(path), before);
    }
    QVERIFY(SaveLoginFile(path, QStringLiteral("jim"), QStringLiteral("abc"), QStringLiteral("mailhost"),
                          QStringLiteral("110")));
    QCOMPARE(kit::readFile(path), QByteArray("jim 024E616263 mailhost 110\r\n"));
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"home.mvl"});
}

void TestLoginFile::failedWriteIsReported_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("missing folder") << QStringLiteral("no/such/folder/home.mvl");
    QTest::newRow("name of a folder") << QStringLiteral("folder.mvl");
}

void TestLoginFile::failedWriteIsReported()
{
    QFETCH(QString, relativePath);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.mvl")));
    const QString path = dir.filePath(relativePath);

    QString error;
    QVERIFY(!SaveLoginFile(path, QStringLiteral("jim"), QStringLiteral("abc"), QStringLiteral("mailhost"),
                           QStringLiteral("110"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(LoginFileSaveErrorText(QStringLiteral("/x/home.mvl")), QStringLiteral("Error saving /x/home.mvl"));
}

void TestLoginFile::loadFailures()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    const LoginDetails missing = LoadLoginFile(dir.filePath(QStringLiteral("missing.mvl")));
    QVERIFY(!missing.ok);
    QCOMPARE(missing.filledFields, 0);

    const QString empty = dir.filePath(QStringLiteral("empty.mvl"));
    QVERIFY(kit::writeFile(empty, QByteArray()));
    QVERIFY(!LoadLoginFile(empty).ok);
    QCOMPARE(LoadLoginFile(empty).filledFields, 0);

    const LoginDetails folder = LoadLoginFile(dir.path());
    QVERIFY(!folder.ok);
    QCOMPARE(folder.filledFields, 0);

    // A partial line from a real file keeps the fields read so far.
    const QString partial = dir.filePath(QStringLiteral("partial.mvl"));
    QVERIFY(kit::writeFile(partial, QByteArray("jim 024E616263\r\n")));
    const LoginDetails two = LoadLoginFile(partial);
    QVERIFY(!two.ok);
    QCOMPARE(two.filledFields, 2);
    QCOMPARE(two.user, QStringLiteral("jim"));
    QCOMPARE(two.password, QStringLiteral("abc"));

    // A file that is one endless line is not taken as a login file.
    const QString endless = dir.filePath(QStringLiteral("endless.mvl"));
    QVERIFY(kit::writeFile(endless, "jim 024E616263 mailhost 110" + QByteArray(3 * 1024 * 1024, 'x')));
    const LoginDetails huge = LoadLoginFile(endless);
    QVERIFY(!huge.ok);
    QCOMPARE(huge.filledFields, 0);

    QCOMPARE(LoginFileOpenErrorText(QStringLiteral("/x/home.mvl")), QStringLiteral("Error opening /x/home.mvl"));
}

void TestLoginFile::extensionRule_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");

    QTest::newRow("no extension") << QStringLiteral("/tmp/home") << QStringLiteral("/tmp/home.mvl");
    QTest::newRow("other extension") << QStringLiteral("notes.txt") << QStringLiteral("notes.txt.mvl");
    QTest::newRow("near miss") << QStringLiteral("home.mv") << QStringLiteral("home.mv.mvl");
    QTest::newRow("lowercase extension") << QStringLiteral("home.mvl") << QStringLiteral("home.mvl");
    QTest::newRow("uppercase extension") << QStringLiteral("Home.MVL") << QStringLiteral("Home.MVL");
    QTest::newRow("mixed case extension") << QStringLiteral("x.MvL") << QStringLiteral("x.MvL");
    QTest::newRow(".mvl inside the name") << QStringLiteral("my.mvl.txt") << QStringLiteral("my.mvl.txt");
    QTest::newRow(".mvl in a folder name") << QStringLiteral("/tmp/a.mvl/home")
                                           << QStringLiteral("/tmp/a.mvl/home");
}

void TestLoginFile::extensionRule()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(LoginFileNameWithExtension(chosen), saved);
}

QTEST_GUILESS_MAIN(TestLoginFile)
#include "test_login_file.moc"
