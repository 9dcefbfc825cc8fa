// Decoding HTTPMail replies: charset, decoder choice, pieces.

#include "httpmail/HttpMailText.h"

#include <QList>

namespace {

using HttpMailText::PieceSize;

QByteArrayView pieceOf(const QByteArray &bytes, qsizetype pos, qsizetype size)
{
    return QByteArrayView(bytes.constData() + pos, qMin(size, bytes.size() - pos));
}

bool decodesCleanly(const QByteArray &bytes, QStringDecoder decoder)
{
    for (qsizetype pos = 0; pos < bytes.size(); pos += PieceSize) {
        const QString piece = decoder.decode(pieceOf(bytes, pos, PieceSize));
        if (decoder.hasError())
            return false;
    }
    // A character cut off at the end is held back without an error, and
    // would be lost: an octet that continues no character brings it out.
    const QString end = decoder.decode(QByteArrayView("\n", 1));
    return !decoder.hasError();
}

// Chosen without decoding the whole reply at once.
QStringDecoder replyDecoder(const QByteArray &bytes, const QByteArray &contentType)
{
    const QByteArray name = HttpMailText::charsetOf(contentType);
    if (!name.isEmpty() && QStringDecoder(name.constData()).isValid()
        && decodesCleanly(bytes, QStringDecoder(name.constData())))
        return QStringDecoder(name.constData());
    if (decodesCleanly(bytes, QStringDecoder(QStringDecoder::Utf8)))
        return QStringDecoder(QStringDecoder::Utf8);
    return QStringDecoder(QStringDecoder::Latin1);
}

} // namespace

namespace HttpMailText {

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> params = contentType.split(';');
    for (int i = 1; i < params.size(); ++i) {
        const QByteArray param = params.at(i).trimmed();
        if (param.toLower().startsWith("charset=")) {
            QByteArray name = param.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
                name = name.mid(1, name.size() - 2);
            return name;
        }
    }
    return QByteArray();
}

QString decodeReply(const QByteArray &bytes, const QByteArray &contentType)
{
    return replyDecoder(bytes, contentType).decode(bytes);
}

ReplyPieces::ReplyPieces(const QByteArray &bytes, const QByteArray &contentType, qsizetype pieceSize)
    : m_bytes(bytes)
    , m_decoder(replyDecoder(bytes, contentType))
    , m_pieceSize(qMax<qsizetype>(1, pieceSize))
{
}

QString ReplyPieces::next()
{
    if (atEnd())
        return QString();
    const QByteArrayView piece = pieceOf(m_bytes, m_pos, m_pieceSize);
    m_pos += piece.size();
    return m_decoder.decode(piece);
}

} // namespace HttpMailText
