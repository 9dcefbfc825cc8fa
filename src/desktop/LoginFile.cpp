// The login-file line and its password codec, read and written.

#include "desktop/LoginFile.h"

#include "base/UserFiles.h"
#include "base/VbHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

constexpr int ChecksumModulus = 32767;
// A login file is one short line; a first line longer than this is no login
// file, and reading on would only fill memory.
constexpr qint64 MaxFirstItemBytes = 1024 * 1024;

QString hex(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// A pair is read as far as its leading hex digits go; none gives 0.
int leadingHexValue(const QString &digits)
{
    int value = 0;
    for (QChar c : digits) {
        const int d = hexDigit(c);
        if (d < 0)
            break;
        value = value * 16 + d;
    }
    return value;
}

bool isItemEnd(char c)
{
    return c == '\r' || c == '\n' || c == ',';
}

// A NUL would cut a file name made from the field short, a line end would
// end a command to the server early: no field of a login holds one.
bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The caption of the first of the four fields that `bad` finds fault with.
template <typename Check>
QString firstFieldWhere(const QString &user, const QString &password, const QString &mailServer,
                        const QString &port, Check bad)
{
    const std::pair<const QString *, const char *> fields[] = {
        {&user, "Username"}, {&password, "Password"}, {&mailServer, "Mail Server"}, {&port, "Port"}};
    for (const auto &[text, caption] : fields)
        if (bad(*text))
            return QString::fromLatin1(caption);
    return QString();
}

} // namespace

QString HexWithChecksum(const QString &text, int *checksum)
{
    // Characters count by their 8-bit code; the file holds nothing else.
    const QByteArray codes = text.toLatin1();
    QString body;
    body.reserve(codes.size() * 2);
    qint64 sum = 0;
    for (int i = 0; i < codes.size(); ++i) {
        const int code = static_cast<unsigned char>(codes[i]);
        body += hex(code, 2);
        sum = (sum + qint64(code) * (i + 1)) % ChecksumModulus;
    }
    if (checksum)
        *checksum = int(sum);
    return body;
}

QString EncodePassword(const QString &password)
{
    int checksum = 0;
    const QString body = HexWithChecksum(password, &checksum);
    return hex(checksum, 4) + body;
}

QString DecodePassword(const QString &encoded, bool *checksumMatched)
{
    if (checksumMatched)
        *checksumMatched = false;
    if (encoded.size() < 4)
        return QString();

    const QString stored = encoded.left(4);
    const QString rest = encoded.mid(4);
    // A trailing odd digit counts as a pair of its own only when the halved
    // length rounds up to the even neighbour.
    const qint64 pairs = vb::RoundHalfEven(rest.size() / 2.0);
    QString text;
    text.reserve(int(pairs));
    for (qint64 i = 0; i < pairs; ++i)
        text += QChar(leadingHexValue(rest.mid(int(i) * 2, 2)));

    if (checksumMatched) {
        int checksum = 0;
        HexWithChecksum(text, &checksum);
        *checksumMatched = stored.compare(hex(checksum, 4), Qt::CaseInsensitive) == 0;
    }
    return text;
}

QString LoginFileNameWithExtension(const QString &chosenName)
{
    if (chosenName.contains(QLatin1String(".mvl"), Qt::CaseInsensitive))
        return chosenName;
    return chosenName + QLatin1String(".mvl");
}

QString FormatLoginLine(const QString &user, const QString &password, const QString &mailServer,
                        const QString &port)
{
    return user + QLatin1Char(' ') + EncodePassword(password) + QLatin1Char(' ') + mailServer
           + QLatin1Char(' ') + port;
}

QString FirstLoginItem(const QByteArray &fileBytes)
{
    int end = 0;
    while (end < fileBytes.size() && !isItemEnd(fileBytes[end]))
        ++end;
    return QString::fromLatin1(fileBytes.constData(), end);
}

LoginDetails ParseLoginText(const QByteArray &fileBytes)
{
    LoginDetails details;
    const QString item = FirstLoginItem(fileBytes);
    if (item.isEmpty())
        return details;

    const QStringList fields = item.split(QLatin1Char(' '));
    details.filledFields = int(qMin<qsizetype>(fields.size(), 4));
    details.user = fields[0];
    if (fields.size() >= 2)
        details.password = DecodePassword(fields[1], &details.checksumMatched);
    if (fields.size() >= 3)
        details.mailServer = fields[2];
    if (fields.size() >= 4)
        details.port = fields[3];
    details.ok = fields.size() >= 4;

    // A file that holds what no login may hold is refused whole: none of it
    // reaches the window. The password counts both as stored and as decoded.
    const QString passwordTexts = fields.value(1) + details.password;
    const QString refused =
        firstFieldWhere(details.user, passwordTexts, details.mailServer, details.port, hasControlCharacter);
    if (refused.isEmpty())
        return details;
    LoginDetails nothing;
    nothing.refusedField = refused;
    return nothing;
}

QString LoginFieldNotStorable(const QString &user, const QString &password, const QString &mailServer,
                              const QString &port)
{
    return firstFieldWhere(user, password, mailServer, port, [](const QString &text) {
        return hasControlCharacter(text)
               || std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; });
    });
}

bool SaveLoginFile(const QString &fileName, const QString &user, const QString &password,
                   const QString &mailServer, const QString &port, QString *errorText)
{
    // A character written as "?" would be a login that fails next time.
    const QString unstorable = LoginFieldNotStorable(user, password, mailServer, port);
    if (!unstorable.isEmpty()) {
        if (errorText)
            *errorText = LoginFieldNotStorableText(unstorable);
        return false;
    }
    const QByteArray bytes =
        FormatLoginLine(user, password, mailServer, port).toLatin1() + QByteArrayLiteral("\r\n");
    // The password is only encoded, not encrypted: the file is the user's alone.
    const UserFiles::WriteResult written = UserFiles::writeWholeFile(fileName, bytes, UserFiles::Access::Private);
    if (!written.ok() && errorText)
        *errorText = written.errorString;
    return written.ok();
}

LoginDetails LoadLoginFile(const QString &fileName)
{
    // Only a plain file can be a login file; opening a pipe would block for ever.
    if (!QFileInfo(fileName).isFile())
        return LoginDetails();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return LoginDetails();

    QByteArray bytes;
    for (;;) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                return LoginDetails();
            break;
        }
        const qsizetype before = bytes.size();
        bytes += chunk;
        bool ended = false;
        for (qsizetype i = before; i < bytes.size() && !ended; ++i)
            ended = isItemEnd(bytes[i]);
        if (ended)
            break;
        if (bytes.size() > MaxFirstItemBytes)
            return LoginDetails();
    }
    return ParseLoginText(bytes);
}

QString LoginFileOpenErrorText(const QString &fileName)
{
    return QStringLiteral("Error opening ") + fileName;
}

QString LoginFileSaveErrorText(const QString &fileName)
{
    return QStringLiteral("Error saving ") + fileName;
}

QString LoginFieldNotStorableText(const QString &field)
{
    return QStringLiteral("The ") + field
           + QStringLiteral(" contains a character that a login file cannot hold.\r\n"
                            "The login details have not been saved.");
}

QString LoginFieldNotLoadableText(const QString &fileName, const QString &field)
{
    return QStringLiteral("The ") + field + QStringLiteral(" in ") + fileName
           + QStringLiteral(" contains a character that a login file cannot hold.\r\n"
                            "The login details have not been loaded.");
}

QString LoginFileDialogFolder(const QString &programFolder, const QString &documentsFolder,
                              const QString &homeFolder)
{
    if (UserFiles::isUsersOwnFolder(programFolder))
        return programFolder;
    return QFileInfo(documentsFolder).isDir() ? documentsFolder : homeFolder;
}

QString LoginFileReplaceQuestion(const QString &fileName)
{
    return QFileInfo(fileName).fileName() + QStringLiteral(" already exists.\r\nDo you want to replace it?");
}
