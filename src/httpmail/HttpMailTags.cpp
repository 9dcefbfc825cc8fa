// The walk of an HTTPMail reply into its tag list.

#include "httpmail/HttpMailTags.h"

#include "httpmail/HttpMailText.h"

#include <QDomDocument>
#include <QDomNode>
#include <QDomNodeList>

#include <utility>

namespace {

using HttpMailTags::MostNestingLevels;

bool nestedTooDeep(const QString &text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MostNestingLevels)
                return true;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return false; // a malformed reply is the parser's to refuse
}

// Blanks as XML counts them.
bool isXmlBlank(QStringView text)
{
    for (QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n')
            return false;
    return true;
}

// "<name>": what the walk remembers of the node entered last.
QString markerOf(QStringView name)
{
    QString marker;
    marker.reserve(name.size() + 2);
    marker.append(QLatin1Char('<')).append(name).append(QLatin1Char('>'));
    return marker;
}

} // namespace

namespace HttpMailTags {

bool loadXml(QDomDocument &doc, const QString &text)
{
    // Building a document takes time that grows with the square of its
    // nesting: a reply nested far deeper than any HTTPMail reply would
    // freeze the window for minutes, so it counts as no XML.
    if (nestedTooDeep(text)) {
        doc = QDomDocument();
        return false;
    }
    // No namespace processing: node names keep the prefixes the reply uses.
    QDomDocument parsed;
    if (!parsed.setContent(text, false)) {
        doc = QDomDocument();
        return false;
    }
    doc = parsed;
    return true;
}

void flattenNodes(const QDomNodeList &nodes, QString &marker, QStringList &tags)
{
    // Document order without recursion, so a deeply nested reply cannot
    // exhaust the stack. The marker is never reset: a text after a child
    // element is headed by that child.
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode top = nodes.at(i);
        QDomNode node = top;
        while (!node.isNull()) {
            if (node.nodeName() != QLatin1String("#text")) {
                marker = QLatin1Char('<') + node.nodeName() + QLatin1Char('>');
            } else {
                marker += node.nodeValue();
                tags.append(marker);
            }
            if (node.hasChildNodes()) {
                node = node.firstChild();
                continue;
            }
            while (node != top && node.nextSibling().isNull())
                node = node.parentNode();
            if (node == top)
                break;
            node = node.nextSibling();
        }
    }
}

TagWalk::TagWalk(const QString &marker)
    : m_marker(marker)
{
    m_reader.setNamespaceProcessing(false);
}

void TagWalk::feed(const QString &piece)
{
    // A character of two UTF-16 units cut in two would reach the parser as
    // two broken halves: the first waits for the rest.
    QString data = m_held.isEmpty() ? piece : std::exchange(m_held, QString()) + piece;
    if (!data.isEmpty() && data.back().isHighSurrogate()) {
        m_held = data.back();
        data.chop(1);
    }
    read(data);
}

void TagWalk::read(const QString &data)
{
    if (m_failed)
        return;
    if (m_reader.tokenType() == QXmlStreamReader::EndDocument) {
        if (isXmlBlank(data))
            return;
        readOnAfterRoot();
    }
    m_reader.addData(data);
    while (!m_failed) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (m_reader.hasError()) {
            // More may come; anything else is no XML.
            m_failed = m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError;
            return;
        }
        take(token);
        if (token == QXmlStreamReader::EndDocument)
            return;
    }
}

// The parser ends the document when its data runs out after the root
// element and takes no more. Comments, instructions and blanks may follow
// the root (anything else is no XML): a new parser reads them after a root
// of its own, which the walk does not see.
void TagWalk::readOnAfterRoot()
{
    m_reader.clear();
    m_reader.setNamespaceProcessing(false);
    m_reader.addData(QStringLiteral("<r/>"));
    QXmlStreamReader::TokenType token;
    do
        token = m_reader.readNext();
    while (token != QXmlStreamReader::EndElement && !m_reader.hasError());
}

bool TagWalk::addTo(QString &marker, QStringList &tags)
{
    if (!m_held.isEmpty())
        read(std::exchange(m_held, QString()));
    flushText();
    if (m_failed || m_reader.hasError() || m_reader.tokenType() != QXmlStreamReader::EndDocument)
        return false;
    marker = m_marker;
    // A big listing's entries are moved, not copied.
    if (tags.isEmpty())
        tags = std::exchange(m_tags, QStringList());
    else
        tags += std::exchange(m_tags, QStringList());
    return true;
}

// The walk of flattenNodes, done on the parser's tokens: what the document
// would hold, without building it.
void TagWalk::take(QXmlStreamReader::TokenType token)
{
    if (token == QXmlStreamReader::Characters && !m_reader.isCDATA()) {
        m_text.append(m_reader.text());
        return;
    }
    flushText();
    switch (token) {
    case QXmlStreamReader::StartElement:
        m_failed = ++m_depth > MostNestingLevels;
        m_marker = markerOf(m_reader.qualifiedName());
        break;
    case QXmlStreamReader::EndElement:
        --m_depth;
        break;
    case QXmlStreamReader::Characters:
        m_marker = QStringLiteral("<#cdata-section>");
        break;
    case QXmlStreamReader::Comment:
        m_marker = QStringLiteral("<#comment>");
        break;
    case QXmlStreamReader::ProcessingInstruction:
        m_marker = markerOf(m_reader.processingInstructionTarget());
        break;
    case QXmlStreamReader::EntityReference:
        m_marker = markerOf(m_reader.name());
        break;
    default:
        break;
    }
}

void TagWalk::flushText()
{
    // As in the document: text of blanks alone makes no node.
    if (!m_text.isEmpty() && !QStringView(m_text).trimmed().isEmpty()) {
        // Made at its exact size: a listing keeps many thousands.
        m_marker = m_marker + m_text;
        m_tags.append(m_marker);
    }
    m_text.clear();
}

bool flattenXml(const QString &text, QString &marker, QStringList &tags)
{
    TagWalk walk(marker);
    for (qsizetype pos = 0; pos < text.size(); pos += HttpMailText::PieceSize)
        walk.feed(text.mid(pos, HttpMailText::PieceSize));
    return walk.addTo(marker, tags);
}

bool flattenReply(const QByteArray &bytes, const QByteArray &contentType, QString &marker, QStringList &tags)
{
    // A piece at a time: a big listing is held once, as its octets.
    HttpMailText::ReplyPieces pieces(bytes, contentType);
    TagWalk walk(marker);
    while (!pieces.atEnd())
        walk.feed(pieces.next());
    return walk.addTo(marker, tags);
}

} // namespace HttpMailTags
