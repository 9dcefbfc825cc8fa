#pragma once
// Login files: one line "user encodedpassword server port" CR LF, in Latin-1.
// The password is stored as a four-digit checksum followed by two hex digits
// per character. Everything here is free of widgets so the window only moves
// texts between its controls and these functions.

#include <QString>

// Hex digits of every character of text (two per character, uppercase), and
// the position-weighted checksum of those characters, kept modulo 32767.
QString HexWithChecksum(const QString &text, int *checksum);

// Four hex digits of the checksum, then the hex digits of the characters.
QString EncodePassword(const QString &password);

// Reverse of EncodePassword. Texts shorter than four characters give "".
// checksumMatched (optional) tells whether the stored checksum fits the text;
// callers use the text either way.
QString DecodePassword(const QString &encoded, bool *checksumMatched = nullptr);

// The folder the save dialog opens in: the program's folder where it is the
// user's own, else the documents folder where there is one, else home.
QString LoginFileDialogFolder(const QString &programFolder, const QString &documentsFolder,
                              const QString &homeFolder);

// The name the save dialog's answer is saved under: ".mvl" is appended unless
// the name already contains it somewhere, in any letter case.
QString LoginFileNameWithExtension(const QString &chosenName);

// The line of a login file, without its CR LF.
QString FormatLoginLine(const QString &user, const QString &password, const QString &mailServer,
                        const QString &port);

// What a login file gave. filledFields counts the fields that were read before
// a failure (0 to 4); the window applies exactly those (user, then password,
// then server, then port) and reports the failure when ok is false. A file
// with a field no login file may hold fills nothing: refusedField names it.
struct LoginDetails
{
    bool ok = false;
    int filledFields = 0;
    QString refusedField;
    QString user;
    QString password;   // decoded
    QString mailServer;
    QString port;
    bool checksumMatched = false;
};

// The first item of a file's text: up to the first line end or comma.
QString FirstLoginItem(const QByteArray &fileBytes);

// Fields of the first item, split at every single space; fields after the
// fourth are ignored.
LoginDetails ParseLoginText(const QByteArray &fileBytes);

// The window's caption of the first field ("Username", "Password",
// "Mail Server", "Port") holding a character the file's 8-bit code page
// cannot hold, or a control character (NUL, a line end, an escape...);
// empty when every field can be stored as typed.
QString LoginFieldNotStorable(const QString &user, const QString &password, const QString &mailServer,
                              const QString &port);

// Writes the login line and CR LF, replacing the file, which only the user
// may then read. Details that cannot be stored as typed are refused: nothing
// is written. False (and a reason in errorText) when the file could not be
// written, a full disk included; an existing file is then left as it was.
bool SaveLoginFile(const QString &fileName, const QString &user, const QString &password,
                   const QString &mailServer, const QString &port, QString *errorText = nullptr);

// Reads and parses a login file. A file that cannot be opened or read, or that
// is empty, gives ok false with no field filled.
LoginDetails LoadLoginFile(const QString &fileName);

// The messages the window shows for a failed load or save.
QString LoginFileOpenErrorText(const QString &fileName);
QString LoginFileSaveErrorText(const QString &fileName);
QString LoginFieldNotStorableText(const QString &field);
QString LoginFieldNotLoadableText(const QString &fileName, const QString &field);
QString LoginFileReplaceQuestion(const QString &fileName);
