#pragma once
// The text of an HTTPMail reply: which charset its Content-Type names, how
// its octets are decoded (the named charset, else UTF-8, else Latin-1, so
// that no octet is dropped for being unreadable) and the same decoding a
// piece at a time, so a big listing is never held twice.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace HttpMailText {

// Big replies are decoded and parsed this much at a time.
constexpr qsizetype PieceSize = 64 * 1024;

// The charset a Content-Type names, unquoted; empty when it names none.
QByteArray charsetOf(const QByteArray &contentType);

// The whole reply as text.
QString decodeReply(const QByteArray &bytes, const QByteArray &contentType);

// The reply as text, one piece of octets after the other; the pieces joined
// are decodeReply's text, however the octets of a character fall on either
// side of a cut. The decoder is chosen from all the octets first.
class ReplyPieces
{
public:
    ReplyPieces(const QByteArray &bytes, const QByteArray &contentType, qsizetype pieceSize = PieceSize);

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    QString next();

private:
    QByteArray m_bytes;
    QStringDecoder m_decoder;
    qsizetype m_pieceSize;
    qsizetype m_pos = 0;
};

} // namespace HttpMailText
