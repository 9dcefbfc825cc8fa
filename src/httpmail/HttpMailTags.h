#pragma once
// The tag list of an XML reply: one entry per text node, in document order,
// "<" + the name of the node entered last + ">" + the text, the name with the
// prefix the reply spells. The walk's marker (the "<name>" part) is carried
// from one walk to the next by the caller. Two ways to the same list: over
// a parsed document, or straight over the reply's text as it comes in
// pieces, without building a document.

#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

class QDomDocument;
class QDomNodeList;

namespace HttpMailTags {

// HTTPMail replies nest a handful of levels; deeper is no XML.
constexpr int MostNestingLevels = 256;

// False (and doc empty) when the text is no XML or nests too deep.
bool loadXml(QDomDocument &doc, const QString &text);
// The walk over a document's nodes; appends to tags.
void flattenNodes(const QDomNodeList &nodes, QString &marker, QStringList &tags);

// The walk over a text fed piece by piece; where the pieces are cut changes
// nothing. Text the parser hands out in several tokens, or that falls on
// both sides of a cut, is one text node.
class TagWalk
{
public:
    explicit TagWalk(const QString &marker);

    void feed(const QString &piece);
    // When the pieces made one well-formed document: appends the entries to
    // tags, leaves the walk's marker in marker, and is true. Otherwise
    // changes neither.
    bool addTo(QString &marker, QStringList &tags);

private:
    void read(const QString &data);
    void readOnAfterRoot();
    void take(QXmlStreamReader::TokenType token);
    void flushText();

    QXmlStreamReader m_reader;
    QString m_marker;
    QString m_text;
    QString m_held;
    QStringList m_tags;
    int m_depth = 0;
    bool m_failed = false;
};

// The walk over a whole text, and over a reply's octets decoded as
// HttpMailText decodes them; false, and nothing changed, when it is no XML.
bool flattenXml(const QString &text, QString &marker, QStringList &tags);
bool flattenReply(const QByteArray &bytes, const QByteArray &contentType, QString &marker, QStringList &tags);

} // namespace HttpMailTags
