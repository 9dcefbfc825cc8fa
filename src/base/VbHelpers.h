#pragma once
// Small helpers that give the window's numbers, colours and sizes the
// semantics the program was designed around.

#include <QString>
#include <QtGlobal>

namespace vb {

// The line end of mail, of POP3 and of the program's messages.
inline const QString CrLf = QStringLiteral("\r\n");

// The number a text begins with, leading blanks ignored; 0 when it begins with
// no number. Accepts a sign, digits, one decimal point and an exponent, and the
// "&H" / "&O" radix prefixes.
double Val(const QString &text);

// Rounds to the nearest whole number, halves to the even neighbour.
qint64 RoundHalfEven(double value);

// Sizes are given in twips; the screen has 15 twips per pixel.
constexpr int TwipsPerPixel = 15;
constexpr int TwipsToPixels(int twips) { return twips / TwipsPerPixel; }
constexpr int PixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

// "&HBBGGRR" (blue-green-red order) as 0xRRGGBB; invalid text gives black.
quint32 RgbFromLiteral(const QString &literal);

// Removes trailing blanks (spaces only, not CR or LF).
QString RTrimBlanks(const QString &text);

// Text as a whole decimal number in [minimum, maximum]; false for anything
// else (empty, fractional, signs in the wrong place, out of range).
bool ParseWholeNumber(const QString &text, qint64 minimum, qint64 maximum, qint64 *out);

} // namespace vb
